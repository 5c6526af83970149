#include "ui/analysis/analysis_model.h"

#include "core/localizer.h"
#include "ui/common/system_colors.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const TimePoint t0 = TimePoint{} + std::chrono::hours(24 * 365 * 50);

TimePoint at(double seconds) {
    return t0 + std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
}

ProcInfo proc(int32_t pid, const QString& name, double cpu, uint64_t mem = 0, double gpu = 0) {
    ProcInfo p;
    p.pid = pid;
    p.startTime = static_cast<uint64_t>(pid) * 10;  // a start time of its own per pid
    p.name = name;
    p.cpu = cpu;
    p.memBytes = mem;
    p.gpuPercent = gpu;
    return p;
}

ProcInfo disk(int32_t pid, double read, double write) {
    ProcInfo p = proc(pid, QStringLiteral("d%1").arg(pid), 0);
    p.diskReadBps = read;
    p.diskWriteBps = write;
    return p;
}

Snapshot snap(double second, std::vector<ProcInfo> procs) {
    Snapshot s;
    s.time = at(second);
    s.processes = std::move(procs);
    s.processesMeasured = true;
    return s;
}

std::vector<int32_t> pidsOf(const std::vector<AnalysisRow>& rows) {
    std::vector<int32_t> out;
    for (const AnalysisRow& r : rows)
        out.push_back(r.pid);
    return out;
}

// A made-up machine: the engine's history with its attribution and current snapshot, the
// network monitor's. The attribution is taken from the history as the engine takes it.
struct Machine {
    std::deque<Snapshot> history;
    AttributionLog log;
    Snapshot current;
    std::deque<NetProcMonitor::Entry> net;
    std::vector<ProcNet> netNow;
    TimePoint now = at(1000);
    AnalysisInputs inputs() {
        log.clear();
        for (const Snapshot& s : history)
            log.add(s);
        return {history, log, current, net, netNow, now};
    }
};

}  // namespace

TEST(ResourceAnalysis, PeakListsKeepTheThresholdsAndTheEarlierOfEqualPeaks) {
    Localizer::shared().apply("en");
    Machine m;
    m.history = {
        snap(0, {proc(1, "exact", 8.0), proc(2, "below", 7.99), proc(3, "twice", 50), proc(4, "mem", 0, 104857600)}),
        snap(10, {proc(3, "twice", 50), proc(5, "gpu", 3, 0, 99)}),
        snap(20, {proc(1, "exact", 30), proc(4, "mem", 0, 104857599)}),
    };
    m.current = snap(20, {proc(1, "exact", 30)});

    ResourceAnalysis cpu(AnalysisKind::cpu);
    const auto rows = cpu.peakRows(m.inputs());
    EXPECT_EQ(pidsOf(rows), (std::vector<int32_t>{3, 1})) << "7.99 % stays out, 8.0 % enters";
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].value, "50%, 16 min ago") << "the peak of 50 % seen twice keeps its first time";
    EXPECT_DOUBLE_EQ(rows[1].fraction, 30.0 / 50.0);
    EXPECT_FALSE(rows[0].active);
    EXPECT_TRUE(rows[1].active) << "still above the threshold now";

    EXPECT_EQ(pidsOf(ResourceAnalysis(AnalysisKind::memory).peakRows(m.inputs())), std::vector<int32_t>{4});
    EXPECT_TRUE(ResourceAnalysis(AnalysisKind::gpu).peakRows(m.inputs()).empty()) << "no GPU peak list";
    // The GPU instant list still ranks by GPU share.
    EXPECT_EQ(pidsOf(ResourceAnalysis(AnalysisKind::gpu).instantRows(m.inputs(), at(10))), std::vector<int32_t>{5});

    // A dismissed pid never comes back, whatever peak it reaches later.
    cpu.dismiss({3, 30, false});
    m.history.push_back(snap(30, {proc(3, "twice", 90)}));
    EXPECT_EQ(pidsOf(cpu.peakRows(m.inputs())), std::vector<int32_t>{1});
}

