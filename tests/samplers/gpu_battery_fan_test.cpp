#include "samplers/battery_sampler.h"
#include "samplers/fan_sampler.h"
#include "samplers/gpu_sampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

platform::EngineBusy engine(const char* device, uint64_t client, const char* name, uint64_t ns,
                            uint32_t capacity = 1) {
    platform::EngineBusy e;
    std::strncpy(e.device.data(), device, e.device.size() - 1);
    std::strncpy(e.engine.data(), name, e.engine.size() - 1);
    e.client = client;
    e.busyNs = ns;
    e.capacity = capacity;
    return e;
}

const SteadyClock::time_point t0 = SteadyClock::time_point(50s);

}  // namespace

TEST(GpuSampler, FirstPublishedCounterWinsAndTheBusiestDeviceCounts) {
    GPUSampler gpu(nullptr);
    platform::GpuReading r;
    r.accelerators.push_back({37.0, std::nullopt, 80.0});
    EXPECT_DOUBLE_EQ(gpu.update(&r, t0), 37.0) << "device utilisation comes before the renderer's";
    r.accelerators = {{std::nullopt, std::nullopt, 20.0}, {std::nullopt, 55.0, 90.0}};
    EXPECT_DOUBLE_EQ(gpu.update(&r, t0), 55.0);
    r.accelerators = {{130.0, std::nullopt, std::nullopt}};
    EXPECT_DOUBLE_EQ(gpu.update(&r, t0), 100.0) << "capped at 100";
    r.accelerators = {{}, {}};
    EXPECT_EQ(gpu.update(&r, t0), 0) << "no usable statistic";
    EXPECT_EQ(gpu.update(nullptr, t0), 0) << "devices that cannot be listed";
}

TEST(GpuSampler, EngineTimesOfAllClientsOverTheInterval) {
    GPUSampler gpu(nullptr);
    platform::GpuReading r;
    r.engines = {engine("0000:00:02.0", 1, "render", 1000000000),
                 engine("0000:00:02.0", 2, "render", 5000000000), engine("0000:00:02.0", 1, "video", 0, 2)};
    EXPECT_EQ(gpu.update(&r, t0), 0) << "the first reading only primes";

    // Over 1 s: render grows 0.2 s + 0.3 s = 50 %; video 1.5 s over two engines = 75 %.
    r.engines = {engine("0000:00:02.0", 2, "render", 5300000000),
                 engine("0000:00:02.0", 1, "render", 1200000000),
                 engine("0000:00:02.0", 1, "video", 1500000000, 2)};
    EXPECT_NEAR(gpu.update(&r, t0 + 1s), 75.0, 1e-9) << "the busiest engine class, per engine instance";

    // Client 2 leaves, client 3 arrives with a long history: neither moves the figure.
    r.engines = {engine("0000:00:02.0", 1, "render", 1300000000),
                 engine("0000:00:02.0", 3, "render", 900000000000),
                 engine("0000:00:02.0", 1, "video", 1500000000, 2)};
    EXPECT_NEAR(gpu.update(&r, t0 + 2s), 10.0, 1e-9);

    // The same client id on another device is another client.
    r.engines.push_back(engine("0000:03:00.0", 1, "render", 0));
    gpu.update(&r, t0 + 3s);
    r.engines.back().busyNs = 2000000000;  // more than the wall time: capped
    EXPECT_DOUBLE_EQ(gpu.update(&r, t0 + 4s), 100.0);
}

TEST(BatterySampler, PowerSourceDescription) {
    platform::BatteryReading r;
    platform::PowerSourceDescription d;
    d.currentCapacity = 73;
    d.maxCapacity = 100;
    d.isCharging = true;
    d.powerSourceState = "AC Power";
    d.timeToEmpty = -1;
    d.timeToFullCharge = 245;
    r.powerSource = d;
    BatteryInfo b = BatterySampler::fromReading(r);
    EXPECT_TRUE(b.present);
    EXPECT_DOUBLE_EQ(b.percent, 73.0);
    EXPECT_TRUE(b.charging);
    EXPECT_TRUE(b.acPower);
    EXPECT_FALSE(b.timeToEmptyMin.has_value()) << "-1 means still estimating";
    EXPECT_EQ(b.timeToFullMin, 245);
    EXPECT_FALSE(b.cycleCount.has_value());
    EXPECT_FALSE(b.healthPercent.has_value());

    r.powerSource->maxCapacity = 0;
    r.powerSource->timeToEmpty = 0;
    r.powerSource->powerSourceState = "Battery Power";
    r.powerSource->isCharging.reset();
    b = BatterySampler::fromReading(r);
    EXPECT_EQ(b.percent, 0) << "a zero maximum";
    EXPECT_FALSE(b.timeToEmptyMin.has_value());
    EXPECT_FALSE(b.acPower);
    EXPECT_FALSE(b.charging);
    r.powerSource->powerSourceState.reset();
    EXPECT_FALSE(BatterySampler::fromReading(r).acPower);
}

