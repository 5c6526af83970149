// The analysis window recomputes its list on every tick: the peak list over the 180
// snapshots that carry process tables, 1 000 processes each (target: under 5 ms), and one
// instant of that history.
#include "ui/analysis/analysis_model.h"

#include <benchmark/benchmark.h>

#include <cmath>

using namespace velmora;

namespace {

struct Busy {
    std::deque<Snapshot> history;
    std::deque<NetProcMonitor::Entry> net;
    std::vector<ProcNet> netNow;
    Busy() {
        const TimePoint start = WallClock::now() - std::chrono::seconds(180);
        for (int t = 0; t < 180; ++t) {
            Snapshot s;
            s.time = start + std::chrono::seconds(t);
            for (int p = 0; p < 1000; ++p) {
                ProcInfo info;
                info.pid = 100 + p;
                info.name = QStringLiteral("proc-%1").arg(p);
                info.cpu = std::fmod(p * 7.3 + t * 1.1, 60.0);  // a fifth cross the threshold at times
                info.memBytes = static_cast<uint64_t>(p) << 18;
                info.diskReadBps = p * 300.0;
                s.processes.push_back(std::move(info));
            }
            history.push_back(std::move(s));
        }
    }
    AnalysisInputs inputs() const { return {history, history.back(), net, netNow, WallClock::now()}; }
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
}
BENCHMARK(BM_PeakRows)
    ->Arg(static_cast<int>(AnalysisKind::cpu))
    ->Arg(static_cast<int>(AnalysisKind::memory))
    ->Arg(static_cast<int>(AnalysisKind::disk))
    ->Unit(benchmark::kMillisecond);

void BM_InstantRows(benchmark::State& state) {
    const ResourceAnalysis analysis(AnalysisKind::cpu);
    const AnalysisInputs in = busy().inputs();
    const TimePoint at = busy().history[90].time;
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis.instantRows(in, at).data());
}
BENCHMARK(BM_InstantRows)->Unit(benchmark::kMicrosecond);

}  // namespace