// Ten minutes at 1 s: the busy moment of the first second is still explained at the end,
// in both modes.
TEST(ResourceAnalysis, EveryMomentOfTheHistoryKeepsItsProcesses) {
    Localizer::shared().apply("en");
    Machine m;
    m.history.push_back(snap(0, {proc(9, "old", 99), proc(7, "recent", 10)}));
    for (int i = 1; i < 600; ++i)
        m.history.push_back(snap(i, {proc(7, "recent", 10)}));
    m.now = at(599);
    ResourceAnalysis cpu(AnalysisKind::cpu);
    EXPECT_EQ(pidsOf(cpu.peakRows(m.inputs())), (std::vector<int32_t>{9, 7}));
    const auto first = cpu.instantRows(m.inputs(), at(0));
    EXPECT_EQ(pidsOf(first), (std::vector<int32_t>{9, 7}));
    EXPECT_EQ(first[0].name, "old");
    EXPECT_EQ(first[0].startTime, 90u);
    EXPECT_TRUE(cpu.processesKnown(m.inputs(), at(0)));
}

// Where the processes of a moment were not measured, an empty list means "unknown", and the
// chart shades those spans; where they were, it means no load.
TEST(ResourceAnalysis, MomentsWithoutProcessDataAreToldApartFromIdleOnes) {
    Machine m;
    Snapshot blind = snap(0, {});
    blind.processesMeasured = false;
    Snapshot blind2 = snap(1, {});
    blind2.processesMeasured = false;
    Snapshot blind3 = snap(4, {});
    blind3.processesMeasured = false;
    m.history = {blind, blind2, snap(2, {proc(1, "idle", 0)}), snap(3, {proc(2, "busy", 50)}), blind3};
    ResourceAnalysis cpu(AnalysisKind::cpu);
    struct Case {
        double t;
        bool known;
        size_t rows;
    };
    const Case cases[] = {{0, false, 0}, {1, false, 0}, {2, true, 0}, {3, true, 1}, {4, false, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(cpu.processesKnown(m.inputs(), at(c.t)), c.known) << c.t;
        EXPECT_EQ(cpu.instantRows(m.inputs(), at(c.t)).size(), c.rows) << c.t;
    }
    using Span = std::pair<TimePoint, TimePoint>;
    EXPECT_EQ(cpu.unknownSpans(m.inputs()), (std::vector<Span>{{at(0), at(2)}, {at(4), at(4)}}));
    EXPECT_TRUE(cpu.processesKnown(m.inputs(), std::nullopt)) << "the peak list has moments to rank";

    Machine none;
    none.history = {blind};
    EXPECT_FALSE(cpu.processesKnown(none.inputs(), std::nullopt));
    EXPECT_TRUE(cpu.peakRows(none.inputs()).empty());
}

TEST(ResourceAnalysis, APickedMomentIsInTheHistoryOnlyWhileItsEntryIs) {
    Machine m;
    m.history = {snap(10, {}), snap(11, {})};
    m.net = {{at(20), {}}};
    struct Case {
        AnalysisKind kind;
        double t;
        bool in;
    };
    const Case cases[] = {{AnalysisKind::cpu, 9.99, false}, {AnalysisKind::cpu, 10, true}, {AnalysisKind::cpu, 11, true},
                          {AnalysisKind::network, 19.99, false}, {AnalysisKind::network, 20, true}};
    for (const Case& c : cases)
        EXPECT_EQ(ResourceAnalysis(c.kind).inHistory(m.inputs(), at(c.t)), c.in) << c.t;
    m.history.clear();
    EXPECT_FALSE(ResourceAnalysis(AnalysisKind::cpu).inHistory(m.inputs(), at(10)));
}

TEST(ResourceAnalysis, InstantRowsUseTheClosestSnapshotTheEarlierOnATie) {
    Localizer::shared().apply("en");
    Machine m;
    m.history = {snap(0, {proc(1, "a", 10), proc(2, "b", 40), proc(3, "idle", 0)}), snap(2, {proc(1, "a", 90)})};
    ResourceAnalysis cpu(AnalysisKind::cpu);

    struct Case {
        double t;
        std::vector<int32_t> pids;
    };
    const Case cases[] = {{-50, {2, 1}}, {0.9, {2, 1}}, {1.0, {2, 1}}, {1.1, {1}}, {500, {1}}};
    for (const Case& c : cases)
        EXPECT_EQ(pidsOf(cpu.instantRows(m.inputs(), at(c.t))), c.pids) << c.t;

    const auto rows = cpu.instantRows(m.inputs(), at(0));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].value, "40%") << "no time suffix at an instant";
    EXPECT_DOUBLE_EQ(rows[1].fraction, 0.25);
    EXPECT_EQ(rows[1].color, SystemColor::green());

    // An instant lists the heaviest the history keeps of its metric, largest first, even where
    // others are kept for another metric; the peak list caps at sixty.
    std::vector<ProcInfo> many;
    for (int i = 0; i < 100; ++i)
        many.push_back(proc(100 + i, "p", 10 + i, i < 40 ? 0 : 1000));
    m.history = {snap(0, many)};
    const auto instant = cpu.instantRows(m.inputs(), at(0));
    ASSERT_EQ(instant.size(), AttributionLog::perMetric);
    EXPECT_EQ(instant.front().pid, 199);
    EXPECT_EQ(instant.back().pid, 160);
    EXPECT_EQ(cpu.rows(m.inputs()).size(), 60u);

    m.history.clear();
    EXPECT_TRUE(cpu.instantRows(m.inputs(), at(0)).empty());
}

