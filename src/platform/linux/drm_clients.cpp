#include "platform/linux/drm_clients.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace velmora::platform {

using namespace linux_fs;

namespace {

template <size_t N>
void copyName(std::array<char, N>& dst, std::string_view src) {
    dst.fill(0);
    if (!src.empty()) std::memcpy(dst.data(), src.data(), std::min(src.size(), N - 1));
}

template <size_t N>
bool equals(const std::array<char, N>& a, std::string_view b) {
    return b.size() < N && (b.empty() || std::strncmp(a.data(), b.data(), b.size()) == 0) && a[b.size()] == 0;
}

bool parsePid(std::string_view name, int32_t& pid) {
    const auto v = parseInt(name);
    if (!v || *v < 1 || *v > INT32_MAX || name.empty() || name.front() < '0' || name.front() > '9')
        return false;
    pid = static_cast<int32_t>(*v);
    return true;
}

}  // namespace

bool parseDrmFdinfo(std::string_view text, DrmClientInfo& out) {
    out.hasId = false;
    out.id = 0;
    out.pdev.fill(0);
    out.engines.clear();
    auto engine = [&](std::string_view name) -> DrmClientInfo::Engine& {
        for (DrmClientInfo::Engine& e : out.engines)
            if (equals(e.name, name)) return e;
        DrmClientInfo::Engine e;
        copyName(e.name, name);
        out.engines.push_back(e);
        return out.engines.back();
    };
    forEachLine(text, [&](std::string_view line) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        const std::string_view key = line.substr(0, colon);
        const std::string_view value = trim(line.substr(colon + 1));
        if (key == "drm-client-id") {
            if (const auto v = parseUInt(value)) {
                out.id = *v;
                out.hasId = true;
            }
        } else if (key == "drm-pdev") {
            copyName(out.pdev, value);
        } else if (key.rfind("drm-engine-capacity-", 0) == 0) {
            const auto v = parseUInt(value);
            const std::string_view name = key.substr(20);
            if (v && *v >= 1 && *v <= 1024 && !name.empty())
                engine(name).capacity = static_cast<uint32_t>(*v);
        } else if (key.rfind("drm-engine-", 0) == 0) {
            const std::string_view name = key.substr(11);
            if (name.empty() || value.size() < 3 || value.substr(value.size() - 2) != "ns") return;
            if (const auto v = parseUInt(trim(value.substr(0, value.size() - 2)))) engine(name).busyNs = *v;
        }
    });
    return out.hasId;
}

DrmClientScanner::DrmClientScanner(std::string procRoot) : procRoot_(std::move(procRoot)) {}

void DrmClientScanner::invalidate() {
    newPids_.force();
    allPids_.force();
}

void DrmClientScanner::scanPid(int32_t pid) {
    const std::string fdDir = procRoot_ + "/" + std::to_string(pid) + "/fd/";
    if (!listDir(fdDir, names_)) return;  // another user's process, or gone
    char target[64];
    for (const std::string& name : names_) {
        const auto fd = parseInt(name);
        if (!fd || *fd < 0 || *fd > INT32_MAX) continue;
        const ssize_t n = ::readlink((fdDir + name).c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        if (std::string_view(target, static_cast<size_t>(n)).rfind("/dev/dri/", 0) != 0) continue;
        holders_.push_back({pid, static_cast<int>(*fd)});
    }
}

void DrmClientScanner::scan(bool full) {
    if (!listDir(procRoot_, names_)) return;
    live_.clear();
    for (const std::string& name : names_) {
        int32_t pid = 0;
        if (parsePid(name, pid)) live_.push_back(pid);
    }
    std::sort(live_.begin(), live_.end());
    if (full) {
        holders_.clear();
    } else {
        // Holders whose process has gone are dropped; the rest stay.
        std::erase_if(holders_, [&](const Holder& h) {
            return !std::binary_search(live_.begin(), live_.end(), h.pid);
        });
    }
    // Ten passes of the new-process walk fill the half minute until the next full walk.
    constexpr uint8_t kRechecks = 9;
    next_.clear();
    for (const int32_t pid : live_) {
        const auto known = std::lower_bound(scanned_.begin(), scanned_.end(), pid,
                                            [](const Scanned& s, int32_t p) { return s.pid < p; });
        if (known == scanned_.end() || known->pid != pid) {
            scanPid(pid);
            next_.push_back({pid, kRechecks});
        } else if (full) {
            scanPid(pid);
            next_.push_back({pid, known->rechecks});
        } else if (known->rechecks > 0) {
            if (!holds(pid)) scanPid(pid);
            next_.push_back({pid, static_cast<uint8_t>(known->rechecks - 1)});
        } else {
            next_.push_back(*known);
        }
    }
    scanned_.swap(next_);
}

bool DrmClientScanner::holds(int32_t pid) const {
    return std::any_of(holders_.begin(), holders_.end(), [pid](const Holder& h) { return h.pid == pid; });
}

void DrmClientScanner::read(std::vector<EngineBusy>& out) {
    read(out, std::chrono::steady_clock::now());
}

void DrmClientScanner::read(std::vector<EngineBusy>& out, std::chrono::steady_clock::time_point now) {
    if (allPids_.due(now)) {
        scan(true);
        newPids_.due(now);
    } else if (newPids_.due(now)) {
        scan(false);
    }
    seen_.clear();
    for (const Holder& h : holders_) {
        path_.assign(procRoot_)
            .append("/")
            .append(std::to_string(h.pid))
            .append("/fdinfo/")
            .append(std::to_string(h.fd));
        if (!readFile(path_, buf_, 16 << 10) || !parseDrmFdinfo(buf_, info_)) continue;
        // One client shows under every descriptor and process that shares it: count it once.
        const bool dup = std::any_of(seen_.begin(), seen_.end(),
                                     [&](const Seen& s) { return s.id == info_.id && s.pdev == info_.pdev; });
        if (dup) continue;
        seen_.push_back({info_.pdev, info_.id});
        for (const DrmClientInfo::Engine& e : info_.engines) {
            EngineBusy b;
            b.device = info_.pdev;
            b.client = info_.id;
            b.engine = e.name;
            b.busyNs = e.busyNs;
            b.capacity = e.capacity;
            b.pid = h.pid;
            out.push_back(b);
        }
    }
}

}  // namespace velmora::platform
