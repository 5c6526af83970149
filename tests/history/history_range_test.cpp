#include "history/history_range.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace velmora::history {
namespace {

using namespace std::chrono_literals;

const Clock::time_point kT0 = Clock::time_point(std::chrono::hours(24 * 20000));

Record span(Millis from, Millis to, std::vector<ProcessEntry> procs = {}) {
    Record r;
    r.start = kT0 + from;
    r.end = kT0 + to;
    r.processes = std::move(procs);
    return r;
}

ProcessEntry cpuProc(int32_t pid, uint64_t start, float cpu) {
    ProcessEntry p{pid, start, QStringLiteral("p%1").arg(pid), {}, {}};
    p.values[static_cast<int>(Metric::cpu)] = cpu;
    return p;
}

TEST(HistoryGaps, SeamsUpToTheToleranceAreNotGaps) {
    struct Case {
        const char* what;
        std::vector<Record> records;
        Millis from, to;
        std::vector<std::pair<Millis, Millis>> gaps;
    };
    const Case cases[] = {
        {"no records: all of it", {}, 0s, 60s, {{0s, 60s}}},
        {"seam below the tolerance", {span(0s, 10s), span(14s, 20s)}, 0s, 20s, {}},
        {"seam at the tolerance", {span(0s, 10s), span(15s, 20s)}, 0s, 20s, {}},
        {"seam above the tolerance", {span(0s, 10s), span(15001ms, 20s)}, 0s, 20s, {{10s, 15001ms}}},
        {"leading and trailing", {span(30s, 40s)}, 0s, 100s, {{0s, 30s}, {40s, 100s}}},
        {"a record reaching past both ends", {span(-10s, 110s)}, 0s, 100s, {}},
        {"overlapping records", {span(0s, 50s), span(20s, 30s), span(52s, 100s)}, 0s, 100s, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<Millis, Millis>> got;
        for (const Gap& g : gaps(c.records, kT0 + c.from, kT0 + c.to, 5s))
            got.emplace_back(std::chrono::duration_cast<Millis>(g.from - kT0), std::chrono::duration_cast<Millis>(g.to - kT0));
        EXPECT_EQ(got, c.gaps) << c.what;
    }
}

TEST(HistoryCulprits, RanksByPeakWithTiesToTheEarlierMomentThenTheLowerPid) {
    const std::vector<Record> records = {
        span(0s, 10s, {cpuProc(10, 1, 50), cpuProc(20, 1, 70), cpuProc(30, 1, 70)}),
        span(10s, 20s, {cpuProc(10, 1, 70), cpuProc(40, 1, 70.5f)}),
        // pid 20 reused by another process: a separate culprit
        span(20s, 30s, {cpuProc(20, 99, 80), cpuProc(50, 1, 0)}),
    };
    const auto list = culprits(records, Metric::cpu, -1);
    std::vector<std::pair<int32_t, uint64_t>> order;
    for (const Culprit& c : list) order.emplace_back(c.process.pid, c.process.startTime);
    // 80 > 70.5 > 70 (pid 20 at 0 s) = 70 (pid 30 at 0 s, higher pid) > 70 (pid 10, reached at 10 s)
    const std::vector<std::pair<int32_t, uint64_t>> want = {{20, 99}, {40, 1}, {20, 1}, {30, 1}, {10, 1}};
    EXPECT_EQ(order, want);
    EXPECT_EQ(list.back().peakAt, kT0 + 10s);
    EXPECT_EQ(list.back().records, 2);
    EXPECT_EQ(culprits(records, Metric::cpu, 2).size(), 2u);
    EXPECT_TRUE(culprits(records, Metric::disk, 5).empty());  // zero never counts
}

TEST(HistoryCulprits, AnEqualLaterValueKeepsTheFirstMoment) {
    const auto list = culprits({span(0s, 10s, {cpuProc(1, 1, 60)}), span(10s, 20s, {cpuProc(1, 1, 60)}),
                                span(20s, 30s, {cpuProc(1, 1, 60.5f)})},
                               Metric::cpu, 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].peakAt, kT0 + 20s);
    const auto tie = culprits({span(0s, 10s, {cpuProc(1, 1, 60)}), span(10s, 20s, {cpuProc(1, 1, 60)})}, Metric::cpu, 1);
    EXPECT_EQ(tie[0].peakAt, kT0);
}

TEST(HistoryHeaviest, TakesTheTopOfEachMetricOnceWithTiesToTheLowerPid) {
    std::vector<ProcessEntry> all;
    for (int i = 0; i < 6; ++i) all.push_back(cpuProc(100 - i, 1, static_cast<float>(i % 3)));  // values 0,1,2,0,1,2
    const int mem = static_cast<int>(Metric::memory), cpu = static_cast<int>(Metric::cpu);
    all[0].values[mem] = 5;    // pid 100: zero CPU, heaviest memory
    all[1].values[mem] = 1;    // pid 99: second in memory, third in CPU
    all[2].values[mem] = 0.5;  // pid 98: top CPU, third in memory
    const auto top = heaviest(all, 2);
    std::vector<int32_t> pids;
    for (const auto& p : top) pids.push_back(p.pid);
    // CPU: value 2 at pids 98 and 95, the lower first; memory: pids 100 and 99.
    EXPECT_EQ(pids, (std::vector<int32_t>{95, 98, 100, 99}));
    // Each keeps only the figures of the metrics that chose it.
    EXPECT_EQ(top[1].values[cpu], 2);
    EXPECT_EQ(top[1].values[mem], 0);
    EXPECT_EQ(top[3].values[cpu], 0);
    EXPECT_EQ(top[3].values[mem], 1);
    EXPECT_TRUE(heaviest(all, 0).empty());
}

TEST(HistoryArguments, RangesAndMetrics) {
    struct Case {
        const char* text;
        std::optional<Millis> want;
    };
    const Case ranges[] = {
        {"30m", 30min}, {"6h", 6h}, {"7d", 24h * 7}, {"90s", 90s}, {"1s", 1s},
        {"0m", std::nullopt}, {"-1h", std::nullopt}, {"1.5h", std::nullopt}, {"6H", std::nullopt},
        {"h", std::nullopt}, {"", std::nullopt}, {"6 h", std::nullopt}, {"1w", std::nullopt}, {"9999999d", std::nullopt},
    };
    for (const Case& c : ranges) EXPECT_EQ(parseRange(QString::fromUtf8(c.text)), c.want) << c.text;
    for (int m = 0; m < kMetricCount; ++m) EXPECT_EQ(parseMetric(metricName(static_cast<Metric>(m))), static_cast<Metric>(m));
    EXPECT_EQ(parseMetric(QStringLiteral("CPU")), std::nullopt);
    EXPECT_EQ(parseMetric(QString()), std::nullopt);
}

TEST(HistoryJson, NamesGapsRecordsAndCulprits) {
    const std::vector<Record> records = {span(10s, 20s, {cpuProc(7, 3, 42)})};
    const auto gapList = gaps(records, kT0, kT0 + 30s, 0ms);
    const QJsonObject all = toJson(records, gapList, kT0, kT0 + 30s);
    EXPECT_EQ(all[QStringLiteral("gaps")].toArray().size(), 2);
    const QJsonObject rec = all[QStringLiteral("records")].toArray().at(0).toObject();
    EXPECT_EQ(rec[QStringLiteral("resolution")].toString(), QStringLiteral("full"));
    const QJsonObject p = rec[QStringLiteral("processes")].toArray().at(0).toObject();
    EXPECT_EQ(p[QStringLiteral("pid")].toInt(), 7);
    EXPECT_EQ(p[QStringLiteral("cpu")].toDouble(), 42);
    EXPECT_FALSE(p.contains(QStringLiteral("memory")));
    const QJsonObject top = culpritsToJson(culprits(records, Metric::cpu, 5), Metric::cpu, kT0, kT0 + 30s);
    EXPECT_EQ(top[QStringLiteral("metric")].toString(), QStringLiteral("cpu"));
    EXPECT_EQ(top[QStringLiteral("culprits")].toArray().at(0).toObject()[QStringLiteral("peak")].toDouble(), 42);
}

}  // namespace
}  // namespace velmora::history