TEST(ResourceAnalysis, NetworkRowsComeFromTheMonitorAndNameLiveProcesses) {
    Localizer::shared().apply("en");
    Machine m;
    ResourceAnalysis net(AnalysisKind::network);
    EXPECT_TRUE(net.peakRows(m.inputs()).empty());
    EXPECT_TRUE(net.instantRows(m.inputs(), at(0)).empty());

    m.net = {{at(990), {{1, "curl", 30000, 0}, {2, "quiet", 100, 100}, {3, "zero", 0, 0}}},
             {at(995), {{1, "curl", 10000, 10000}, {4, "sync", 0, 20480}}}};
    m.netNow = {{4, "sync", 0, 25000}};
    m.current = snap(1000, {proc(1, "curl-live", 1)});

    const auto peaks = net.peakRows(m.inputs());
    EXPECT_EQ(pidsOf(peaks), (std::vector<int32_t>{1, 4}));
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[0].name, "curl-live");
    EXPECT_EQ(peaks[0].value, "↓29.3 KB/s ↑0 B/s, 10 s ago");
    EXPECT_FALSE(peaks[0].active);
    EXPECT_TRUE(peaks[1].active);

    const auto instant = net.instantRows(m.inputs(), at(991));
    EXPECT_EQ(pidsOf(instant), (std::vector<int32_t>{1, 2, 3})) << "no threshold at an instant";
    EXPECT_DOUBLE_EQ(instant[2].fraction, 0);

    EXPECT_EQ(net.historyTimes(m.inputs()), (std::vector<TimePoint>{at(990), at(995)}));
}

TEST(ResourceAnalysis, SelectionMovesToTheFirstRowWhenItsProcessLeaves) {
    auto row = [](int32_t pid) {
        AnalysisRow r;
        r.pid = pid;
        return r;
    };
    ResourceAnalysis a(AnalysisKind::cpu);
    a.syncSelection({});
    EXPECT_FALSE(a.selectedPID().has_value());
    const std::vector<AnalysisRow> rows = {row(5), row(6)};
    a.syncSelection(rows);
    EXPECT_EQ(a.selectedPID(), 5);
    a.selected = rows[1].key();
    a.syncSelection(rows);
    EXPECT_EQ(a.selectedPID(), 6);
    a.syncSelection({row(7)});
    EXPECT_EQ(a.selectedPID(), 7);
    // The same pid under another start time is another process: the selection moves.
    AnalysisRow reused = row(7);
    reused.startTime = 99;
    a.syncSelection({reused, row(8)});
    EXPECT_EQ(a.selected, reused.key());
}

