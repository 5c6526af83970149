// The remembered record: one minute's write (target: at most 5 ms of CPU), reading 24 hours
// and 7 days with the culprits of every metric (targets: 150 ms and 400 ms), and the size a
// day at full resolution takes on disk (target: at most 10 MB); and opening the analysis
// window on 24 hours and 7 days: the read, the records shaped for the view, its chart and its
// peak list (targets: 150 ms and 400 ms). Beside them, what per-process network figures would
// cost the background record: one socket dump and one walk of every process's descriptors.
#include "history/history_range.h"
#include "history/history_store.h"
#include "ui/analysis/analysis_model.h"
#include "ui/common/stored_range.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#ifdef __linux__
#include "platform/linux/net_proc_linux.h"
#include "platform/linux/sock_diag.h"
#endif

#include <cmath>

using namespace velmora::history;
using namespace std::chrono_literals;

namespace {

constexpr int kProcesses = 370;
constexpr int kPerMetric = 10;
constexpr Millis kCadence = 10s;

// One record as the recorder makes it: 370 processes, the heaviest 10 of each metric kept.
Record makeRecord(Clock::time_point start, int tick) {
    Record r;
    r.start = start;
    r.end = start + kCadence;
    for (int s = 0; s < kSeriesCount; ++s) r.series[s] = {std::fmod(tick * 1.7 + s, 100.0), std::fmod(tick * 0.9 + s, 50.0)};
    std::vector<ProcessEntry> all;
    all.reserve(kProcesses);
    for (int p = 0; p < kProcesses; ++p) {
        ProcessEntry e;
        e.pid = 1000 + p;
        e.startTime = 50'000 + static_cast<uint64_t>(p) * 13;
        e.name = QStringLiteral("worker-%1").arg(p % 150);
        e.path = QStringLiteral("/usr/lib/app/bin/worker-%1").arg(p % 150);
        // Load moves between processes over time, so different ones make the lists.
        e.values = {static_cast<float>(std::fmod(p * 7.3 + tick * 3.1, 90.0)), static_cast<float>((p % 37) << 20),
                    static_cast<float>(std::fmod(p * 11.0 + tick * 5.0, 200.0) * 1e4), static_cast<float>((p + tick) % 23 * 1e3),
                    static_cast<float>(p % 5 == 0 ? (p + tick) % 40 : 0)};
        all.push_back(std::move(e));
    }
    r.processes = heaviest(std::move(all), kPerMetric);
    return r;
}

const Clock::time_point kNow = Clock::time_point(std::chrono::hours(24 * 20500));

// A database holding 24 hours at full resolution and, before them, six days of minutes.
struct Filled {
    QTemporaryDir dir;
    QString path = dir.path() + QStringLiteral("/history.sqlite");
    qint64 dayBytes = 0;
    Filled() {
        auto store = HistoryStore::open(path);
        const auto weekStart = kNow - 24h * 7;
        std::vector<Record> batch;
        int tick = 0;
        for (auto t = weekStart; t < kNow; t += kCadence, ++tick) {
            batch.push_back(makeRecord(t, tick));
            if (batch.size() == 6) {
                store->append(batch);
                batch.clear();
            }
            // Fold once per simulated hour, as the recorder does, so the file has its steady shape.
            if (tick % 360 == 0) store->prune(t + kCadence);
            if (t == kNow - 24h) {
                store.reset();
                store = HistoryStore::open(path);
            }
        }
        store->append(batch);
        store->prune(kNow);
    }
};

const Filled& filled() {
    static const Filled f;
    return f;
}

void BM_WriteOneMinute(benchmark::State& state) {
    QTemporaryDir dir;
    auto store = HistoryStore::open(dir.path() + QStringLiteral("/history.sqlite"));
    std::vector<std::vector<Record>> minutes;
    for (int m = 0; m < 64; ++m) {
        std::vector<Record> batch;
        for (int i = 0; i < 6; ++i) batch.push_back(makeRecord(kNow + Millis((m * 6 + i) * kCadence.count()), m * 6 + i));
        minutes.push_back(std::move(batch));
    }
    size_t i = 0;
    for (auto _ : state) {
        // Later minutes each round, so every write appends.
        state.PauseTiming();
        auto batch = minutes[i % minutes.size()];
        const auto shift = std::chrono::minutes(64) * static_cast<int>(i / minutes.size());
        for (Record& r : batch) {
            r.start += shift;
            r.end += shift;
        }
        ++i;
        state.ResumeTiming();
        benchmark::DoNotOptimize(store->append(batch));
    }
}
BENCHMARK(BM_WriteOneMinute)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void readRange(benchmark::State& state, Millis range) {
    const Filled& f = filled();
    for (auto _ : state) {
        auto store = HistoryStore::open(f.path);
        const auto records = store->records(kNow - range, kNow);
        size_t n = 0;
        for (int m = 0; m < kMetricCount; ++m) n += culprits(records, static_cast<Metric>(m), 20).size();
        n += gaps(records, kNow - range, kNow, 2 * kCadence).size();
        benchmark::DoNotOptimize(n);
        state.counters["records"] = static_cast<double>(records.size());
    }
    state.counters["file_MB"] = QFileInfo(f.path).size() / 1e6;
}

void BM_Open24Hours(benchmark::State& state) { readRange(state, 24h); }
BENCHMARK(BM_Open24Hours)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_Open7Days(benchmark::State& state) { readRange(state, 24h * 7); }
BENCHMARK(BM_Open7Days)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// What the analysis window does on opening a remembered range: read it, shape it into the
// live inputs, and make its chart (mean and peak) and its peak list.
void openAnalysis(benchmark::State& state, Millis range) {
    const Filled& f = filled();
    const velmora::Snapshot current;
    const std::deque<velmora::NetProcMonitor::Entry> noNet;
    const std::vector<velmora::ProcNet> noNetNow;
    for (auto _ : state) {
        auto store = HistoryStore::open(f.path);
        auto records = store->records(kNow - range, kNow);
        const size_t count = records.size();
        const velmora::StoredRange view = velmora::buildStoredRange(std::move(records), kNow - range, kNow);
        const velmora::AnalysisInputs in{view.history, view.attribution, current, noNet, noNetNow, kNow};
        velmora::ResourceAnalysis analysis(velmora::AnalysisKind::cpu);
        const auto rows = analysis.peakRows(in);
        const auto mean = view.points(Series::cpuPercent, false);
        const auto peak = view.points(Series::cpuPercent, true);
        const auto unknown = analysis.unknownSpans(in);
        benchmark::DoNotOptimize(rows.size() + mean.size() + peak.size() + unknown.size() + view.gaps.size());
        state.counters["records"] = static_cast<double>(count);
    }
}

void BM_OpenAnalysis24Hours(benchmark::State& state) { openAnalysis(state, 24h); }
BENCHMARK(BM_OpenAnalysis24Hours)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_OpenAnalysis7Days(benchmark::State& state) { openAnalysis(state, 24h * 7); }
BENCHMARK(BM_OpenAnalysis7Days)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The size of one full-resolution day on its own.
void BM_DayOnDisk(benchmark::State& state) {
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/history.sqlite");
        {
            auto store = HistoryStore::open(path);
            std::vector<Record> batch;
            int tick = 0;
            for (auto t = kNow - 24h; t < kNow; t += kCadence, ++tick) {
                batch.push_back(makeRecord(t, tick));
                if (batch.size() == 6) {
                    store->append(batch);
                    batch.clear();
                }
            }
        }
        state.counters["day_MB"] = QFileInfo(path).size() / 1e6;
    }
}
BENCHMARK(BM_DayOnDisk)->Unit(benchmark::kMillisecond)->Iterations(1);

#ifdef __linux__
// Per-process network needs, each time, a dump of every TCP socket and a walk of every
// readable process's descriptors to find who holds them; the walk is the part that grows
// with the process count. Measured on this machine's own processes.
void BM_NetworkOwnersWalk(benchmark::State& state) {
    velmora::platform::LinuxNetProcSource source;
    velmora::platform::SockDiag diag;
    std::vector<velmora::platform::InetSocket> sockets;
    std::unordered_map<uint64_t, int32_t> owners;
    for (auto _ : state) {
        sockets.clear();
        diag.tcpSockets(sockets);
        owners.clear();
        for (const auto& s : sockets)
            owners.emplace(s.inode, -1);
        source.findOwners(owners);
        benchmark::DoNotOptimize(owners.size());
    }
    state.counters["sockets"] = static_cast<double>(sockets.size());
}
BENCHMARK(BM_NetworkOwnersWalk)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
#endif

}  // namespace
