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
std::unique_ptr<TopologyFacts> makeTopologyFacts() {
    return std::make_unique<LinuxTopologyFacts>();
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

LinuxTopologyFacts::LinuxTopologyFacts(std::string sysRoot) {
    const std::string cpuDir = sysRoot + "/devices/system/cpu";
    std::vector<int> online;
    if (auto text = readTrimmed(cpuDir + "/online"))
        if (auto list = parseCpuList(*text)) online = std::move(*list);
    if (online.empty()) return;
    ints_["hw.logicalcpu"] = static_cast<int64_t>(online.size());

    // One cluster name per online core, in logical order.
    std::vector<std::string> names;
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
            names.push_back(pcores->count(cpu) ? "Performance" : ecores->count(cpu) ? "Efficiency" : "");
    } else {
        std::vector<int64_t> capacity;
        for (int cpu : online) {
            auto c = readInt(cpuDir + "/cpu" + std::to_string(cpu) + "/cpu_capacity");
            if (!c) break;
            capacity.push_back(*c);
        }
        if (capacity.size() == online.size()) {
            const auto [lo, hi] = std::minmax_element(capacity.begin(), capacity.end());
            if (*lo != *hi) {
                // The biggest cores and any middle tier are performance cores; the smallest
                // are the efficiency cluster.
                for (int64_t c : capacity)
                    names.push_back(c == *lo ? "Efficiency" : "Performance");
            }
        }
    }
    if (names.empty()) return;

    std::vector<std::pair<std::string, int64_t>> runs;
    for (const std::string& n : names) {
        if (!runs.empty() && runs.back().first == n)
            ++runs.back().second;
        else
            runs.push_back({n, 1});
    }
    if (runs.size() < 2) return;
    // The topology walks levels from the highest down, so the first run is the top level.
    const int64_t levels = static_cast<int64_t>(runs.size());
    ints_["hw.nperflevels"] = levels;
    for (int64_t i = 0; i < levels; ++i) {
        const auto& run = runs[static_cast<size_t>(levels - 1 - i)];
        const std::string prefix = "hw.perflevel" + std::to_string(i);
        ints_[prefix + ".logicalcpu"] = run.second;
        strings_[prefix + ".name"] = run.first;
    }
}

std::optional<int64_t> LinuxTopologyFacts::intValue(const std::string& name) {
    auto it = ints_.find(name);
    return it == ints_.end() ? std::nullopt : std::optional<int64_t>(it->second);
}

std::optional<std::string> LinuxTopologyFacts::stringValue(const std::string& name) {
    auto it = strings_.find(name);
    return it == strings_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

}  // namespace velmora::platform