TEST(BatterySampler, ControllerHealthAndCycles) {
    platform::BatteryReading r;
    platform::BatteryController c;
    c.cycleCount = 412;
    c.designCapacity = 5000;
    c.appleRawMaxCapacity = 4300;
    c.maxCapacity = 100;
    r.controller = c;
    BatteryInfo b = BatterySampler::fromReading(r);
    EXPECT_TRUE(b.present) << "a controller without a power source still means a battery";
    EXPECT_EQ(b.percent, 0);
    EXPECT_FALSE(b.charging);
    EXPECT_FALSE(b.acPower);
    EXPECT_EQ(b.cycleCount, 412);
    ASSERT_TRUE(b.healthPercent.has_value());
    EXPECT_DOUBLE_EQ(*b.healthPercent, 86.0);

    r.controller->appleRawMaxCapacity.reset();
    r.controller->maxCapacity = 4300;
    EXPECT_DOUBLE_EQ(BatterySampler::fromReading(r).healthPercent.value_or(0), 86.0)
        << "falls back to MaxCapacity";

    r.controller->designCapacity.reset();
    b = BatterySampler::fromReading(r);
    EXPECT_FALSE(b.healthPercent.has_value()) << "no design capacity";
    EXPECT_EQ(b.cycleCount, 412);

    EXPECT_EQ(BatterySampler::fromReading({}), BatteryInfo{}) << "no battery at all";
}

namespace {

// A fan controller with a fixed count and speeds per fan, counting the reads it answers.
class ScriptedFans : public platform::FanSource {
  public:
    ScriptedFans(int count, std::vector<platform::FanSpeeds> fans, int* reads)
        : count_(count), fans_(std::move(fans)), reads_(reads) {}
    int count() override { return count_; }
    platform::FanSpeeds read(int fan) override {
        ++*reads_;
        return fans_.at(static_cast<size_t>(fan));
    }

  private:
    int count_;
    std::vector<platform::FanSpeeds> fans_;
    int* reads_;
};

}  // namespace

TEST(FanSampler, CountOutsideOneToFifteenMeansNoFans) {
    int reads = 0;
    auto fans = [&](int count) {
        const std::vector<platform::FanSpeeds> speeds(16, {1000, 1000, 1000, 1000});
        return FanSampler(std::make_unique<ScriptedFans>(count, speeds, &reads));
    };
    EXPECT_EQ(fans(0).sample().size(), 0u);
    EXPECT_EQ(fans(-1).sample().size(), 0u);
    EXPECT_EQ(fans(16).sample().size(), 0u);
    EXPECT_EQ(reads, 0) << "a machine without readable fans is never asked again";
    EXPECT_EQ(fans(15).sample().size(), 15u);
    EXPECT_EQ(FanSampler(nullptr).sample().size(), 0u) << "no fan controller at all";
}

TEST(FanSampler, UnreadableValues) {
    int reads = 0;
    // Fan 0 stopped, fan 1 without a readable speed, fan 2 spinning with odd limits, fan 3
    // reading a NaN speed.
    const std::vector<platform::FanSpeeds> speeds = {
        {0, -1, 500, 6000}, {-1, 1000, 500, 6000}, {2000, std::nanf(""), 500, -1}, {std::nanf(""), 1, 2, 3}};
    const auto fans = FanSampler(std::make_unique<ScriptedFans>(4, speeds, &reads)).sample();
    ASSERT_EQ(fans.size(), 2u) << "the fans whose speed cannot be read are left out";
    EXPECT_EQ(fans[0], (FanInfo{0, 0, 500, 6000})) << "a stopped fan stays, its unreadable target is 0";
    EXPECT_EQ(fans[1], (FanInfo{2000, 0, 500, 0})) << "a NaN target and an unreadable maximum become 0";
}
