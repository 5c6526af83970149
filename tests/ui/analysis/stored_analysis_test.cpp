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
        e.startTime = static_cast<uint64_t>(f.pid) * 7;
        e.name = QStringLiteral("p%1").arg(f.pid);
        e.values = {f.cpu, f.mem, f.disk, 0, f.gpu};
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
    a.setCombinedDisk(true);
    EXPECT_EQ(a.procLabel(p, 4e6, std::nullopt, at(0)), Format::bps(4e6));
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
