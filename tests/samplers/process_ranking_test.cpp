#include "samplers/process_ranking.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

ProcInfo cpuProc(int32_t pid, double cpu, QString name = {}) {
    return {.pid = pid, .name = name.isEmpty() ? QStringLiteral("p%1").arg(pid) : name, .cpu = cpu};
}

ProcInfo scored(int32_t pid, double score) {
    return {.pid = pid, .name = {}, .stableScore = score};
}

std::vector<int32_t> pids(const std::vector<ProcInfo>& rows) {
    std::vector<int32_t> out;
    for (const ProcInfo& r : rows)
        out.push_back(r.pid);
    return out;
}

// A table whose previous stabilised order is `order` (first = position 0).
ProcessTable tableWithPreviousOrder(const std::vector<int32_t>& order) {
    ProcessTable table;
    std::vector<ProcInfo> procs;
    for (size_t i = 0; i < order.size(); ++i)
        procs.push_back(cpuProc(order[i], 1000.0 - 100.0 * i));
    table.tick(procs);
    table.recompute(procs, {});
    return table;
}

}  // namespace

TEST(ProcSortKey, RawValuesAreTheColumnLabels) {
    for (ProcSortKey k : allProcSortKeys())
        EXPECT_EQ(procSortKeyFromRaw(rawValue(k)), k);
    EXPECT_EQ(rawValue(ProcSortKey::mem), "메모리");
    EXPECT_EQ(rawValue(ProcSortKey::name), "이름");
    EXPECT_FALSE(procSortKeyFromRaw("Memory").has_value());
    EXPECT_FALSE(procSortKeyFromRaw("cpu").has_value());
    EXPECT_TRUE(rankStabilized(ProcSortKey::energy));
    EXPECT_FALSE(rankStabilized(ProcSortKey::mem));
    EXPECT_FALSE(rankStabilized(ProcSortKey::name));
    EXPECT_FALSE(rankStabilized(ProcSortKey::pid));
}

TEST(ProcessRanker, NewProcessStartsAtAQuarterAndClimbs) {
    ProcessRanker ranker;
    ranker.tick({cpuProc(1, 40)});
    const auto s = ranker.scores(1, ProcSortKey::cpu);
    ASSERT_TRUE(s.has_value());
    EXPECT_DOUBLE_EQ(s->ema, 10);
    EXPECT_DOUBLE_EQ(s->peak, 10);
    EXPECT_DOUBLE_EQ(s->smooth, 10);

    ranker.tick({cpuProc(1, 40)});
    const auto t = ranker.scores(1, ProcSortKey::cpu);
    EXPECT_DOUBLE_EQ(t->ema, 13);        // 10 % of the gap
    EXPECT_DOUBLE_EQ(t->peak, 40);       // the decayed 9.5 is below 40
    EXPECT_DOUBLE_EQ(t->smooth, 11.26);  // 10 + (0.8·13 + 0.2·40 − 10) · 0.15

    double last = t->smooth;
    for (int i = 0; i < 200; ++i) {
        ranker.tick({cpuProc(1, 40)});
        const double now = ranker.metricScore(1, ProcSortKey::cpu);
        ASSERT_GE(now, last);
        last = now;
    }
    EXPECT_NEAR(last, 40, 0.01);
}

TEST(ProcessRanker, ADroppedPeakOutlastsASteadyModerateLoad) {
    ProcessRanker ranker;
    for (int i = 0; i < 100; ++i)
        ranker.tick({cpuProc(1, 100), cpuProc(2, 30)});
    for (int i = 0; i < 3; ++i)
        ranker.tick({cpuProc(1, 0), cpuProc(2, 30)});
    EXPECT_NEAR(ranker.scores(1, ProcSortKey::cpu)->peak, 100 * 0.95 * 0.95 * 0.95, 1e-9);
    EXPECT_GT(ranker.metricScore(1, ProcSortKey::cpu), ranker.metricScore(2, ProcSortKey::cpu));
    for (int i = 0; i < 100; ++i)
        ranker.tick({cpuProc(1, 0), cpuProc(2, 30)});
    EXPECT_LT(ranker.metricScore(1, ProcSortKey::cpu), ranker.metricScore(2, ProcSortKey::cpu));
}

