// The analysis of a remembered range ranks by the live rules: the stored records are shaped
// into the live inputs, not ranked by rules of their own.
#include "ui/analysis/analysis_model.h"
#include "ui/common/stored_range.h"

#include "core/format.h"
#include "core/localizer.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const TimePoint t0 = TimePoint{} + std::chrono::hours(24 * 365 * 50);

TimePoint at(double seconds) {
    return t0 + std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
}

struct Figures {
    int32_t pid;
    float cpu = 0;
    float mem = 0;
    float disk = 0;
    float gpu = 0;
    float net = 0;
    uint64_t start = 0;  // 0: seven times the pid
};

// A record of [from, from + 10) whose kept processes have these figures.
history::Record record(double from, std::vector<Figures> procs, bool known = true) {
    history::Record r;
    r.start = at(from);
    r.end = at(from + 10);
    r.processesKnown = known;
    for (const Figures& f : procs) {
        history::ProcessEntry e;
        e.pid = f.pid;
        e.startTime = f.start ? f.start : static_cast<uint64_t>(f.pid) * 7;
        e.name = QStringLiteral("p%1").arg(f.pid);
        e.values = {f.cpu, f.mem, f.disk, f.net, f.gpu};
        r.processes.push_back(e);
    }
    return r;
}

// The same figures as live snapshots at the records' middles.
struct Live {
    std::deque<Snapshot> history;
    AttributionLog log;
    explicit Live(const std::vector<history::Record>& records) {
        for (const history::Record& r : records) {
            Snapshot s;
            s.time = r.start + (r.end - r.start) / 2;
            s.processesMeasured = r.processesKnown;
            for (const history::ProcessEntry& e : r.processes) {
                ProcInfo p;
                p.pid = e.pid;
                p.startTime = e.startTime;
                p.name = e.name;
                p.cpu = e.values[0];
                p.memBytes = static_cast<uint64_t>(e.values[1]);
                p.diskReadBps = e.values[2];
                p.gpuPercent = e.values[4];
                s.processes.push_back(p);
            }
            log.add(s);
            history.push_back(std::move(s));
        }
    }
};

std::vector<int32_t> pidsOf(const std::vector<AnalysisRow>& rows) {
    std::vector<int32_t> out;
    for (const AnalysisRow& r : rows) out.push_back(r.pid);
    return out;
}

const std::deque<NetProcMonitor::Entry> kNoNet;
const std::vector<ProcNet> kNoNetNow;
const Snapshot kNow;

}  // namespace

