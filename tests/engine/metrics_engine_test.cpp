#include "engine/metrics_engine.h"
#include "samplers/process_sampler.h"

#include "support/test_util.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <map>
#include <set>
#include <thread>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// Hands out snapshots with a counter in cpuTotal and one process while uiActive is set.
class FakeSource : public SnapshotSource {
  public:
    explicit FakeSource(std::atomic<int>* ticks) : ticks_(ticks) {}
    Snapshot tick(const std::function<bool()>& uiActive) override {
        Snapshot s;
        s.cpuTotal = ++*ticks_;
        if (uiActive()) s.processes.push_back({.pid = 42, .name = "worker", .cpu = 12.5});
        return s;
    }

  private:
    std::atomic<int>* ticks_;
};

Snapshot at(TimePoint t, double cpu, bool withProcess = false) {
    Snapshot s;
    s.time = t;
    s.cpuTotal = cpu;
    if (withProcess) s.processes.push_back({.pid = 7, .name = "seven", .cpu = cpu});
    return s;
}

class EngineHistory : public ::testing::Test {
  protected:
    std::atomic<int> ticks{0};
    MetricsEngine engine{std::make_unique<FakeSource>(&ticks)};
    TimePoint t0 = WallClock::now();
};

}  // namespace

TEST_F(EngineHistory, StartsEmptyWithDefaultSnapshot) {
    EXPECT_TRUE(engine.history().empty());
    EXPECT_EQ(engine.current().cpuTotal, 0);
    EXPECT_EQ(engine.current().thermalState, ThermalState::nominal);
    EXPECT_FALSE(engine.current().battery.present);
    EXPECT_FALSE(engine.current().cpuTempC.has_value());
    EXPECT_TRUE(engine.series(&Snapshot::cpuTotal).empty());
    EXPECT_TRUE(engine.recentSeries(&Snapshot::memPercent).empty());
    EXPECT_TRUE(engine.cpuHistory(7).empty());
    EXPECT_FALSE(engine.liveProcess(7).has_value());
}

TEST_F(EngineHistory, PublishNotifiesAndKeepsCurrent) {
    int currentSignals = 0, historySignals = 0;
    QObject::connect(&engine, &MetricsEngine::currentChanged, [&] { ++currentSignals; });
    QObject::connect(&engine, &MetricsEngine::historyChanged, [&] { ++historySignals; });
    engine.publish(at(t0, 33, true));
    EXPECT_EQ(currentSignals, 1);
    EXPECT_EQ(historySignals, 1);
    EXPECT_EQ(engine.current().cpuTotal, 33);
    ASSERT_TRUE(engine.liveProcess(7).has_value());
    EXPECT_EQ(engine.liveProcess(7)->name, "seven");
}

TEST_F(EngineHistory, OnlyNewest180KeepProcessTables) {
    for (int i = 0; i < 180; ++i)
        engine.publish(at(t0 + std::chrono::seconds(i), i, true));
    EXPECT_FALSE(engine.history().front().processes.empty()) << "180 snapshots all keep their tables";

    engine.publish(at(t0 + 180s, 180, true));
    ASSERT_EQ(engine.history().size(), 181u);
    EXPECT_TRUE(engine.history()[0].processes.empty());
    EXPECT_EQ(engine.history()[0].cpuTotal, 0) << "other fields survive";
    for (size_t i = 1; i < 181; ++i)
        EXPECT_FALSE(engine.history()[i].processes.empty()) << i;

    // cpuHistory can only see snapshots that still hold a table.
    const auto points = engine.cpuHistory(7);
    ASSERT_EQ(points.size(), 180u);
    for (size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(points[i].value, static_cast<double>(i + 1));
        ASSERT_EQ(points[i].time, t0 + std::chrono::seconds(i + 1));
    }
    EXPECT_TRUE(engine.cpuHistory(12345).empty());
}

