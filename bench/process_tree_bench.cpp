// The dashboard's process tree: built from one snapshot's processes on every tick while the
// tree view is on. Target: at most 1 ms for 1 000 processes.
#include "ui/dashboard/process_table_model.h"
#include "ui/dashboard/process_tree.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace velmora;

namespace {

// A desktop's shape: init, a session manager with a few hundred direct children, shells with
// builds under them, browsers with many helpers, and a tail of kernel-style roots.
std::vector<ProcInfo> machine(int n) {
    std::mt19937 rng(7);
    std::vector<ProcInfo> out;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        ProcInfo p;
        p.pid = 100 + i;
        p.startTime = 1000 + static_cast<uint64_t>(i);
        p.name = QStringLiteral("proc-%1").arg(i % 97);
        p.cpu = std::uniform_real_distribution<double>(0, 30)(rng);
        p.memBytes = std::uniform_int_distribution<uint64_t>(1u << 20, 1u << 30)(rng);
        if (i == 0) p.ppid = 1;
        else if (i < 200) p.ppid = 100;                                       // under the session
        else if (i < 900) p.ppid = 100 + std::uniform_int_distribution<int>(1, i - 1)(rng);  // families
        else p.ppid = 2;                                                      // parent not listed
        out.push_back(std::move(p));
    }
    return out;
}

void BM_BuildTree(benchmark::State& state) {
    const std::vector<ProcInfo> ps = machine(static_cast<int>(state.range(0)));
    ProcTableOptions options;
    options.cumulativeRank = false;
    ProcessTree tree;
    ProcessTree::Collapsed collapsed = {{150, 1050}, {400, 1300}};
    std::vector<ProcInfo> rows;
    std::vector<ProcessTreeRow> shape;
    for (auto _ : state) {
        tree.build(ps, options, collapsed, ProcessTable::rowLimit, rows, shape);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_BuildTree)->Arg(370)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Every row out, nothing folded: the most the build does.
void BM_BuildTreeAllRows(benchmark::State& state) {
    const std::vector<ProcInfo> ps = machine(1000);
    ProcTableOptions options;
    options.cumulativeRank = false;
    options.key = state.range(0) ? ProcSortKey::name : ProcSortKey::cpu;
    ProcessTree tree;
    std::vector<ProcInfo> rows;
    std::vector<ProcessTreeRow> shape;
    for (auto _ : state) {
        tree.build(ps, options, {}, 100000, rows, shape);
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_BuildTreeAllRows)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A whole tick of the table in tree view: ranking, filtering and the tree.
void BM_TableTickTree(benchmark::State& state) {
    std::vector<ProcInfo> ps = machine(1000);
    ProcessTableState table;
    table.setTree(state.range(0) != 0);
    for (auto _ : state) {
        ps[static_cast<size_t>(state.iterations() % 1000)].cpu += 1;
        table.setProcesses(ps);
        benchmark::DoNotOptimize(table.rows().data());
    }
}
BENCHMARK(BM_TableTickTree)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
