#include "platform/linux/cpu_linux.h"

#include "platform/linux/file_util.h"

#include <algorithm>
#include <limits>
#include <set>

namespace velmora::platform {

using namespace linux_fs;

std::unique_ptr<CpuTickSource> makeCpuTickSource() {
    return std::make_unique<LinuxCpuTickSource>();
}
CoreLayout readCoreLayout() {
    return readSysfsCoreLayout("/sys");
}

LinuxCpuTickSource::LinuxCpuTickSource(std::string procRoot)
    : stat_(std::move(procRoot) + "/stat", linux_fs::PinnedFile::Pieces::one) {}

bool LinuxCpuTickSource::read(std::vector<CpuCoreTicks>& out) {
    if (!stat_.read(buf_, 1 << 20) || !parse(buf_, out, &ids_)) return false;
    if (ids_ != prevIds_) {
        ++generation_;
        prevIds_.swap(ids_);
    }
    return true;
}

bool LinuxCpuTickSource::parse(std::string_view text, std::vector<CpuCoreTicks>& out, std::vector<int>* ids) {
    out.clear();
    if (ids) ids->clear();
    bool ok = true;
    forEachLine(text, [&](std::string_view line) {
        // Per-core lines are "cpuN ..."; the aggregate "cpu ..." line is skipped.
        if (!ok || line.size() < 4 || line.substr(0, 3) != "cpu" || line[3] < '0' || line[3] > '9') return;
        uint64_t f[8] = {};
        size_t count = 0;
        size_t pos = line.find(' ');
        while (pos != std::string_view::npos && count < 8) {
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
            if (pos >= line.size()) break;
            const size_t end = line.find(' ', pos);
            const auto v = parseUInt(line.substr(pos, end == std::string_view::npos ? line.npos : end - pos));
            if (!v) break;
            f[count++] = *v;
            pos = end;
        }
        if (count < 4) {
            ok = false;
            return;
        }
        // Truncation to 32 bits keeps differences exact modulo 2^32.
        out.push_back({static_cast<uint32_t>(f[0]), static_cast<uint32_t>(f[2] + f[5] + f[6] + f[7]),
                       static_cast<uint32_t>(f[3] + f[4]), static_cast<uint32_t>(f[1])});
        if (ids) {
            const size_t space = line.find(' ');
            const auto id =
                parseUInt(line.substr(3, space == std::string_view::npos ? line.npos : space - 3));
            ids->push_back(id ? static_cast<int>(std::min<uint64_t>(*id, std::numeric_limits<int>::max()))
                              : -1);
        }
    });
    if (!ok || out.empty()) {
        out.clear();
        return false;
    }
    return true;
}

CoreLayout readSysfsCoreLayout(const std::string& sysRoot) {
    CoreLayout layout;
    const std::string cpuDir = sysRoot + "/devices/system/cpu";
    std::vector<int> online;
    if (auto text = readTrimmed(cpuDir + "/online"))
        if (auto list = parseCpuList(*text)) online = std::move(*list);
    if (online.empty()) return layout;
    layout.logicalCores = static_cast<int64_t>(online.size());

    // One kind per online core, in logical order.
    using Kind = CoreCluster::Kind;
    std::vector<Kind> kinds;
    auto readList = [&](const std::string& path) -> std::optional<std::set<int>> {
        auto text = readTrimmed(path);
        if (!text) return std::nullopt;
        auto list = parseCpuList(*text);
        if (!list || list->empty()) return std::nullopt;
        return std::set<int>(list->begin(), list->end());
    };
    const auto pcores = readList(sysRoot + "/devices/cpu_core/cpus");
    const auto ecores = readList(sysRoot + "/devices/cpu_atom/cpus");
    if (pcores && ecores) {
        for (int cpu : online)
            kinds.push_back(pcores->count(cpu)   ? Kind::performance
                            : ecores->count(cpu) ? Kind::efficiency
                                                 : Kind::other);
    } else {
        std::vector<int64_t> capacity;
        for (int cpu : online) {
            auto c = readInt(cpuDir + "/cpu" + std::to_string(cpu) + "/cpu_capacity");
            if (!c) break;
            capacity.push_back(*c);
        }
        if (capacity.size() == online.size()) {
            const auto [lo, hi] = std::minmax_element(capacity.begin(), capacity.end());
            if (*lo != *hi)
                for (int64_t c : capacity)
                    kinds.push_back(c == *lo ? Kind::efficiency : Kind::performance);
        }
    }

    for (Kind kind : kinds) {
        if (!layout.clusters.empty() && layout.clusters.back().kind == kind)
            ++layout.clusters.back().cores;
        else
            layout.clusters.push_back({kind, {}, 1});
    }
    if (layout.clusters.size() < 2) layout.clusters.clear();  // one kind tells nothing apart
    return layout;
}

}  // namespace velmora::platform