// The attribution follows the whole history, where process tables stop at 180 snapshots:
// a moment for each measured snapshot, gone with it, and none for an unmeasured one.
TEST_F(EngineHistory, AttributionCoversTheWholeHistoryAndLeavesWithIt) {
    for (int i = 0; i <= 700; ++i) {
        Snapshot s = at(t0 + std::chrono::seconds(i), 10 + i % 50, true);
        s.processesMeasured = i != 650;
        engine.publish(std::move(s));
    }
    ASSERT_EQ(engine.history().size(), 601u);
    const AttributionLog& log = engine.attribution();
    ASSERT_EQ(log.moments().size(), 600u) << "one snapshot was not measured";
    EXPECT_EQ(log.moments().front().time, engine.history().front().time);
    EXPECT_TRUE(engine.history().front().processes.empty()) << "its table is gone, its moment is not";
    ASSERT_EQ(log.moments().front().shares.size(), 1u);
    EXPECT_EQ(log.moments().front().shares[0].pid, 7);
    EXPECT_EQ(log.at(t0 + 650s), nullptr);
    EXPECT_EQ(log.name({7, 0}), "seven");

    // A clock set back drops the moments that were ahead of it, as the history drops them.
    Snapshot back = at(t0 - 24h, 1, true);
    back.processesMeasured = true;
    engine.publish(back);
    ASSERT_EQ(log.moments().size(), 1u);
    EXPECT_EQ(log.moments().front().time, t0 - 24h);
}

TEST_F(EngineHistory, SensorListsStayOnTheCurrentSnapshotOnly) {
    for (int i = 0; i < 3; ++i) {
        Snapshot s = at(t0 + std::chrono::seconds(i), i);
        s.sensors = {{"CPU coretemp Core 0", 40.0 + i}, {"nvme Composite", 30.0}};
        s.hottestC = 40.0 + i;
        engine.publish(std::move(s));
        ASSERT_EQ(engine.current().sensors.size(), 2u);
        EXPECT_EQ(engine.current().sensors[0].celsius, 40.0 + i);
    }
    for (const Snapshot& h : engine.history()) {
        EXPECT_TRUE(h.sensors.empty());
        EXPECT_TRUE(h.hottestC.has_value()) << "the summary temperatures stay";
    }
}

TEST_F(EngineHistory, DropsSnapshotsOlderThan600Seconds) {
    engine.publish(at(t0, 1));
    engine.publish(at(t0 + 100s, 2));
    engine.publish(at(t0 + 600s, 3));
    EXPECT_EQ(engine.history().size(), 3u) << "exactly 600 s old is kept";
    engine.publish(at(t0 + 601s, 4));
    ASSERT_EQ(engine.history().size(), 3u);
    EXPECT_EQ(engine.history().front().cpuTotal, 2);
    engine.publish(at(t0 + 2000s, 5));
    ASSERT_EQ(engine.history().size(), 1u);
    EXPECT_EQ(engine.history().front().cpuTotal, 5);
}

TEST_F(EngineHistory, WallClockSetBackwardsKeepsHistoryBounded) {
    for (int i = 0; i <= 700; ++i)
        engine.publish(at(t0 + std::chrono::seconds(i), i));
    ASSERT_EQ(engine.history().size(), 601u);

    // Entries from "the future" would block the 600 s cutoff until the clock caught up.
    engine.publish(at(t0 - 24h, -1));
    ASSERT_EQ(engine.history().size(), 1u);
    for (int i = 1; i <= 700; ++i)
        engine.publish(at(t0 - 24h + std::chrono::seconds(i), i));
    EXPECT_EQ(engine.history().size(), 601u);
    EXPECT_LE(engine.recentSeries(&Snapshot::cpuTotal).size(), 301u);
    for (size_t i = 1; i < engine.history().size(); ++i)
        ASSERT_LT(engine.history()[i - 1].time, engine.history()[i].time);
}

