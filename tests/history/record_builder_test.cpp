#include "history/record_builder.h"

#include <gtest/gtest.h>

#include <map>

namespace velmora::history {
namespace {

using namespace std::chrono_literals;
using Mono = RecordBuilder::Mono;

const Clock::time_point kT0 = Clock::time_point(std::chrono::hours(24 * 20000));
const Mono kM0 = Mono(std::chrono::hours(1000));

Snapshot snap(Millis at, double cpu, std::vector<ProcInfo> procs = {}, bool measured = true) {
    Snapshot s;
    s.time = kT0 + at;
    s.cpuTotal = cpu;
    s.diskWriteBps = cpu * 10;
    s.processes = std::move(procs);
    s.processesMeasured = measured;
    return s;
}

ProcInfo proc(int32_t pid, uint64_t start, double cpu, uint64_t mem = 0) {
    ProcInfo p;
    p.pid = pid;
    p.startTime = start;
    p.name = QStringLiteral("p%1").arg(pid);
    p.cpu = cpu;
    p.memBytes = mem;
    return p;
}

// Feeds snapshots at the given wall offsets, arriving by the steady clock at `mono` offsets.
std::vector<Record> feed(RecordBuilder& b, const std::vector<std::pair<Snapshot, Millis>>& stream) {
    std::vector<Record> out;
    for (const auto& [s, mono] : stream)
        if (auto r = b.add(s, kM0 + mono)) out.push_back(*r);
    return out;
}

std::vector<std::pair<Millis, Millis>> spans(const std::vector<Record>& rs) {
    std::vector<std::pair<Millis, Millis>> out;
    for (const Record& r : rs)
        out.emplace_back(std::chrono::duration_cast<Millis>(r.start - kT0), std::chrono::duration_cast<Millis>(r.end - kT0));
    return out;
}

TEST(RecordBuilder, SteadyTicksMakeSeamlessRecordsOfTheCadence) {
    RecordBuilder b(10s);
    std::vector<std::pair<Snapshot, Millis>> stream;
    for (int i = 0; i <= 10; ++i) stream.push_back({snap(i * 2s, i * 10.0, {proc(1, 7, i)}), i * 2s});
    const auto rs = feed(b, stream);
    ASSERT_EQ(spans(rs), (std::vector<std::pair<Millis, Millis>>{{0s, 10s}, {10s, 20s}}));
    // The first snapshot only marks the start: the first record holds ticks 1 to 5.
    EXPECT_DOUBLE_EQ(rs[0].stat(Series::cpuPercent).peak, 50);
    EXPECT_DOUBLE_EQ(rs[0].stat(Series::cpuPercent).mean, 30);
    EXPECT_DOUBLE_EQ(rs[0].stat(Series::diskWriteBps).peak, 500);
    ASSERT_EQ(rs[0].processes.size(), 1u);
    EXPECT_FLOAT_EQ(rs[0].processes[0].value(Metric::cpu), 5);  // the largest over the span
    EXPECT_TRUE(rs[0].processesKnown);
}

TEST(RecordBuilder, WaitsForAProcessSampleButNotBeyondTwoCadences) {
    RecordBuilder b(10s);
    std::vector<std::pair<Snapshot, Millis>> stream;
    // Processes measured at 12 s only; nothing measured after it.
    for (int i = 0; i <= 16; ++i) {
        const bool measured = i == 6;
        stream.push_back({snap(i * 2s, 1, measured ? std::vector<ProcInfo>{proc(3, 1, 40)} : std::vector<ProcInfo>{}, measured), i * 2s});
    }
    const auto rs = feed(b, stream);
    // The first record reaches its cadence at 10 s but waits for the sample at 12 s; the
    // second gets none and closes at twice the cadence.
    ASSERT_EQ(spans(rs), (std::vector<std::pair<Millis, Millis>>{{0s, 12s}, {12s, 32s}}));
    EXPECT_TRUE(rs[0].processesKnown);
    EXPECT_FALSE(rs[1].processesKnown);
    EXPECT_TRUE(rs[1].processes.empty());
}

TEST(RecordBuilder, DiscontinuitiesEndTheRecordAtTheLastSnapshot) {
    struct Case {
        const char* what;
        Millis wallStep, monoStep;
        bool cut;
    };
    const Case cases[] = {
        {"a regular tick", 2s, 2s, false},
        {"the clock stepped back", -1s, 2s, true},
        {"the same time stamp again", 0s, 2s, true},
        {"slept five minutes", 300s, 2s, true},
        {"wall ahead of the steady clock by the slack", 7s, 2s, false},
        {"wall ahead by 1 ms more than the slack", 7001ms, 2s, true},
        {"a silence of a minute", 60s, 60s, false},
        {"a silence of a minute and 1 ms", 60001ms, 60001ms, true},
    };
    for (const Case& c : cases) {
        RecordBuilder b(100s);  // longer than the test, so only a discontinuity ends a record
        feed(b, {{snap(0s, 1), 0s}, {snap(2s, 2), 2s}, {snap(4s, 3), 4s}});
        const auto rs = feed(b, {{snap(4s + c.wallStep, 9), 4s + c.monoStep}});
        if (!c.cut) {
            EXPECT_TRUE(rs.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(rs.size(), 1u) << c.what;
        EXPECT_EQ(spans(rs)[0], (std::pair<Millis, Millis>{0s, 4s})) << c.what;
        EXPECT_DOUBLE_EQ(rs[0].stat(Series::cpuPercent).peak, 3) << c.what;
        // The snapshot after the cut starts the next record; the one after it fills it.
        const auto next = feed(b, {{snap(4s + c.wallStep + 2s, 5), 4s + c.monoStep + 2s}});
        EXPECT_TRUE(next.empty()) << c.what;
        const auto last = b.flush();
        ASSERT_TRUE(last) << c.what;
        EXPECT_EQ(last->start, kT0 + 4s + c.wallStep) << c.what;
        EXPECT_GT(last->end, last->start) << c.what;
    }
}

TEST(RecordBuilder, AProcessIsItsPidAndStartTime) {
    RecordBuilder b(10s);
    const auto rs = feed(b, {{snap(0s, 1), 0s},
                             {snap(5s, 1, {proc(10, 100, 30, 500), proc(11, 5, 1)}), 5s},
                             // pid 10 reused by a new process; the old one's memory grew before it ended
                             {snap(10s, 1, {proc(10, 200, 60)}), 10s}});
    ASSERT_EQ(rs.size(), 1u);
    std::vector<std::pair<int32_t, uint64_t>> ids;
    for (const auto& p : rs[0].processes) ids.emplace_back(p.pid, p.startTime);
    EXPECT_EQ(ids, (std::vector<std::pair<int32_t, uint64_t>>{{10, 200}, {10, 100}, {11, 5}}));
    EXPECT_FLOAT_EQ(rs[0].processes[1].value(Metric::memory), 500);
}

TEST(RecordBuilder, ChildrenThatEndedBetweenReadsAreChargedToTheirParent) {
    RecordBuilder b(10s);
    ProcInfo make = proc(50, 1, 2);
    make.childrenCpu = 88;  // compilers that came and went between two reads
    const auto rs = feed(b, {{snap(0s, 1), 0s}, {snap(10s, 1, {make, proc(51, 1, 60)}), 10s}});
    ASSERT_EQ(rs.size(), 1u);
    ASSERT_FALSE(rs[0].processes.empty());
    EXPECT_EQ(rs[0].processes[0].pid, 50);
    EXPECT_FLOAT_EQ(rs[0].processes[0].value(Metric::cpu), 90);
}

TEST(RecordBuilder, FlushEndsTheRecordAndClaimsNothingAfterIt) {
    RecordBuilder b(100s);
    feed(b, {{snap(0s, 1), 0s}, {snap(2s, 4), 2s}});
    const auto r = b.flush();
    ASSERT_TRUE(r);
    EXPECT_EQ(spans({*r})[0], (std::pair<Millis, Millis>{0s, 2s}));
    EXPECT_FALSE(b.flush());
    // Fed again 10 s later: the pause is not covered.
    feed(b, {{snap(12s, 1), 12s}, {snap(14s, 1), 14s}});
    const auto again = b.flush();
    ASSERT_TRUE(again);
    EXPECT_EQ(spans({*again})[0], (std::pair<Millis, Millis>{12s, 14s}));
}

// What a network window measured joins the open record: each process keeps its largest
// traffic, known by the start stamp the snapshot lends it; nothing is guessed or invented.
TEST(RecordBuilder, NetworkMeasurementsJoinTheOpenRecordByIdentity) {
    const auto net = [](int32_t pid, double in, double out) {
        ProcNet n;
        n.pid = pid;
        n.name = QStringLiteral("net%1").arg(pid);
        n.inBps = in;
        n.outBps = out;
        return n;
    };
    RecordBuilder b(10s);
    // Before any record is open there is nowhere to put it.
    b.noteNetwork({net(1, 500, 0)}, snap(0s, 5, {proc(1, 7, 1)}));
    ASSERT_FALSE(b.add(snap(0s, 5, {proc(1, 7, 1), proc(2, 8, 1)}), kM0 + 0s));
    const Snapshot now = snap(2s, 5, {proc(1, 7, 1), proc(2, 8, 1), proc(3, 9, 1)});
    ASSERT_FALSE(b.add(now, kM0 + 2s));
    b.noteNetwork({net(1, 100, 50), net(2, 0, 0), net(4, 900, 0)}, now);
    b.noteNetwork({net(1, 60, 40), net(3, 10, 0)}, now);
    // The pid is taken by a new process: its traffic is its own, not the old one's.
    const Snapshot reused = snap(4s, 5, {proc(1, 70, 1), proc(2, 8, 1), proc(3, 9, 1)});
    ASSERT_FALSE(b.add(reused, kM0 + 4s));
    b.noteNetwork({net(1, 30, 0)}, reused);
    ASSERT_FALSE(b.add(snap(6s, 5, {proc(1, 70, 1)}), kM0 + 6s));
    const auto r = b.flush();
    ASSERT_TRUE(r);
    std::map<std::pair<int32_t, uint64_t>, float> traffic;
    for (const ProcessEntry& e : r->processes)
        if (e.value(Metric::network) > 0) traffic[{e.pid, e.startTime}] = e.value(Metric::network);
    // 150 (the larger of 150 and 100) for the first process under pid 1, 30 for the one that
    // reused it; pid 2 sent nothing; pid 4 is not in the snapshot; the note before any record
    // counts for nothing.
    EXPECT_EQ(traffic, (std::map<std::pair<int32_t, uint64_t>, float>{{{1, 7}, 150.f}, {{1, 70}, 30.f}, {{3, 9}, 10.f}}));
    for (const ProcessEntry& e : r->processes)
        if (e.pid == 1 && e.startTime == 7) EXPECT_EQ(e.name, QStringLiteral("p1"));  // the snapshot's name
}

}  // namespace
}  // namespace velmora::history
