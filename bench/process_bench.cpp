// Cost of process sampling on this machine, against the least any /proc reader must do:
// list /proc and read stat, statm and io of every pid into one reusable buffer. The ratio
// benchmark runs both alternately in the same iterations, on thread CPU time, so load from
// elsewhere on the machine affects both alike.
#include "platform/gpu.h"
#ifdef __linux__
#include "platform/linux/process_linux.h"
#endif
#include "samplers/process_ranking.h"
#include "samplers/process_sampler.h"

#include "allocation_counter.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

using namespace velmora;

namespace {

// Lists /proc and reads three files per pid; returns the bytes read.
size_t procFloor(char* buf, size_t size) {
    size_t total = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    char path[64];
    while (const dirent* e = readdir(proc)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
        for (const char* leaf : {"stat", "statm", "io"}) {
            std::snprintf(path, sizeof path, "/proc/%.16s/%s", e->d_name, leaf);
            const int fd = open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            const ssize_t n = read(fd, buf, size);
            if (n > 0) total += static_cast<size_t>(n);
            close(fd);
        }
    }
    closedir(proc);
    return total;
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The machine's processes with both switches on, as a fresh user has them.
std::unique_ptr<ProcessSampler> machineSampler() {
    return std::make_unique<ProcessSampler>(
        platform::makeProcessSource(),
        [] {
            return ProcessSampler::Switches{true, true};
        },
        platform::gpuProcessTimes);
}

int pidCount() {
    int n = 0;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* e = readdir(proc))
            n += e->d_name[0] >= '1' && e->d_name[0] <= '9';
        closedir(proc);
    }
    return n;
}

}  // namespace

static void BM_ProcFloor(benchmark::State& state) {
    char buf[4096];
    for (auto _ : state)
        benchmark::DoNotOptimize(procFloor(buf, sizeof buf));
    state.counters["pids"] = pidCount();
}
BENCHMARK(BM_ProcFloor)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

static void BM_ProcessSample(benchmark::State& state) {
    auto sampler = machineSampler();
    sampler->sample();  // names cached, baselines set, as on every tick after the first
    size_t rows = 0;
    for (auto _ : state) {
        const std::vector<ProcInfo> list = sampler->sample();
        rows = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ProcessSample)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

#ifdef __linux__
// The process source alone, as the sampler calls it on every tick after the first: the
// machine's processes into reused lists. Reports the heap allocations of one read and how
// many pids ended without a row.
static void BM_ProcessSourceRead(benchmark::State& state) {
    platform::LinuxProcessSource source;
    std::vector<platform::ProcCounters> own;
    std::vector<platform::RefusedProc> refused;
    source.read(own, &refused);
    const uint64_t before = allocations.load();
    for (auto _ : state) {
        source.read(own, &refused);
        benchmark::DoNotOptimize(own.data());
    }
    state.counters["allocs/read"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
    using O = platform::LinuxProcessSource::PidOutcome;
    state.counters["rows"] = static_cast<double>(own.size() + refused.size());
    state.counters["no_row"] = static_cast<double>(source.lastCount(O::zombie) + source.lastCount(O::vanished) +
                                                   source.lastCount(O::unreadable) + source.lastCount(O::malformed));
}
BENCHMARK(BM_ProcessSourceRead)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
#endif

// Both in every iteration; `ratio` is the sampler's CPU time over the floor's.
static void BM_SampleToFloorRatio(benchmark::State& state) {
    auto sampler = machineSampler();
    sampler->sample();
    char buf[4096];
    double floorSeconds = 0, sampleSeconds = 0;
    for (auto _ : state) {
        const double t0 = threadCpuSeconds();
        benchmark::DoNotOptimize(procFloor(buf, sizeof buf));
        const double t1 = threadCpuSeconds();
        const std::vector<ProcInfo> list = sampler->sample();
        benchmark::DoNotOptimize(list.data());
        const double t2 = threadCpuSeconds();
        floorSeconds += t1 - t0;
        sampleSeconds += t2 - t1;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["floor_us"] = floorSeconds / n * 1e6;
    state.counters["sample_us"] = sampleSeconds / n * 1e6;
    state.counters["ratio"] = floorSeconds > 0 ? sampleSeconds / floorSeconds : 0;
    state.counters["pids"] = pidCount();
}
BENCHMARK(BM_SampleToFloorRatio)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

// The dashboard's work per snapshot for 1 000 processes: feed the ranker, then rebuild the
// rows in cumulative CPU order.
static void BM_RankThousandProcesses(benchmark::State& state) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> load(0, 100);
    std::vector<std::vector<ProcInfo>> ticks(16);
    for (auto& procs : ticks) {
        procs.reserve(1000);
        for (int i = 0; i < 1000; ++i)
            procs.push_back({.pid = 100 + i,
                             .name = QStringLiteral("process-%1").arg(i % 300),
                             .cpu = load(rng) * (i % 10 == 0),
                             .memBytes = uint64_t(i) << 20,
                             .diskReadBps = load(rng),
                             .energyImpact = load(rng) / 2,
                             .gpuPercent = load(rng) / 10});
    }
    ProcessTable table;
    const ProcTableOptions options{};
    size_t i = 0;
    for (auto _ : state) {
        const std::vector<ProcInfo>& procs = ticks[i++ % ticks.size()];
        table.tick(procs);
        benchmark::DoNotOptimize(table.recompute(procs, options));
    }
}
BENCHMARK(BM_RankThousandProcesses)->Unit(benchmark::kMicrosecond);