TEST_F(EngineHistory, ReleasesFreedMemoryOncePerMinuteOfSnapshots) {
    // Seconds from t0 at which snapshots arrive.
    auto every = [](int step, int last) {
        std::vector<int> out;
        for (int s = 0; s <= last; s += step)
            out.push_back(s);
        return out;
    };
    struct Case {
        const char* what;
        std::vector<int> seconds;
        int releases;
    };
    for (const Case& c : {
             Case{"59 s after the first snapshot: not yet", every(1, 59), 0},
             Case{"60 s after it", every(1, 60), 1},
             Case{"ten minutes at 1 s", every(1, 600), 10},
             Case{"ten minutes at 5 s", every(5, 600), 10},
             Case{"a long gap counts once", {0, 3600, 3630}, 1},
             Case{"a clock set back starts the minute again", {0, 50, -3600, -3550, -3541, -3540}, 1},
         }) {
        MetricsEngine e{std::make_unique<FakeSource>(&ticks)};
        int releases = 0;
        e.setMemoryRelease([&releases] { ++releases; });
        for (int s : c.seconds)
            e.publish(at(t0 + std::chrono::seconds(s), s));
        EXPECT_EQ(releases, c.releases) << c.what;
    }
}

TEST_F(EngineHistory, ChartDecimationAt540And541) {
    for (int i = 0; i < 540; ++i)
        engine.publish(at(t0 + std::chrono::milliseconds(i * 500), i));
    auto points = engine.series(&Snapshot::cpuTotal);
    ASSERT_EQ(points.size(), 540u);
    for (size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(points[i].value, static_cast<double>(i));
        ASSERT_EQ(points[i].time, engine.history()[i].time);
    }

    engine.publish(at(t0 + std::chrono::milliseconds(540 * 500), 540));
    points = engine.series(&Snapshot::cpuTotal);
    // The newest 300 come one each; the 241 older ones are thinned to about 240.
    ASSERT_GE(points.size(), 540u);
    ASSERT_LE(points.size(), 541u);
    const size_t olderPart = points.size() - 300;
    for (size_t i = 0; i < 300; ++i)
        ASSERT_EQ(points[olderPart + i].value, 241.0 + static_cast<double>(i));
    EXPECT_EQ(points.front().value, 0);
    for (size_t i = 1; i < points.size(); ++i)
        ASSERT_LT(points[i - 1].value, points[i].value);
    EXPECT_LT(points[olderPart - 1].value, 241);
    // Each point carries the time of the snapshot its value came from.
    for (const MetricPoint& p : points)
        ASSERT_EQ(p.time, t0 + std::chrono::milliseconds(static_cast<int>(p.value) * 500)) << p.value;
}

TEST_F(EngineHistory, ChartDecimationStaysNearBudgetForLongHistories) {
    for (int i = 0; i < 1200; ++i)
        engine.publish(at(t0 + std::chrono::milliseconds(i * 500), i));
    const auto points = engine.series(&Snapshot::cpuTotal);
    EXPECT_LE(points.size(), 541u);
    EXPECT_GE(points.size(), 539u);
    EXPECT_EQ(points.back().value, 1199);
}

TEST_F(EngineHistory, RecentSeriesCoversLast300Seconds) {
    for (int i = 0; i <= 400; i += 10)
        engine.publish(at(t0 + std::chrono::seconds(i), i));
    const auto points = engine.recentSeries(&Snapshot::cpuTotal);
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points.front().value, 100) << "cutoff is last time - 300 s, inclusive";
    EXPECT_EQ(points.back().value, 400);
    EXPECT_EQ(points.size(), 31u);
    for (const MetricPoint& p : points)
        ASSERT_EQ(p.time, t0 + std::chrono::seconds(static_cast<int>(p.value))) << p.value;
}

// Every way of charting: the thinned whole history, the recent window, one process.
struct SeriesCase {
    const char* name;
    std::vector<MetricPoint> (*chart)(const MetricsEngine&);
    friend void PrintTo(const SeriesCase& c, std::ostream* os) { *os << c.name; }
};

class PointIds : public EngineHistory, public ::testing::WithParamInterface<SeriesCase> {
  protected:
    std::vector<MetricPoint> chart() const { return GetParam().chart(engine); }
};