TEST(ResourceAnalysis, TextsAndColours) {
    Localizer::shared().apply("en");
    struct Ago {
        double seconds;
        QString text;
    };
    const Ago agos[] = {{0, "just now"}, {1.9, "just now"}, {2, "2 s ago"}, {59.9, "59 s ago"},
                        {60, "1 min ago"}, {125, "2 min ago"}, {-30, "just now"}};
    for (const Ago& a : agos)
        EXPECT_EQ(ResourceAnalysis::agoText(at(0), at(a.seconds)), a.text) << a.seconds;

    struct Colour {
        AnalysisKind kind;
        double v;
        QColor colour;
    };
    const Colour colours[] = {
        {AnalysisKind::cpu, 100, SystemColor::red()},     {AnalysisKind::cpu, 99.9, SystemColor::orange()},
        {AnalysisKind::cpu, 35, SystemColor::yellow()},   {AnalysisKind::cpu, 34.9, SystemColor::green()},
        {AnalysisKind::gpu, 90, SystemColor::red()},      {AnalysisKind::gpu, 40, SystemColor::orange()},
        {AnalysisKind::gpu, 28, SystemColor::yellow()},   {AnalysisKind::gpu, 27.9, SystemColor::green()},
        {AnalysisKind::memory, 1e12, SystemColor::teal()}, {AnalysisKind::disk, 0, SystemColor::purple()},
    };
    for (const Colour& c : colours)
        EXPECT_EQ(rowColor(c.kind, c.v), c.colour) << rawValue(c.kind).toStdString() << " " << c.v;

    Snapshot s;
    s.cpuTotal = 42.4;
    s.memUsed = 1024;
    s.memTotal = 2048;
    s.netInBps = 1024;
    s.netOutBps = 0;
    EXPECT_EQ(ResourceAnalysis(AnalysisKind::cpu).nowSummary(s), "42%");
    EXPECT_EQ(ResourceAnalysis(AnalysisKind::memory).nowSummary(s), "1.0 KB / 2.0 KB");
    EXPECT_EQ(ResourceAnalysis(AnalysisKind::network).nowSummary(s), "↓1.0 KB/s  ↑0 B/s");

    for (const QString raw : {"cpu", "memory", "disk", "network", "gpu"})
        EXPECT_EQ(rawValue(*analysisKindFromRaw(raw)), raw);
    EXPECT_FALSE(analysisKindFromRaw("CPU").has_value());
}

TEST(ResourceAnalysis, PeakListsKeepTheFirstSixtyLargestFirstEqualPeaksInOrderOfAppearance) {
    Machine m;
    std::vector<ProcInfo> procs;
    for (int i = 0; i < 100; ++i)
        procs.push_back(proc(1000 - i, "p", i < 50 ? 20.0 : 10.0 + i));  // 50 equal peaks, then rising ones
    // Over four moments of 25 each: a moment keeps its 40 heaviest only.
    for (int k = 0; k < 4; ++k)
        m.history.push_back(snap(k, std::vector<ProcInfo>(procs.begin() + k * 25, procs.begin() + (k + 1) * 25)));
    const auto rows = ResourceAnalysis(AnalysisKind::cpu).peakRows(m.inputs());
    ASSERT_EQ(rows.size(), 60u);
    EXPECT_EQ(rows[0].pid, 1000 - 99) << "the largest first";
    // 109 down to 60: the fifty rising ones; then the equal 20s in the order they appeared.
    EXPECT_EQ(rows[49].pid, 1000 - 50);
    for (int i = 50; i < 60; ++i)
        EXPECT_EQ(rows[i].pid, 1000 - (i - 50)) << i;
}

