#include "history/history_record.h"

#include <algorithm>

namespace velmora::history {

std::vector<ProcessEntry> heaviest(std::vector<ProcessEntry> all, int perMetric) {
    std::vector<ProcessEntry> out;
    if (perMetric <= 0 || all.empty()) return out;
    // Where each process went in `out`, or -1.
    std::vector<int> placed(all.size(), -1);
    std::vector<size_t> order(all.size());
    for (int m = 0; m < kMetricCount; ++m) {
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        const auto byValue = [&](size_t a, size_t b) {
            if (all[a].values[m] != all[b].values[m]) return all[a].values[m] > all[b].values[m];
            return all[a].pid < all[b].pid;
        };
        const size_t n = std::min<size_t>(static_cast<size_t>(perMetric), order.size());
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n), order.end(), byValue);
        for (size_t k = 0; k < n; ++k) {
            const size_t i = order[k];
            if (!(all[i].values[m] > 0)) break;
            if (placed[i] < 0) {
                placed[i] = static_cast<int>(out.size());
                ProcessEntry kept = all[i];
                kept.values = {};
                out.push_back(std::move(kept));
            }
            out[static_cast<size_t>(placed[i])].values[m] = all[i].values[m];
        }
    }
    return out;
}

Record fold(const std::vector<Record>& records, Resolution resolution, int perMetric) {
    Record out;
    out.resolution = resolution;
    if (records.empty()) return out;
    out.start = records.front().start;
    out.end = records.front().end;
    std::array<double, kSeriesCount> weighted{};
    double totalMs = 0;
    std::vector<ProcessEntry> procs;
    out.processesKnown = false;
    for (const Record& r : records) {
        out.processesKnown = out.processesKnown || r.processesKnown;
        out.start = std::min(out.start, r.start);
        out.end = std::max(out.end, r.end);
        const double ms = std::max<double>(1.0, std::chrono::duration<double, std::milli>(r.end - r.start).count());
        totalMs += ms;
        for (int s = 0; s < kSeriesCount; ++s) {
            out.series[s].peak = std::max(out.series[s].peak, r.series[s].peak);
            weighted[s] += r.series[s].mean * ms;
        }
        for (const ProcessEntry& p : r.processes) {
            auto it = std::find_if(procs.begin(), procs.end(), [&](const ProcessEntry& q) { return q.sameProcess(p); });
            if (it == procs.end()) {
                procs.push_back(p);
            } else {
                for (int m = 0; m < kMetricCount; ++m) it->values[m] = std::max(it->values[m], p.values[m]);
            }
        }
    }
    for (int s = 0; s < kSeriesCount; ++s) out.series[s].mean = weighted[s] / totalMs;
    out.processes = heaviest(std::move(procs), perMetric);
    return out;
}

}  // namespace velmora::history