TEST_P(PointIds, UniqueWithinASeriesAndStableAcrossCalls) {
    // Long enough to thin; the newest 180 snapshots hold process 7.
    for (int i = 0; i < 700; ++i)
        engine.publish(at(t0 + std::chrono::milliseconds(i * 500), i, true));
    const auto first = chart();
    const auto second = chart();
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(first.size(), second.size());
    std::set<MetricPointId> ids;
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_TRUE(ids.insert(first[i].id).second) << "repeated id at " << i;
        EXPECT_EQ(first[i].id, second[i].id) << "the same snapshot's point keeps its id, at " << i;
    }

    // After one more snapshot, the points both calls share still match by id.
    engine.publish(at(t0 + 350s, 700, true));
    std::map<MetricPointId, double> before;
    for (const MetricPoint& p : first)
        before[p.id] = p.value;
    size_t matched = 0;
    for (const MetricPoint& p : chart()) {
        const auto it = before.find(p.id);
        if (it == before.end()) continue;
        EXPECT_EQ(it->second, p.value);
        ++matched;
    }
    EXPECT_GT(matched, 150u);
}

TEST_P(PointIds, SnapshotsSharingATimeStampStayApart) {
    // A clock stepped back to the nanosecond can repeat a time stamp.
    engine.publish(at(t0, 1, true));
    engine.publish(at(t0 + 1s, 2, true));
    engine.publish(at(t0 + 1s, 3, true));
    engine.publish(at(t0 + 1s, 4, true));
    engine.publish(at(t0 + 2s, 5, true));
    const auto points = chart();
    ASSERT_EQ(points.size(), 5u);
    std::set<MetricPointId> ids;
    for (const MetricPoint& p : points)
        EXPECT_TRUE(ids.insert(p.id).second) << p.value;
    EXPECT_EQ(points[1].time, points[3].time);
}