// Each kind's peak threshold, just below, at and just above, with the figure the kind
// ranks by: a change of the comparison, the threshold or the metric fails a row here.
TEST(ResourceAnalysisRules, PeakThresholdsOfEveryKindBelowAtAndAbove) {
    Localizer::shared().apply("en");
    struct Case {
        AnalysisKind kind;
        ProcInfo process;
        bool listed;
    };
    auto cpu = [](double v) { return proc(1, "p", v); };
    auto mem = [](uint64_t v) { return proc(1, "p", 0, v); };
    auto gpu = [](double v) { return proc(1, "p", 0, 0, v); };
    const Case cases[] = {
        {AnalysisKind::cpu, cpu(7.99), false},
        {AnalysisKind::cpu, cpu(8.0), true},
        {AnalysisKind::cpu, cpu(8.01), true},
        {AnalysisKind::memory, mem(104857599), false},
        {AnalysisKind::memory, mem(104857600), true},
        {AnalysisKind::memory, mem(104857601), true},
        // Disk ranks by read + write: each half alone stays below.
        {AnalysisKind::disk, disk(1, 102399, 0), false},
        {AnalysisKind::disk, disk(1, 51200, 51199), false},
        {AnalysisKind::disk, disk(1, 51200, 51200), true},
        {AnalysisKind::disk, disk(1, 0, 102400), true},
        {AnalysisKind::disk, disk(1, 102401, 0), true},
        // Memory and disk figures do not count for CPU, nor CPU for them.
        {AnalysisKind::cpu, mem(1ull << 40), false},
        {AnalysisKind::memory, cpu(500), false},
        {AnalysisKind::disk, cpu(500), false},
        // No GPU figure reaches the GPU threshold.
        {AnalysisKind::gpu, gpu(100), false},
    };
    for (const Case& c : cases) {
        Machine m;
        m.history = {snap(0, {c.process})};
        EXPECT_EQ(ResourceAnalysis(c.kind).peakRows(m.inputs()).size(), c.listed ? 1u : 0u)
            << rawValue(c.kind).toStdString() << " cpu " << c.process.cpu << " mem " << c.process.memBytes
            << " disk " << c.process.diskReadBps << "+" << c.process.diskWriteBps;
    }
}

// The network kind ranks the monitor's records by in + out, 20480 B/s to enter the peak
// list, and marks a row active by the monitor's latest list, not the engine's.
TEST(ResourceAnalysisRules, NetworkThresholdAndNowRule) {
    struct Case {
        double in, out;
        bool listed;
    };
    const Case cases[] = {{20479, 0, false}, {0, 20479, false}, {10240, 10239, false},
                          {10240, 10240, true}, {20480, 0, true},  {0, 20481, true}};
    for (const Case& c : cases) {
        Machine m;
        m.net = {{at(990), {{1, "n", c.in, c.out}}}};
        EXPECT_EQ(ResourceAnalysis(AnalysisKind::network).peakRows(m.inputs()).size(), c.listed ? 1u : 0u)
            << c.in << "+" << c.out;
    }

    struct Now {
        double in, out;
        bool active;
    };
    const Now nows[] = {{20479, 0, false}, {10240, 10240, true}, {0, 30000, true}};
    for (const Now& n : nows) {
        Machine m;
        m.net = {{at(990), {{1, "n", 50000, 0}}}};
        m.netNow = {{1, "n", n.in, n.out}};
        m.current = snap(1000, {proc(1, "n", 99)});  // the engine's figures do not decide
        const auto rows = ResourceAnalysis(AnalysisKind::network).peakRows(m.inputs());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].active, n.active) << n.in << "+" << n.out;
    }
}

// "Still busy now" follows the threshold and the process's identity: a reused pid is not
// the process that made the peak.
TEST(ResourceAnalysisRules, ActiveNowAtTheThresholdAndOnlyForTheSameProcess) {
    struct Case {
        double cpuNow;
        uint64_t startNow;
        bool active;
    };
    const Case cases[] = {{7.99, 10, false}, {8.0, 10, true}, {50, 10, true}, {50, 11, false}};
    for (const Case& c : cases) {
        Machine m;
        m.history = {snap(0, {proc(1, "p", 60)})};
        ProcInfo now = proc(1, "p", c.cpuNow);
        now.startTime = c.startNow;
        m.current = snap(1, {now});
        const auto rows = ResourceAnalysis(AnalysisKind::cpu).peakRows(m.inputs());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].active, c.active) << c.cpuNow << " start " << c.startNow;
    }
}

