#include "history/record_builder.h"

#include <algorithm>

namespace velmora::history {
namespace {

double seriesValue(const Snapshot& s, int series) {
    switch (static_cast<Series>(series)) {
    case Series::cpuPercent: return s.cpuTotal;
    case Series::memPercent: return s.memPercent;
    case Series::gpuPercent: return s.gpuPercent;
    case Series::diskReadBps: return s.diskReadBps;
    case Series::diskWriteBps: return s.diskWriteBps;
    case Series::netInBps: return s.netInBps;
    case Series::netOutBps: return s.netOutBps;
    }
    return 0;
}

}  // namespace

RecordBuilder::RecordBuilder(Millis cadence, int perMetric) : cadence_(cadence), perMetric_(perMetric) {}

void RecordBuilder::begin(Clock::time_point at) {
    open_ = true;
    current_ = Record{};
    current_.start = at;
    current_.end = at;
    current_.processesKnown = false;
    sums_ = {};
    samples_ = 0;
    processes_.clear();
}

void RecordBuilder::take(const Snapshot& s) {
    current_.end = s.time;
    for (int i = 0; i < kSeriesCount; ++i) {
        const double v = seriesValue(s, i);
        current_.series[i].peak = samples_ == 0 ? v : std::max(current_.series[i].peak, v);
        sums_[i] += v;
    }
    ++samples_;
    if (!s.processesMeasured) return;
    current_.processesKnown = true;
    for (const ProcInfo& p : s.processes) {
        // A build's compilers come and go between reads: their CPU is charged to the parent
        // that reaped them, so the record names who started the work.
        const std::array<float, kMetricCount> v = {static_cast<float>(p.cpu + p.childrenCpu), static_cast<float>(p.memBytes),
                                                   static_cast<float>(p.diskReadBps + p.diskWriteBps), 0.0f,
                                                   static_cast<float>(p.gpuPercent)};
        auto [it, fresh] = processes_.try_emplace(ProcIdentity{p.pid, p.startTime});
        if (fresh) {
            it->second.pid = p.pid;
            it->second.startTime = p.startTime;
            it->second.name = p.name;
            it->second.values = v;
        } else {
            for (int m = 0; m < kMetricCount; ++m) it->second.values[m] = std::max(it->second.values[m], v[m]);
        }
    }
}

std::optional<Record> RecordBuilder::close() {
    if (!open_) return std::nullopt;
    open_ = false;
    if (current_.end <= current_.start) return std::nullopt;
    for (int i = 0; i < kSeriesCount; ++i) current_.series[i].mean = samples_ ? sums_[i] / samples_ : 0;
    std::vector<ProcessEntry> all;
    all.reserve(processes_.size());
    for (auto& [key, entry] : processes_) all.push_back(std::move(entry));
    processes_.clear();
    current_.processes = heaviest(std::move(all), perMetric_);
    return std::move(current_);
}

std::optional<Record> RecordBuilder::add(const Snapshot& s, Mono arrived) {
    bool continuous = false;
    if (lastWall_) {
        const auto wall = s.time - *lastWall_;
        const auto mono = std::chrono::duration_cast<Clock::duration>(arrived - lastMono_);
        continuous = wall > Clock::duration::zero() && wall <= kLongestTick && wall - mono <= kClockSlack;
    }
    lastWall_ = s.time;
    lastMono_ = arrived;
    if (!continuous) {
        // What came before ends at its last snapshot; this one only marks where the next
        // record starts, as nothing says how long its figures were measured over.
        auto done = close();
        begin(s.time);
        return done;
    }
    take(s);
    const auto span = current_.end - current_.start;
    // A record waits for a process sample while processes are sampled more slowly than
    // snapshots arrive, so each one says who was busy; never longer than two cadences.
    if (span >= cadence_ && (current_.processesKnown || span >= 2 * cadence_)) {
        auto done = close();
        begin(s.time);
        return done;
    }
    return std::nullopt;
}

void RecordBuilder::noteNetwork(const std::vector<ProcNet>& procs, const Snapshot& current) {
    if (!open_ || procs.empty()) return;
    std::unordered_map<int32_t, const ProcInfo*> byPid;
    byPid.reserve(current.processes.size());
    for (const ProcInfo& p : current.processes) byPid.emplace(p.pid, &p);
    constexpr int network = static_cast<int>(Metric::network);
    for (const ProcNet& n : procs) {
        const float total = static_cast<float>(n.inBps + n.outBps);
        if (!(total > 0)) continue;
        const auto known = byPid.find(n.pid);
        if (known == byPid.end()) continue;
        const ProcInfo& p = *known->second;
        auto [it, fresh] = processes_.try_emplace(ProcIdentity{p.pid, p.startTime});
        if (fresh) {
            it->second.pid = p.pid;
            it->second.startTime = p.startTime;
            it->second.name = p.name;
        }
        it->second.values[network] = std::max(it->second.values[network], total);
    }
}

std::optional<Record> RecordBuilder::flush() {
    lastWall_.reset();
    return close();
}

}  // namespace velmora::history