TEST(ProcessRanker, FourMetricsAndVanishedProcessesStartOver) {
    ProcessRanker ranker;
    ranker.tick({{.pid = 5,
                  .name = "x",
                  .cpu = 4,
                  .diskReadBps = 100,
                  .diskWriteBps = 300,
                  .energyImpact = 8,
                  .gpuPercent = 12}});
    EXPECT_DOUBLE_EQ(ranker.metricScore(5, ProcSortKey::cpu), 1);
    EXPECT_DOUBLE_EQ(ranker.metricScore(5, ProcSortKey::disk), 100) << "read + write";
    EXPECT_DOUBLE_EQ(ranker.metricScore(5, ProcSortKey::energy), 2);
    EXPECT_DOUBLE_EQ(ranker.metricScore(5, ProcSortKey::gpu), 3);
    EXPECT_EQ(ranker.metricScore(5, ProcSortKey::mem), 0);
    EXPECT_EQ(ranker.metricScore(6, ProcSortKey::cpu), 0) << "unknown pid";

    ranker.tick({cpuProc(5, 40)});
    ranker.tick({cpuProc(7, 1)});
    EXPECT_EQ(ranker.size(), 1u) << "only the pids of the last list";
    ranker.tick({cpuProc(5, 40)});
    EXPECT_DOUBLE_EQ(ranker.metricScore(5, ProcSortKey::cpu), 10) << "back from the seed";
}

TEST(ProcessTableSort, BandFollowsTheTopScoreWithAFloorOfOne) {
    // Largest score 0.5: band 0.15, so 0.5 and 0.45 share a bucket (3.33 and 3 round to 3)
    // and keep their previous order, while 0.2 (bucket 1) falls behind.
    ProcessTable small = tableWithPreviousOrder({2, 1, 3});
    std::vector<ProcInfo> rows = {scored(1, 0.5), scored(2, 0.45), scored(3, 0.2)};
    small.sortRows(rows, {});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{2, 1, 3}));

    // Largest score 200: band 30; 41 and 44 share bucket 1 and keep the previous order.
    ProcessTable big = tableWithPreviousOrder({9, 4, 5});
    rows = {scored(5, 44), scored(4, 41), scored(9, 200)};
    big.sortRows(rows, {});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{9, 4, 5}));

    ProcessTable fresh;
    rows = {scored(4, 41), scored(5, 44), scored(9, 200)};
    fresh.sortRows(rows, {});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{9, 5, 4}))
        << "without a previous order the raw score decides";
}

TEST(ProcessTableSort, NeverRankedRowsFollowRankedOnesInTheirBucket) {
    ProcessTable table = tableWithPreviousOrder({9, 8});
    std::vector<ProcInfo> rows = {scored(3, 44), scored(8, 41), scored(9, 200)};
    table.sortRows(rows, {});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{9, 8, 3}));
    table.sortRows(rows, {.ascending = true});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{8, 3, 9})) << "the previous order wins in either direction";
}

TEST(ProcessTableSort, DirectionOrdersBucketsAndRawScores) {
    ProcessTable table;
    std::vector<ProcInfo> rows = {scored(1, 10), scored(2, 100), scored(3, 50), scored(4, 50.5)};
    table.sortRows(rows, {.ascending = true});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{1, 3, 4, 2}));
    table.sortRows(rows, {.ascending = false});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{2, 4, 3, 1}));
}

TEST(ProcessTableSort, RealTimeOrderByTheColumn) {
    ProcessTable table;
    std::vector<ProcInfo> rows = {{.pid = 1, .name = "b", .memBytes = 300},
                                  {.pid = 2, .name = "A", .memBytes = 100},
                                  {.pid = 3, .name = "c", .memBytes = 300},
                                  {.pid = 4, .name = QString::fromUcs4(U"\U0001F600"), .memBytes = 200},
                                  {.pid = 5, .name = QStringLiteral("\uFFFD"), .memBytes = 0}};
    table.sortRows(rows, {.key = ProcSortKey::mem});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{1, 3, 4, 2, 5})) << "equal sizes keep their order";
    table.sortRows(rows, {.key = ProcSortKey::name, .ascending = true});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{2, 1, 3, 5, 4}))
        << "lower-cased, in scalar order: U+FFFD before U+1F600";
    table.sortRows(rows, {.key = ProcSortKey::pid, .ascending = false});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{5, 4, 3, 2, 1}));
}

