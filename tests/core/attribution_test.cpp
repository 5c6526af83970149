#include "core/attribution.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace velmora;

namespace {

const TimePoint t0 = TimePoint{} + std::chrono::hours(24 * 365 * 50);

TimePoint at(int seconds) {
    return t0 + std::chrono::seconds(seconds);
}

ProcInfo proc(int32_t pid, double cpu, uint64_t mem = 0, double disk = 0, double gpu = 0) {
    ProcInfo p;
    p.pid = pid;
    p.startTime = static_cast<uint64_t>(pid) + 1000;
    p.name = QStringLiteral("p%1").arg(pid);
    p.cpu = cpu;
    p.memBytes = mem;
    p.diskWriteBps = disk;
    p.gpuPercent = gpu;
    return p;
}

Snapshot snap(int second, std::vector<ProcInfo> procs, bool measured = true) {
    Snapshot s;
    s.time = at(second);
    s.processes = std::move(procs);
    s.processesMeasured = measured;
    return s;
}

std::vector<int32_t> pids(const ProcMoment& m) {
    std::vector<int32_t> out;
    for (const ProcShare& s : m.shares)
        out.push_back(s.pid);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

// Each metric keeps its 40 heaviest above 0; a process heavy in one metric keeps all its
// figures; the rest are left out.
TEST(AttributionLog, KeepsTheHeaviestOfEachMetricWithAllTheirFigures) {
    std::vector<ProcInfo> procs;
    for (int i = 0; i < 100; ++i)
        procs.push_back(proc(i + 1, /*cpu*/ i < 50 ? 50 - i : 0, /*mem*/ static_cast<uint64_t>(i) << 20));
    procs.push_back(proc(500, 0, 0, /*disk*/ 10));
    procs.push_back(proc(501, 0, 0, 0, /*gpu*/ 3));
    AttributionLog log;
    log.add(snap(0, procs));
    ASSERT_EQ(log.moments().size(), 1u);
    const auto kept = pids(log.moments()[0]);
    // CPU: pids 1-40 (50 down to 11 %); memory: pids 61-100; disk 500; GPU 501.
    EXPECT_EQ(kept.size(), 82u);
    struct Case {
        int32_t pid;
        bool kept;
    };
    const Case cases[] = {{1, true}, {40, true}, {41, false}, {50, false}, {60, false}, {61, true},
                          {100, true}, {500, true}, {501, true}};
    for (const Case& c : cases)
        EXPECT_EQ(std::binary_search(kept.begin(), kept.end(), c.pid), c.kept) << c.pid;
    const auto& shares = log.moments()[0].shares;
    const auto it = std::find_if(shares.begin(), shares.end(), [](const ProcShare& s) { return s.pid == 1; });
    ASSERT_NE(it, shares.end());
    EXPECT_EQ(it->memBytes, 0u);
    EXPECT_FLOAT_EQ(it->cpu, 50);
    EXPECT_EQ(it->startTime, 1001u);
    EXPECT_EQ(log.name({1, 1001}), "p1");
    EXPECT_TRUE(log.name({1, 1002}).isEmpty()) << "another process under the pid";
}

TEST(AttributionLog, ChildrenRowsSnapshotsWithoutProcessesAndTheClock) {
    AttributionLog log;
    ProcInfo make = proc(7, 0);
    make.childrenCpu = 80;
    log.add(snap(0, {make}));
    ASSERT_EQ(log.moments()[0].shares.size(), 1u) << "make itself is at 0 in every metric";
    EXPECT_TRUE(log.moments()[0].shares[0].children);
    EXPECT_FLOAT_EQ(log.moments()[0].shares[0].cpu, 80);

    log.add(snap(1, {proc(8, 10)}, false));
    EXPECT_EQ(log.moments().size(), 1u) << "unmeasured: no moment";
    EXPECT_EQ(log.at(at(1)), nullptr);
    EXPECT_NE(log.at(at(0)), nullptr);

    log.add(snap(2, {proc(8, 10)}));
    log.add(snap(3, {proc(8, 20)}));
    TimePoint when{};
    ASSERT_NE(log.lastShare({8, 1008}, &when), nullptr);
    EXPECT_EQ(when, at(3));
    EXPECT_EQ(log.lastShare({7, 1007}), nullptr) << "a children row is not the process's own";

    // A clock set back: the moments after the new one go.
    log.add(snap(2, {proc(9, 10)}));
    ASSERT_EQ(log.moments().size(), 2u);
    EXPECT_EQ(pids(log.moments().back()), std::vector<int32_t>{9});

    log.trimBefore(at(1));
    ASSERT_EQ(log.moments().size(), 1u);
    EXPECT_TRUE(log.name({7, 1007}).isEmpty()) << "no kept moment names it";
    EXPECT_EQ(log.name({9, 1009}), "p9");
    log.trimBefore(at(100));
    EXPECT_TRUE(log.moments().empty());
    EXPECT_TRUE(log.name({9, 1009}).isEmpty());
}

// Ten minutes at 1 s on a machine of 1 000 processes, all of them busy in every metric so
// that each moment keeps its most: the kept attribution stays within 4 MB.
TEST(AttributionLog, TenMinutesOfAThousandProcessesStayWithinFourMegabytes) {
    AttributionLog log;
    std::vector<ProcInfo> procs;
    for (int i = 0; i < 1000; ++i)
        procs.push_back(proc(i + 1, 1 + (i * 7) % 100, static_cast<uint64_t>((i * 13) % 1000 + 1) << 20,
                             (i * 17) % 1000 + 1, (i * 29) % 100 + 1));
    for (int t = 0; t < 600; ++t) {
        // The heaviest change from tick to tick.
        std::rotate(procs.begin(), procs.begin() + 37, procs.end());
        for (size_t i = 0; i < procs.size(); ++i)
            procs[i].cpu = 1 + static_cast<double>((i * 7 + static_cast<size_t>(t)) % 100);
        log.add(snap(t, procs));
        log.trimBefore(at(t - 600));
    }
    EXPECT_EQ(log.moments().size(), 600u);
    EXPECT_LE(log.bytes(), 4u << 20) << log.bytes();
    RecordProperty("bytes", std::to_string(log.bytes()));
}
