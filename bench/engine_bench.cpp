// Cost of the engine's steady work: one sampling tick, publishing into a full history, the
// chart series the windows draw from it, and a minute of publishing with and without the
// release of freed memory that ends it.
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

// A 600-entry history whose newest 180 entries carry 400 processes each: ten minutes of
// one-second ticks with a process view open for the last three.
struct FullHistory {
    MetricsEngine engine{std::make_unique<NoSource>()};
    TimePoint t0 = WallClock::now();
    Snapshot proto = withProcesses(t0, 400);
    int next = 0;

    FullHistory() {
        while (next < 600)
            publishNext();
    }
    // Advances time so the oldest entry ages out and the history stays full.
    void publishNext() {
        Snapshot s = proto;
        s.time = t0 + std::chrono::seconds(next++);
        engine.publish(std::move(s));
    }
};

// The seven fields the charts follow.
constexpr SnapshotField kChartFields[] = {
    &Snapshot::cpuTotal,     &Snapshot::memPercent, &Snapshot::gpuPercent, &Snapshot::diskReadBps,
    &Snapshot::diskWriteBps, &Snapshot::netInBps,   &Snapshot::netOutBps};

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

// Publishing one snapshot of 400 processes into the full history (including the copy of
// the snapshot that arrives from the worker), then decimating one chart series: the steady
// cost of one tick with one chart open. The two parts are also reported apart, in µs.
static void BM_PublishAndSeries(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    FullHistory h;
    Clock::duration publishing{}, charting{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        h.publishNext();
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(h.engine.series(&Snapshot::cpuTotal));
        charting += Clock::now() - t1;
        publishing += t1 - t0;
    }
    const auto us = [](Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); };
    state.counters["publish_us"] = benchmark::Counter(us(publishing), benchmark::Counter::kAvgIterations);
    state.counters["series_us"] = benchmark::Counter(us(charting), benchmark::Counter::kAvgIterations);
    state.counters["history"] = static_cast<double>(h.engine.history().size());
}
BENCHMARK(BM_PublishAndSeries)->Unit(benchmark::kMicrosecond);

// The dashboard's series work per tick: eight series of the full history, the seven chart
// fields and one process's CPU trend.
static void BM_DashboardTickSeries(benchmark::State& state) {
    FullHistory h;
    size_t points = 0;
    for (auto _ : state) {
        points = 0;
        for (SnapshotField field : kChartFields)
            points += h.engine.series(field).size();
        points += h.engine.cpuHistory(1000 + 399).size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_DashboardTickSeries)->Unit(benchmark::kMicrosecond);

// A minute of one-second ticks into a full history, ending in the once-a-minute release of
// freed memory (release:1) or without it (release:0). Process tables vary in length, as
// they do live, so the freed blocks are scattered the way they are in the running program.
static void BM_PublishMinute(benchmark::State& state) {
    MetricsEngine engine(std::make_unique<NoSource>());
    if (state.range(0) == 0) engine.setMemoryRelease({});
    const TimePoint t0 = WallClock::now();
    int i = 0;
    auto publishNext = [&] {
        engine.publish(withProcesses(t0 + std::chrono::seconds(i), 300 + (i * 37) % 200));
        ++i;
    };
    while (i < 600)
        publishNext();
    for (auto _ : state)
        for (int k = 0; k < 60; ++k)
            publishNext();
}
BENCHMARK(BM_PublishMinute)->ArgName("release")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