INSTANTIATE_TEST_SUITE_P(
    EngineHistory, PointIds,
    ::testing::Values(SeriesCase{"series",
                                 [](const MetricsEngine& e) { return e.series(&Snapshot::cpuTotal); }},
                      SeriesCase{"recentSeries",
                                 [](const MetricsEngine& e) { return e.recentSeries(&Snapshot::cpuTotal); }},
                      SeriesCase{"cpuHistory", [](const MetricsEngine& e) { return e.cpuHistory(7); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineTicking, TicksOnWorkerAndSamplesProcessesOnlyWhenUiActive) {
    std::atomic<int> ticks{0};
    MetricsEngine engine(std::make_unique<FakeSource>(&ticks));
    engine.start(0.02);
    ASSERT_TRUE(test::waitUntil([&] { return engine.history().size() >= 2; }));
    EXPECT_TRUE(engine.current().processes.empty());
    EXPECT_FALSE(engine.liveProcess(42).has_value());

    engine.setUiActive(true);
    const size_t before = engine.history().size();
    ASSERT_TRUE(test::waitUntil([&] { return engine.history().size() >= before + 2; }));
    EXPECT_FALSE(engine.current().processes.empty());
    EXPECT_TRUE(engine.liveProcess(42).has_value());
}

TEST(EngineTicking, WithoutAViewProcessesAreReadOncePerBackgroundPeriod) {
    std::atomic<int> ticks{0};
    MetricsEngine engine(std::make_unique<FakeSource>(&ticks));
    std::atomic<int64_t> nowMs{1'000'000};
    engine.setSteadyClock([&] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(nowMs.load())); });
    engine.setBackgroundProcessPeriod(10s);
    int withProcesses = 0;
    QObject::connect(&engine, &MetricsFeed::currentChanged, [&] { withProcesses += engine.current().processes.empty() ? 0 : 1; });
    // Runs ticks at a steady clock reading of `at` and returns how many carried processes.
    const auto readsAt = [&](int64_t at) {
        nowMs = at;
        const int before = withProcesses;
        const size_t seen = engine.history().size();
        EXPECT_TRUE(test::waitUntil([&] { return engine.history().size() >= seen + 4; }));
        return withProcesses - before;
    };
    engine.start(0.02);  // 20 ms ticks: a read counts as due 10 ms early
    EXPECT_EQ(readsAt(1'000'000), 1);  // the first read is due at once
    EXPECT_EQ(readsAt(1'009'989), 0);  // 1 ms short of the period less half a tick
    EXPECT_EQ(readsAt(1'009'990), 1);  // at it
    EXPECT_EQ(readsAt(1'030'000), 1);  // long after: one read, not one per missed period
    engine.setBackgroundProcessPeriod(0ms);
    EXPECT_EQ(readsAt(1'100'000), 0);
}

TEST(EngineTicking, RestartingLeavesExactlyOneTimer) {
    std::atomic<int> ticks{0};
    MetricsEngine engine(std::make_unique<FakeSource>(&ticks));
    EXPECT_EQ(engine.runningTimers(), 0);
    engine.start(2.0);
    EXPECT_EQ(engine.runningTimers(), 1);
    engine.cancelTimer();
    engine.start(5.0);
    EXPECT_EQ(engine.runningTimers(), 1);
    engine.start(1.0);  // even without a cancel, start replaces the earlier timer
    EXPECT_EQ(engine.runningTimers(), 1);
    engine.cancelTimer();
    EXPECT_EQ(engine.runningTimers(), 0);
}

TEST(EngineTicking, FirstTickComesBeforeTheInterval) {
    std::atomic<int> ticks{0};
    MetricsEngine engine(std::make_unique<FakeSource>(&ticks));
    engine.start(30.0);  // a long interval: only the early first tick can arrive
    EXPECT_TRUE(test::waitUntil([&] { return !engine.history().empty(); }, 5s));
    EXPECT_EQ(ticks.load(), 1);
}

TEST(EngineTicking, DestroyingWhileTickingIsSafe) {
    std::atomic<int> ticks{0};
    {
        MetricsEngine engine(std::make_unique<FakeSource>(&ticks));
        engine.start(0.001);
        ASSERT_TRUE(test::waitUntil([&] { return ticks.load() > 5; }));
    }
    // The worker must be stopped before the source goes: a tick after this point would run on
    // freed memory. Give a runaway worker a few of its 1 ms periods to show itself.
    const int after = ticks.load();
    std::this_thread::sleep_for(20ms);
    QCoreApplication::processEvents();  // stale deliveries to a gone engine must be dropped
    EXPECT_EQ(ticks.load(), after);
}

namespace {

// A made-up machine with one process that keeps half a core busy. Its time moves only when the
// process sampler reads the clock, one second per pass, so a pass measured against the one
// before reads exactly 50 %; CPU used while no one watches is added by hand.
struct MadeUpMachine {
    std::atomic<int64_t> seconds{0};
    std::atomic<uint64_t> cpuNs{0};
    std::atomic<int> primes{0};
    std::atomic<QThread*> primedOn{nullptr};
    std::atomic<int64_t> primedAtNs{0};
    std::atomic<int64_t> firstPassAfterPrimeNs{0};
};

int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class MadeUpProcesses : public platform::ProcessSource {
  public:
    explicit MadeUpProcesses(MadeUpMachine* m) : m_(m) {}
    platform::TimeBase timeBase() override { return {1, 1}; }
    bool read(std::vector<platform::ProcCounters>& own, std::vector<platform::RefusedProc>*) override {
        platform::ProcCounters spinner;
        spinner.pid = 77;
        spinner.name = QStringLiteral("spinner");
        spinner.cpuTicks = m_->cpuNs.load();
        own.assign(1, spinner);
        return true;
    }
    QString processName(int32_t) override { return QStringLiteral("spinner"); }

  private:
    MadeUpMachine* m_;
};

// Only the process part of a tick, through the real process sampler.
class ProcessOnlySource : public SnapshotSource {
  public:
    explicit ProcessOnlySource(MadeUpMachine* m)
        : m_(m),
          proc_(
              std::make_unique<MadeUpProcesses>(m),
              [] {
                  return ProcessSampler::Switches{false, false};
              },
              {},
              [m] {
                  m->cpuNs += 500'000'000;
                  return static_cast<double>(++m->seconds);
              }) {}
    Snapshot tick(const std::function<bool()>& uiActive) override {
        Snapshot s;
        if (uiActive()) {
            int64_t none = 0;
            m_->firstPassAfterPrimeNs.compare_exchange_strong(none, steadyNs());
            s.processes = proc_.sample();
            s.processesMeasured = proc_.lastSampleMeasured();
        }
        return s;
    }
    void primeProcesses() override {
        ++m_->primes;
        m_->primedOn = QThread::currentThread();
        m_->firstPassAfterPrimeNs = 0;
        m_->primedAtNs = steadyNs();
        proc_.prime();
    }

  private:
    MadeUpMachine* m_;
    ProcessSampler proc_;
};

class EnginePriming : public ::testing::Test {
  protected:
    EnginePriming() {
        QObject::connect(&engine, &MetricsEngine::currentChanged,
                         [this] { published.push_back(engine.current()); });
    }
    // Waits for `count` more snapshots with a process list; false on a timeout.
    bool waitForProcessLists(size_t count) {
        const size_t from = published.size();
        return test::waitUntil([&] {
            size_t lists = 0;
            for (size_t i = from; i < published.size(); ++i)
                lists += !published[i].processes.empty();
            return lists >= count;
        });
    }
    // Every process list published from `from` on was measured against the priming sample.
    void expectMeasuredLists(size_t from) {
        bool sawList = false;
        for (size_t i = from; i < published.size(); ++i) {
            const Snapshot& s = published[i];
            if (s.processes.empty()) {
                EXPECT_FALSE(s.processesMeasured) << i;
                continue;
            }
            sawList = true;
            EXPECT_TRUE(s.processesMeasured) << i;
            EXPECT_DOUBLE_EQ(s.processes.front().cpu, 50.0) << i;
        }
        EXPECT_TRUE(sawList);
    }

    MadeUpMachine machine;
    MetricsEngine engine{std::make_unique<ProcessOnlySource>(&machine)};
    std::vector<Snapshot> published;
};

}  // namespace

TEST_F(EnginePriming, ActivationPrimesOnceOnTheWorkerAndTheFirstListIsMeasured) {
    engine.start(0.02);
    ASSERT_TRUE(test::waitUntil([&] { return published.size() >= 2; }));
    EXPECT_EQ(machine.primes.load(), 0) << "nothing is primed while no view shows processes";

    const size_t activated = published.size();
    engine.setUiActive(true);
    engine.setUiActive(true);  // a second view appearing is no new activation
    ASSERT_TRUE(waitForProcessLists(3));
    EXPECT_EQ(machine.primes.load(), 1);
    EXPECT_NE(machine.primedOn.load(), QThread::currentThread());
    expectMeasuredLists(activated);
}

TEST_F(EnginePriming, ReactivationPrimesAgainSoThePauseStaysOut) {
    engine.start(0.02);
    engine.setUiActive(true);
    ASSERT_TRUE(waitForProcessLists(1));
    engine.setUiActive(false);
    const size_t paused = published.size();
    ASSERT_TRUE(test::waitUntil([&] { return published.size() >= paused + 2; }));
    // Measured against the last list before the pause, this would read over 10 000 %.
    machine.cpuNs += 100'000'000'000;

    const size_t reactivated = published.size();
    engine.setUiActive(true);
    ASSERT_TRUE(waitForProcessLists(1));
    EXPECT_EQ(machine.primes.load(), 2);
    expectMeasuredLists(reactivated);
}

// The tick that follows the priming sample soonest still measures over a usable span, whether
// the view appeared before the engine started ticking (print mode) or while it ticked.
TEST_F(EnginePriming, FirstListSpansAtLeastTheMinimumAfterPriming) {
    for (const bool activateFirst : {true, false}) {
        SCOPED_TRACE(activateFirst ? "activated, then started" : "started, then activated");
        MadeUpMachine m;
        MetricsEngine e(std::make_unique<ProcessOnlySource>(&m));
        if (activateFirst) e.setUiActive(true);
        e.start(30.0);  // only the early first tick can come during this test
        if (!activateFirst) e.setUiActive(true);
        ASSERT_TRUE(test::waitUntil([&] { return !e.current().processes.empty(); }));
        EXPECT_TRUE(e.current().processesMeasured);
        const auto spanMs = (m.firstPassAfterPrimeNs.load() - m.primedAtNs.load()) / 1'000'000;
        EXPECT_GE(spanMs, static_cast<int64_t>(MetricsEngine::minProcessMeasureSeconds * 1000) - 2);
    }
}
