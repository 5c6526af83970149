// Cost of the engine's steady work: one sampling tick, and publishing into a full history
// followed by the chart series a window would draw.
#include "engine/metrics_engine.h"
#include "samplers/samplers.h"

#include <benchmark/benchmark.h>

using namespace velmora;

namespace {

class NoSource : public SnapshotSource {
  public:
    Snapshot tick(const std::function<bool()>&) override { return {}; }
};

Snapshot withProcesses(TimePoint t, int count) {
    Snapshot s;
    s.time = t;
    s.cpuTotal = 12;
    s.cpuPerCore.assign(16, 12.0);
    s.processes.reserve(count);
    for (int i = 0; i < count; ++i)
        s.processes.push_back({.pid = 1000 + i,
                               .name = QStringLiteral("process-%1").arg(i),
                               .cpu = i * 0.1,
                               .memBytes = uint64_t(i) << 20});
    return s;
}

}  // namespace

// The CPU sampler alone (per-core ticks from the kernel and their deltas), live.
static void BM_CpuSamplerTick(benchmark::State& state) {
    CPUSampler cpu;
    cpu.sample();
    for (auto _ : state)
        benchmark::DoNotOptimize(cpu.sample());
}
BENCHMARK(BM_CpuSamplerTick)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

// One whole engine tick without processes (every system sampler), on the live machine.
static void BM_EngineTick(benchmark::State& state) {
    Samplers samplers({});
    const auto uiActive = [] { return false; };
    samplers.tick(uiActive);  // prime the delta samplers
    for (auto _ : state)
        benchmark::DoNotOptimize(samplers.tick(uiActive));
}
BENCHMARK(BM_EngineTick)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

// Publishing one snapshot of 400 processes into a 600-entry history whose newest 180
// entries carry 400 processes each, then decimating one chart series.
static void BM_PublishAndSeries(benchmark::State& state) {
    MetricsEngine engine(std::make_unique<NoSource>());
    const TimePoint t0 = WallClock::now();
    const Snapshot proto = withProcesses(t0, 400);
    for (int i = 0; i < 600; ++i) {
        Snapshot s = proto;
        s.time = t0 + std::chrono::seconds(i);
        engine.publish(std::move(s));
    }
    int i = 600;
    for (auto _ : state) {
        Snapshot s = proto;
        // Advance time so the oldest entry ages out and the history stays at 600.
        s.time = t0 + std::chrono::seconds(i++);
        engine.publish(std::move(s));
        benchmark::DoNotOptimize(engine.series(&Snapshot::cpuTotal));
    }
    state.counters["history"] = static_cast<double>(engine.history().size());
}
BENCHMARK(BM_PublishAndSeries)->Unit(benchmark::kMicrosecond);