TEST(StoredAnalysis, ARememberedRangeRanksAsTheLiveHistoryDoes) {
    Localizer::shared().apply("en");
    const std::vector<history::Record> records = {
        record(0, {{1, 50, 300e6f, 2e6f, 0}, {2, 9, 120e6f, 0, 30}, {3, 7.9f, 0, 90e3f, 0}}),
        record(10, {{1, 20, 310e6f, 0, 0}, {2, 60, 100e6f, 500e3f, 10}, {4, 8, 0, 0, 0}}),
        record(20, {}, false),
        record(30, {{5, 8.1f, 50e6f, 102400, 0}, {2, 60, 0, 0, 0}}),
    };
    const StoredRange range = buildStoredRange(records, at(0), at(40));
    const Live live(records);
    const TimePoint now = at(3600 * 3 + 15);
    const AnalysisInputs stored{range.history, range.attribution, kNow, kNoNet, kNoNetNow, now};
    const AnalysisInputs reference{live.history, live.log, kNow, kNoNet, kNoNetNow, now};

    for (const AnalysisKind kind : {AnalysisKind::cpu, AnalysisKind::memory, AnalysisKind::gpu, AnalysisKind::disk}) {
        ResourceAnalysis a(kind);
        EXPECT_EQ(a.peakRows(stored), a.peakRows(reference)) << rawValue(kind).toStdString();
        for (const double t : {0.0, 5.0, 14.0, 16.0, 25.0, 39.0})
            EXPECT_EQ(a.instantRows(stored, at(t)), a.instantRows(reference, at(t))) << t;
        EXPECT_EQ(a.processesKnown(stored, at(25)), false) << "a record without processes is unknown, not idle";
        EXPECT_EQ(a.unknownSpans(stored), a.unknownSpans(reference));
    }

    // The rules themselves, seen through the stored range: the CPU threshold of 8 % lets 8 and
    // 8.1 in and keeps 7.9 out; a tie of peaks keeps the earlier moment.
    ResourceAnalysis cpu(AnalysisKind::cpu);
    const std::vector<AnalysisRow> peaks = cpu.peakRows(stored);
    EXPECT_EQ(pidsOf(peaks), (std::vector<int32_t>{2, 1, 5, 4}));
    EXPECT_EQ(peaks[0].value, "60%, 3 h ago") << "pid 2 peaked at 60 % twice: the earlier counts";
    EXPECT_EQ(pidsOf(cpu.instantRows(stored, at(4))), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(pidsOf(cpu.instantRows(stored, at(16))), (std::vector<int32_t>{2, 1, 4}));
}

TEST(StoredAnalysis, DiskReadsAsOneFigureWhereOnlyTheSumIsKept) {
    Localizer::shared().apply("en");
    ResourceAnalysis a(AnalysisKind::disk);
    ProcShare p;
    p.diskReadBps = 3e6f;
    p.diskWriteBps = 1e6f;
    EXPECT_EQ(a.procLabel(p, 4e6, std::nullopt, at(0)), QStringLiteral("↓") + Format::bps(3e6) + " ↑" + Format::bps(1e6));
    a.setCombinedRates(true);
    EXPECT_EQ(a.procLabel(p, 4e6, std::nullopt, at(0)), Format::bps(4e6));
}

// Network use is remembered only where a network window measured it: those records rank by
// the live rules (threshold, one row per process and start stamp, one figure for in and out);
// elsewhere the moment is unknown, never "no notable load".
TEST(StoredAnalysis, RememberedNetworkRanksWhereItWasMeasuredAndIsUnknownElsewhere) {
    Localizer::shared().apply("en");
    const float threshold = 20480;
    const std::vector<history::Record> records = {
        record(0, {{.pid = 1, .net = threshold - 1}, {.pid = 2, .net = threshold}, {.pid = 3, .net = threshold + 1}}),
        record(10, {{.pid = 1, .cpu = 50}}),  // measured processes, but no network measurement
        // The pid 3 of the first record has ended and a new process holds it.
        record(600, {{.pid = 3, .net = 4e6f, .start = 999}, {.pid = 2, .net = 1e5f}}),
    };
    const StoredRange range = buildStoredRange(records, at(0), at(700));
    ASSERT_EQ(range.netHistory.size(), 2u) << "a record that measured no traffic adds no network moment";
    const AnalysisInputs in{range.history, range.attribution, kNow, range.netHistory, kNoNetNow, at(3605)};

    ResourceAnalysis net(AnalysisKind::network);
    net.setCombinedRates(true);
    const std::vector<AnalysisRow> peaks = net.peakRows(in);
    std::vector<std::pair<int32_t, uint64_t>> keys;
    for (const AnalysisRow& r : peaks) keys.emplace_back(r.pid, r.startTime);
    EXPECT_EQ(keys, (std::vector<std::pair<int32_t, uint64_t>>{{3, 999}, {2, 14}, {3, 21}}))
        << "below the threshold left out, at and above it kept; a reused pid is its own row";
    ASSERT_FALSE(peaks.empty());
    EXPECT_EQ(peaks[0].value, Format::bps(4e6) + QStringLiteral(", 50 min ago"));

    // Each measured record answers for moments up to the reach from its middle, and no further.
    const double middle = 605;
    const double reach = std::chrono::duration<double>(ResourceAnalysis::netReach).count();
    for (const auto& [t, known] : std::vector<std::pair<double, bool>>{
             {middle + reach - 1, true}, {middle + reach, true}, {middle + reach + 1, false}}) {
        EXPECT_EQ(net.processesKnown(in, at(t)), known) << t;
        EXPECT_EQ(pidsOf(net.instantRows(in, at(t))).size(), known ? 2u : 0u) << t;
    }
    EXPECT_EQ(pidsOf(net.instantRows(in, at(5))), (std::vector<int32_t>{3, 2, 1}));
    // The record between measured ones is more than the reach from both: unknown, not idle.
    EXPECT_FALSE(net.processesKnown(in, at(300)));
}

TEST(StoredAnalysis, HowLongAgoReachesHoursAndDays) {
    Localizer::shared().apply("en");
    struct Case {
        double seconds;
        const char* text;
    };
    const Case cases[] = {{3599, "59 min ago"}, {3600, "1 h ago"},    {7199, "1 h ago"},
                          {86399, "23 h ago"},  {86400, "1 d ago"},   {6.5 * 86400, "6 d ago"}};
    for (const Case& c : cases) EXPECT_EQ(ResourceAnalysis::agoText(at(0), at(c.seconds)), c.text) << c.seconds;
}