// Ties: the earlier moment keeps a peak; equal values keep the order they appeared in; the
// nearest moment's tie goes to the earlier one. Strictly greater replaces.
TEST(ResourceAnalysisRules, TiesKeepTheEarlierAndStrictlyGreaterReplaces) {
    Localizer::shared().apply("en");
    struct Case {
        AnalysisKind kind;
        ProcInfo first, second;
        QString value;
    };
    const Case cases[] = {
        {AnalysisKind::cpu, proc(1, "p", 50), proc(1, "p", 50), "50%, 16 min ago"},
        {AnalysisKind::cpu, proc(1, "p", 50), proc(1, "p", 50.75), "51%, 6 min ago"},
        {AnalysisKind::cpu, proc(1, "p", 50.75), proc(1, "p", 50), "51%, 16 min ago"},
        {AnalysisKind::memory, proc(1, "p", 0, 200 << 20), proc(1, "p", 0, 200 << 20), "200 MB, 16 min ago"},
        {AnalysisKind::memory, proc(1, "p", 0, 200 << 20), proc(1, "p", 0, (200 << 20) + 1), "200 MB, 6 min ago"},
        {AnalysisKind::disk, disk(1, 200000, 0), disk(1, 0, 200000), "↓195 KB/s ↑0 B/s, 16 min ago"},
        {AnalysisKind::disk, disk(1, 200000, 0), disk(1, 0, 200001), "↓0 B/s ↑195 KB/s, 6 min ago"},
    };
    for (const Case& c : cases) {
        Machine m;
        m.history = {snap(0, {c.first}), snap(600, {c.second})};
        const auto rows = ResourceAnalysis(c.kind).peakRows(m.inputs());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].value, c.value) << rawValue(c.kind).toStdString();
    }

    // Equal values at one moment keep the order they were listed in, in both modes.
    Machine m;
    m.history = {snap(0, {proc(3, "c", 20), proc(1, "a", 20), proc(2, "b", 20)})};
    ResourceAnalysis cpu(AnalysisKind::cpu);
    EXPECT_EQ(pidsOf(cpu.peakRows(m.inputs())), (std::vector<int32_t>{3, 1, 2}));
    EXPECT_EQ(pidsOf(cpu.instantRows(m.inputs(), at(0))), (std::vector<int32_t>{3, 1, 2}));
}

// Every colour band of the two banded kinds, below, at and above each edge.
TEST(ResourceAnalysisRules, ColourBandsAtEachEdge) {
    struct Case {
        AnalysisKind kind;
        double v;
        QColor colour;
    };
    const Case cases[] = {
        {AnalysisKind::cpu, 0, SystemColor::green()},       {AnalysisKind::cpu, 34.99, SystemColor::green()},
        {AnalysisKind::cpu, 35, SystemColor::yellow()},     {AnalysisKind::cpu, 35.01, SystemColor::yellow()},
        {AnalysisKind::cpu, 49.99, SystemColor::yellow()},  {AnalysisKind::cpu, 50, SystemColor::orange()},
        {AnalysisKind::cpu, 50.01, SystemColor::orange()},  {AnalysisKind::cpu, 99.99, SystemColor::orange()},
        {AnalysisKind::cpu, 100, SystemColor::red()},       {AnalysisKind::cpu, 400, SystemColor::red()},
        {AnalysisKind::gpu, 27.99, SystemColor::green()},   {AnalysisKind::gpu, 28, SystemColor::yellow()},
        {AnalysisKind::gpu, 28.01, SystemColor::yellow()},  {AnalysisKind::gpu, 39.99, SystemColor::yellow()},
        {AnalysisKind::gpu, 40, SystemColor::orange()},     {AnalysisKind::gpu, 40.01, SystemColor::orange()},
        {AnalysisKind::gpu, 89.99, SystemColor::orange()},  {AnalysisKind::gpu, 90, SystemColor::red()},
        {AnalysisKind::gpu, 90.01, SystemColor::red()},     {AnalysisKind::memory, 0, SystemColor::teal()},
        {AnalysisKind::memory, 1e12, SystemColor::teal()},  {AnalysisKind::disk, 1e9, SystemColor::purple()},
        {AnalysisKind::network, 1e9, SystemColor::green()}, {AnalysisKind::network, 0, SystemColor::green()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rowColor(c.kind, c.v), c.colour) << rawValue(c.kind).toStdString() << " " << c.v;

    // A row takes the colour of its own value.
    Machine m;
    m.history = {snap(0, {proc(1, "hot", 100), proc(2, "warm", 50), proc(3, "mild", 35), proc(4, "cool", 34)})};
    const auto rows = ResourceAnalysis(AnalysisKind::cpu).instantRows(m.inputs(), at(0));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].color, SystemColor::red());
    EXPECT_EQ(rows[1].color, SystemColor::orange());
    EXPECT_EQ(rows[2].color, SystemColor::yellow());
    EXPECT_EQ(rows[3].color, SystemColor::green());
}

