// What proving a process costs when the user acts on it (one pidfd, one small read, the
// signal through the pidfd), beside a bare kill() of the same process; and the dashboard
// table's tick with and without a selection to keep, grouped by name, at 370 processes.
#include "inspect/process_control.h"
#include "ui/dashboard/process_table_model.h"

#include <benchmark/benchmark.h>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;

namespace {

// A child that only waits, for as long as the benchmark runs.
struct Sleeper {
    pid_t pid = ::fork();
    Sleeper() {
        if (pid == 0)
            for (;;)
                ::pause();
    }
    ~Sleeper() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

std::vector<ProcInfo> processes(int tick) {
    std::vector<ProcInfo> out;
    out.reserve(370);
    for (int i = 0; i < 370; ++i)
        out.push_back({.pid = 1000 + i,
                       .startTime = 5000 + static_cast<uint64_t>(i),
                       .name = QStringLiteral("process-%1").arg(i % 120),
                       .cpu = static_cast<double>((i * 7 + tick * 13) % 100),
                       .memBytes = uint64_t(i) << 20});
    return out;
}

}  // namespace

// Signal 0: the whole proof and the send, without ending the process.
static void BM_ProvenSignal(benchmark::State& state) {
    Sleeper child;
    const ProcessControl control;
    const ProcessRef ref = control.stamp(child.pid);
    const auto system = ProcessControl::runningSystem();
    for (auto _ : state)
        benchmark::DoNotOptimize(system->signal(ref, 0));
}
BENCHMARK(BM_ProvenSignal)->Unit(benchmark::kMicrosecond);

static void BM_BareKill(benchmark::State& state) {
    Sleeper child;
    for (auto _ : state)
        benchmark::DoNotOptimize(::kill(child.pid, 0));
}
BENCHMARK(BM_BareKill)->Unit(benchmark::kMicrosecond);

// arg 0: nothing selected; arg 1: five group rows selected and kept across ticks.
static void BM_GroupedTableTick370(benchmark::State& state) {
    ProcessTableState table;
    table.setGrouped(true);
    std::vector<std::vector<ProcInfo>> ticks;
    for (int t = 0; t < 8; ++t)
        ticks.push_back(processes(t));
    table.setProcesses(ticks[0]);
    if (state.range(0) == 1) {
        std::set<ProcessTableState::RowKey> keys;
        for (size_t r = 0; r < 5; ++r)
            keys.insert(table.keyOf(table.rows()[r]));
        table.setSelection(keys);
    }
    size_t i = 0;
    for (auto _ : state) {
        table.setProcesses(ticks[i++ % ticks.size()]);
        benchmark::DoNotOptimize(table.selection().size());
    }
    state.counters["selected"] = static_cast<double>(table.selection().size());
}
BENCHMARK(BM_GroupedTableTick370)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
