#include "samplers/net_proc_monitor.h"

#include "support/test_util.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// Counts its measurements; fails every `failEvery`-th one; can block until stopped.
class FakeSource : public platform::NetProcSource {
  public:
    std::atomic<int> runs{0};
    std::atomic<int> failEvery{0};
    std::atomic<bool> block{false};
    std::atomic<bool> sawStop{false};

    std::optional<std::vector<ProcNet>> measure(const platform::Interrupt::Token& stop) override {
        const int n = ++runs;
        if (block && !stop.sleepFor(60s)) {
            sawStop = true;
            return std::vector<ProcNet>{};
        }
        if (failEvery > 0 && n % failEvery == 0) return std::nullopt;
        return std::vector<ProcNet>{{100, QStringLiteral("run"), static_cast<double>(n), 0}};
    }
};

}  // namespace

TEST(NetProcMonitor, PublishKeepsTheLatest150AndFlagsFailures) {
    NetProcMonitor monitor(std::make_unique<FakeSource>());
    int changes = 0;
    QObject::connect(&monitor, &NetProcMonitor::changed, [&] { ++changes; });
    for (int i = 1; i <= 200; ++i)
        monitor.publish(std::vector<ProcNet>{{i, "p", double(i), 0}});
    ASSERT_EQ(monitor.history().size(), 150u);
    EXPECT_EQ(monitor.history().front().procs.at(0).pid, 51);
    EXPECT_EQ(monitor.history().back().procs.at(0).pid, 200);
    EXPECT_EQ(monitor.procs().at(0).pid, 200);
    EXPECT_FALSE(monitor.failed());

    monitor.publish(std::nullopt);
    EXPECT_TRUE(monitor.failed());
    EXPECT_EQ(monitor.procs().at(0).pid, 200) << "a failed run leaves the list";
    EXPECT_EQ(monitor.history().size(), 150u);
    monitor.publish(std::vector<ProcNet>{});
    EXPECT_FALSE(monitor.failed()) << "a good run clears the flag";
    EXPECT_TRUE(monitor.procs().empty());
    EXPECT_EQ(changes, 202);
}

TEST(NetProcMonitor, LoopsUntilStoppedAndRetriesAfterFailures) {
    auto owned = std::make_unique<FakeSource>();
    FakeSource* source = owned.get();
    source->failEvery = 2;
    NetProcMonitor monitor(std::move(owned));
    bool sawFailure = false;
    QObject::connect(&monitor, &NetProcMonitor::changed, [&] { sawFailure |= monitor.failed(); });

    monitor.start();
    monitor.start();  // a second start while running does not add a loop
    ASSERT_TRUE(test::waitUntil([&] { return monitor.history().size() >= 2; }, 10s));
    EXPECT_TRUE(sawFailure) << "the loop kept going after a failed run";
    monitor.stop();
    const int runsAtStop = source->runs;
    test::waitUntil([] { return false; }, 1000ms);
    EXPECT_LE(source->runs, runsAtStop + 1) << "no new runs after stop";
    // Runs 1, 3, 5... succeed; one loop means history grows by one per two runs.
    EXPECT_LE(monitor.history().size(), static_cast<size_t>(source->runs + 1) / 2);

    const size_t before = monitor.history().size();
    monitor.start();
    ASSERT_TRUE(test::waitUntil([&] { return monitor.history().size() > before; }, 10s)) << "restartable";
    monitor.stop();
}

TEST(NetProcMonitor, StopCutsAWaitingMeasurementShortAndDropsIt) {
    auto owned = std::make_unique<FakeSource>();
    FakeSource* source = owned.get();
    source->block = true;
    int changes = 0;
    {
        NetProcMonitor monitor(std::move(owned));
        QObject::connect(&monitor, &NetProcMonitor::changed, [&] { ++changes; });
        monitor.start();
        ASSERT_TRUE(test::waitUntil([&] { return source->runs > 0; }));
        monitor.stop();
        ASSERT_TRUE(test::waitUntil([&] { return source->sawStop.load(); }, 10s))
            << "the 60 s wait ends on stop";
        test::waitUntil([] { return false; }, 200ms);
        EXPECT_EQ(changes, 0) << "the cut-short run is not published";
        EXPECT_TRUE(monitor.history().empty());
    }
}

TEST(NetProcMonitor, DestroyedWhileMeasuringDoesNotWaitForTheMeasurement) {
    auto owned = std::make_unique<FakeSource>();
    FakeSource* source = owned.get();
    source->block = true;
    auto monitor = std::make_unique<NetProcMonitor>(std::move(owned));
    monitor->start();
    ASSERT_TRUE(test::waitUntil([&] { return source->runs > 0; }));
    QElapsedTimer clock;
    clock.start();
    monitor.reset();
    EXPECT_LT(clock.elapsed(), 30000) << "the 60 s wait was interrupted";
}