// Instant lists of every kind: the kind's metric, above 0 only, its labels, and bars as long
// as the labels say (a value shown as "0%" has no bar).
TEST(ResourceAnalysisRules, InstantListsOfEveryKind) {
    Localizer::shared().apply("en");
    Machine m;
    ProcInfo a = proc(1, "a", 0.4, 300 << 20, 0.2);
    a.diskReadBps = 1024;
    ProcInfo b = proc(2, "b", 0.2, 100 << 20, 0);
    b.diskWriteBps = 4096;
    ProcInfo c = proc(3, "c", 0, 0, 0.4);
    m.history = {snap(0, {a, b, c})};
    struct Case {
        AnalysisKind kind;
        std::vector<int32_t> pids;
        std::vector<QString> values;
        std::vector<double> fractions;
    };
    const Case cases[] = {
        {AnalysisKind::cpu, {1, 2}, {"0%", "0%"}, {0, 0}},
        {AnalysisKind::gpu, {3, 1}, {"0%", "0%"}, {0, 0}},
        {AnalysisKind::memory, {1, 2}, {"300 MB", "100 MB"}, {1, 1.0 / 3}},
        {AnalysisKind::disk, {2, 1}, {"↓0 B/s ↑4.0 KB/s", "↓1.0 KB/s ↑0 B/s"}, {1, 0.25}},
    };
    for (const Case& k : cases) {
        const auto rows = ResourceAnalysis(k.kind).instantRows(m.inputs(), at(0));
        EXPECT_EQ(pidsOf(rows), k.pids) << rawValue(k.kind).toStdString();
        for (size_t i = 0; i < rows.size() && i < k.values.size(); ++i) {
            EXPECT_EQ(rows[i].value, k.values[i]) << rawValue(k.kind).toStdString() << i;
            EXPECT_NEAR(rows[i].fraction, k.fractions[i], 1e-6) << rawValue(k.kind).toStdString() << i;
        }
    }
    // Shown as 1% and 2%: half a bar, as the labels say.
    m.history = {snap(0, {proc(1, "a", 1.6), proc(2, "b", 0.6)})};
    const auto rows = ResourceAnalysis(AnalysisKind::cpu).instantRows(m.inputs(), at(0));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].value, "1%");
    EXPECT_DOUBLE_EQ(rows[1].fraction, 0.5);
}

// Children that ended between two samples are their parent's "+ children" row in the CPU
// lists, ranked on their own; other kinds do not list them.
TEST(ResourceAnalysisRules, EndedChildrenRankAsTheirParentsChildrenRow) {
    Localizer::shared().apply("en");
    Machine m;
    ProcInfo make = proc(50, "make", 2);
    make.childrenCpu = 90;
    m.history = {snap(0, {make, proc(51, "cc1", 40, 200 << 20)})};
    m.current = snap(1, {make});
    const auto peaks = ResourceAnalysis(AnalysisKind::cpu).peakRows(m.inputs());
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[0].name, "make + children");
    EXPECT_TRUE(peaks[0].children);
    EXPECT_TRUE(peaks[0].active) << "its children still use that much now";
    EXPECT_EQ(peaks[1].pid, 51);
    const auto instant = ResourceAnalysis(AnalysisKind::cpu).instantRows(m.inputs(), at(0));
    EXPECT_EQ(instant.size(), 3u) << "children, cc1, and make's own 2 %";
    EXPECT_EQ(instant[0].key(), (AnalysisRowKey{50, 500, true}));
    EXPECT_EQ(pidsOf(ResourceAnalysis(AnalysisKind::memory).peakRows(m.inputs())), std::vector<int32_t>{51});

    // Dismissing the children row leaves the parent's own row alone.
    ResourceAnalysis cpu(AnalysisKind::cpu);
    cpu.dismiss(peaks[0].key());
    m.history.push_back(snap(2, {proc(50, "make", 30)}));
    EXPECT_EQ(pidsOf(cpu.peakRows(m.inputs())), (std::vector<int32_t>{51, 50}));
}
