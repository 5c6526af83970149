// The analysis window recomputes its list on every tick: the peak list over ten minutes of
// one-second moments, 1 000 processes each, through the attribution the engine keeps
// (target: under 5 ms of CPU), one instant of that history, and what keeping the
// attribution costs per tick and in memory (target: at most 4 MB, shown as "bytes").
#include "core/attribution.h"
#include "ui/analysis/analysis_model.h"

#include <benchmark/benchmark.h>

#include <cmath>

using namespace velmora;

namespace {

constexpr int kSeconds = 600;
constexpr int kProcesses = 1000;

Snapshot moment(TimePoint at, int t) {
    Snapshot s;
    s.time = at;
    s.processesMeasured = true;
    s.processes.reserve(kProcesses);
    for (int p = 0; p < kProcesses; ++p) {
        ProcInfo info;
        info.pid = 100 + p;
        info.startTime = 5000 + static_cast<uint64_t>(p);
        info.name = QStringLiteral("proc-%1").arg(p);
        info.cpu = std::fmod(p * 7.3 + t * 1.1, 60.0);  // a fifth cross the threshold at times
        info.memBytes = static_cast<uint64_t>(p) << 18;
        info.diskReadBps = (p * 31 + t * 7) % 1000 * 300.0;
        info.diskWriteBps = (p * 17 + t * 3) % 500 * 100.0;
        info.gpuPercent = (p % 50 == 0) ? std::fmod(p + t, 30.0) : 0;
        info.childrenCpu = (p % 100 == 0) ? std::fmod(t * 3.0, 40.0) : 0;
        s.processes.push_back(std::move(info));
    }
    return s;
}

struct Busy {
    std::deque<Snapshot> history;
    AttributionLog log;
    Snapshot current;
    std::deque<NetProcMonitor::Entry> net;
    std::vector<ProcNet> netNow;
    Busy() {
        const TimePoint start = WallClock::now() - std::chrono::seconds(kSeconds);
        for (int t = 0; t < kSeconds; ++t) {
            Snapshot s = moment(start + std::chrono::seconds(t), t);
            log.add(s);
            if (t == kSeconds - 1) current = s;
            // As the engine keeps it: process tables on the newest snapshots only.
            s.processes.clear();
            s.processes.shrink_to_fit();
            history.push_back(std::move(s));
        }
    }
    AnalysisInputs inputs() const { return {history, log, current, net, netNow, WallClock::now()}; }
};

const Busy& busy() {
    static const Busy b;
    return b;
}

void BM_PeakRows(benchmark::State& state) {
    const ResourceAnalysis analysis(static_cast<AnalysisKind>(state.range(0)));
    const AnalysisInputs in = busy().inputs();
    size_t rows = 0;
    for (auto _ : state) {
        const auto out = analysis.peakRows(in);
        rows = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["moments"] = static_cast<double>(busy().log.moments().size());
}
BENCHMARK(BM_PeakRows)
    ->Arg(static_cast<int>(AnalysisKind::cpu))
    ->Arg(static_cast<int>(AnalysisKind::memory))
    ->Arg(static_cast<int>(AnalysisKind::disk))
    ->Arg(static_cast<int>(AnalysisKind::gpu))
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_InstantRows(benchmark::State& state) {
    const ResourceAnalysis analysis(AnalysisKind::cpu);
    const AnalysisInputs in = busy().inputs();
    const TimePoint at = busy().history[kSeconds / 2].time;
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis.instantRows(in, at).data());
}
BENCHMARK(BM_InstantRows)->Unit(benchmark::kMicrosecond);

// One tick's share of keeping the attribution: a moment added to a full ten minutes and
// the oldest one trimmed; "bytes" is what the full log occupies.
void BM_AttributionTick(benchmark::State& state) {
    AttributionLog log;
    const TimePoint start = WallClock::now();
    std::vector<Snapshot> ring;
    for (int t = 0; t < 8; ++t)
        ring.push_back(moment(start, t));
    int t = 0;
    for (; t < kSeconds; ++t) {
        Snapshot& s = ring[static_cast<size_t>(t) % ring.size()];
        s.time = start + std::chrono::seconds(t);
        log.add(s);
    }
    for (auto _ : state) {
        Snapshot& s = ring[static_cast<size_t>(t) % ring.size()];
        s.time = start + std::chrono::seconds(t);
        log.add(s);
        log.trimBefore(s.time - std::chrono::seconds(kSeconds - 1));
        ++t;
    }
    state.counters["bytes"] = static_cast<double>(log.bytes());
    state.counters["moments"] = static_cast<double>(log.moments().size());
}
BENCHMARK(BM_AttributionTick)->Unit(benchmark::kMicrosecond);

}  // namespace