TEST(ProcessTableSort, NonFiniteScoresDoNotBreakTheOrder) {
    ProcessTable table;
    std::vector<ProcInfo> rows;
    for (int i = 0; i < 100; ++i)
        rows.push_back(scored(i, i % 3 == 0 ? std::nan("") : i));
    table.sortRows(rows, {});
    EXPECT_EQ(rows.size(), 100u);
    EXPECT_EQ(rows.front().pid, 98);
}

TEST(ProcessTableRecompute, CumulativeScoresSearchAndPreviousRanks) {
    ProcessTable table;
    const std::vector<ProcInfo> procs = {cpuProc(1, 40, "Firefox"), cpuProc(2, 80, "bash"),
                                         cpuProc(3, 20, "firefox-bin")};
    table.tick(procs);
    std::vector<ProcInfo> rows = table.recompute(procs, {.search = "FIRE"});
    ASSERT_EQ(pids(rows), (std::vector<int32_t>{1, 3}));
    EXPECT_DOUBLE_EQ(rows[0].stableScore, 10);
    EXPECT_DOUBLE_EQ(rows[1].stableScore, 5);
    EXPECT_EQ(table.prevRank(), (std::unordered_map<int32_t, int>{{1, 0}, {3, 1}}));

    rows = table.recompute(procs, {.key = ProcSortKey::mem});
    EXPECT_EQ(rows[0].stableScore, 0) << "real-time keys leave the score as delivered";
    EXPECT_EQ(table.prevRank().size(), 2u) << "only a stabilised sort refreshes the previous ranks";

    rows = table.recompute(procs, {.cumulativeRank = false});
    EXPECT_EQ(pids(rows), (std::vector<int32_t>{2, 1, 3}));
    EXPECT_EQ(rows[0].stableScore, 0);
}

TEST(ProcessTableRecompute, GroupsByNameWithACountLabel) {
    ProcessTable table;
    std::vector<ProcInfo> procs = {
        {.pid = 10, .name = "helper", .cpu = 1, .memBytes = 100, .diskReadBps = 1, .isSystem = true},
        {.pid = 11, .name = "solo", .cpu = 50, .memBytes = 5},
        {.pid = 12, .name = "helper", .cpu = 2, .memBytes = 200, .diskWriteBps = 2, .gpuPercent = 3},
        {.pid = 13, .name = "helper", .cpu = 3, .memBytes = 300, .energyImpact = 4, .isSystem = true},
        {.pid = 14, .name = "Helper", .cpu = 0.5}};
    const std::vector<ProcInfo> rows = table.recompute(procs, {.cumulativeRank = false, .groupByName = true});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "solo");
    EXPECT_EQ(rows[1], (ProcInfo{.pid = 10,
                                 .name = "helper  (3)",
                                 .cpu = 6,
                                 .memBytes = 600,
                                 .diskReadBps = 1,
                                 .diskWriteBps = 2,
                                 .energyImpact = 4,
                                 .gpuPercent = 3,
                                 .isSystem = false}));
    EXPECT_EQ(rows[2].name, "Helper") << "grouping is by the exact name";
}

TEST(ProcessTableRecompute, CapsAt250RowsButRanksThemAll) {
    ProcessTable table;
    std::vector<ProcInfo> procs;
    for (int i = 1; i <= 300; ++i)
        procs.push_back(cpuProc(i, i));
    table.tick(procs);
    const std::vector<ProcInfo> rows = table.recompute(procs, {});
    ASSERT_EQ(rows.size(), 250u);
    EXPECT_EQ(rows.front().pid, 300);
    EXPECT_EQ(table.prevRank().size(), 300u);
}
