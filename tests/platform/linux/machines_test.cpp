// The Linux readers and the samplers together, over fixture trees of typical machines.
#include "platform/linux/disk_linux.h"
#include "platform/linux/gpu_linux.h"
#include "platform/linux/hwmon.h"
#include "platform/linux/hwmon_temperatures.h"
#include "platform/linux/memory_linux.h"
#include "platform/linux/network_linux.h"
#include "platform/linux/power_supply.h"
#include "samplers/battery_sampler.h"
#include "samplers/disk_sampler.h"
#include "samplers/fan_sampler.h"
#include "samplers/gpu_sampler.h"
#include "samplers/memory_sampler.h"
#include "samplers/network_sampler.h"
#include "samplers/thermal_sampler.h"

#include "support/test_util.h"

#include <gtest/gtest.h>

#include <map>

using namespace velmora;
using namespace velmora::platform;

namespace {

struct Machine {
    std::string proc, sys;
    explicit Machine(const std::string& name)
        : proc(test::fixture("machines/" + name + "/proc")),
          sys(test::fixture("machines/" + name + "/sys")) {}
};

HwmonFanSource fansAt(const std::string& sys) {
    return HwmonFanSource(std::make_shared<HwmonChips>(sys));
}

FanSampler fanSamplerOf(const Machine& m) {
    return FanSampler(std::make_unique<HwmonFanSource>(std::make_shared<HwmonChips>(m.sys)));
}

std::map<std::string, double> byName(const std::vector<TemperatureReading>& readings) {
    std::map<std::string, double> m;
    for (const auto& r : readings)
        m[r.name] = r.celsius;
    return m;
}

MemorySampler::Result memoryOf(const Machine& m) {
    return MemorySampler(std::make_unique<LinuxMemorySource>(m.proc, m.sys, 4096)).sample();
}

}  // namespace

TEST(LaptopMachine, MemoryWithZswapAndZram) {
    const auto r = memoryOf(Machine("laptop"));
    EXPECT_EQ(r.total, 16303584ull * 1024);
    EXPECT_EQ(r.used, (16303584ull - 9302112) * 1024) << "MemTotal - MemAvailable";
    EXPECT_EQ(r.compressed, 20480ull * 1024 + 393216) << "zswap pool plus zram's memory in use";
    EXPECT_EQ(r.swap, (8388604ull - 8126460) * 1024);
    EXPECT_NEAR(r.percent, 42.94, 0.01);
}

TEST(LaptopMachine, DiskCountsTheWholeDiskOnce) {
    const Machine m("laptop");
    LinuxDiskSource source(m.proc, m.sys);
    EXPECT_EQ(source.devices(), std::vector<std::string>{"nvme0n1"})
        << "partitions, dm, loop and zram are left out";
    DiskTotals t;
    ASSERT_TRUE(source.totals(t));
    EXPECT_EQ(t.readBytes, 8000000ull * 512);
    EXPECT_EQ(t.writtenBytes, 4000000ull * 512);
}

TEST(LaptopMachine, NetworkSkipsLoopbackByFlag) {
    const Machine m("laptop");
    NetworkSampler net(std::make_unique<LinuxNetworkSource>(m.proc, m.sys));
    const auto c = net.counters();
    EXPECT_EQ(c.in, 5000000000ull + 1000) << "the link that is down counts too";
    EXPECT_EQ(c.out, 300000000ull + 2000);
}

TEST(LaptopMachine, OneFanWithoutLimits) {
    FanSampler fans = fanSamplerOf(Machine("laptop"));
    ASSERT_EQ(fans.count(), 1);
    const auto f = fans.sample();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0], (FanInfo{2650, 0, 0, 0})) << "no target, minimum or maximum files";
}

TEST(LaptopMachine, CpuTemperatureFromCoretempNotFromTheHotterDisk) {
    IOHIDTemperatureReader reader(std::make_unique<HwmonTemperatureSource>(Machine("laptop").sys, false));
    const auto names = byName(reader.readAll());
    EXPECT_EQ(names.size(), 8u) << "the unimplemented sensor (-273 °C) and the garbage one drop out";
    EXPECT_EQ(names.at("CPU coretemp Package id 0"), 62.0);
    EXPECT_EQ(names.at("nvme Composite"), 71.85);
    EXPECT_EQ(names.at("iwlwifi_1 temp1"), 45.0);
    EXPECT_EQ(names.at("acpitz temp1"), 48.0);
    EXPECT_EQ(reader.debugCounts().first, 10);

    const auto t = reader.read();
    EXPECT_DOUBLE_EQ(t.cpu.value(), 61.0) << "mean of the package and core sensors";
    EXPECT_FALSE(t.gpu.has_value());
    EXPECT_DOUBLE_EQ(t.hottest.value(), 71.85);
    EXPECT_EQ(reader.pressure(), ThermalPressure::nominal)
        << "fan trips and disabled (0 °C, negative) passive trips say nothing";
}

TEST(LaptopMachine, BatteryIgnoresTheMouse) {
    BatterySampler battery(std::make_unique<PowerSupplyBatterySource>(Machine("laptop").sys));
    const BatteryInfo b = battery.sample();
    EXPECT_TRUE(b.present);
    EXPECT_DOUBLE_EQ(b.percent, 72.0) << "36 of 50 Wh, not the mouse's 40 %";
    EXPECT_TRUE(b.charging);
    EXPECT_TRUE(b.acPower);
    EXPECT_FALSE(b.timeToEmptyMin.has_value());
    EXPECT_EQ(b.timeToFullMin, 60) << "14 Wh to go at 14 W";
    EXPECT_EQ(b.cycleCount, 123);
    EXPECT_NEAR(b.healthPercent.value_or(0), 50.0 / 57.0 * 100.0, 1e-9);
}

TEST(LaptopMachine, IntelGraphicsUsesClientEngineTimes) {
    LinuxGpuSource gpu(test::fixture("gpu/two_clients/proc"), Machine("laptop").sys, false);
    GpuReading r;
    ASSERT_TRUE(gpu.read(r));
    EXPECT_TRUE(gpu.needsEngineTimes());
    EXPECT_TRUE(r.accelerators.empty());
    std::map<std::pair<uint64_t, std::string>, uint64_t> engines;
    for (const EngineBusy& e : r.engines)
        engines[{e.client, e.engine.data()}] = e.busyNs;
    EXPECT_EQ(engines.size(), 5u) << "client 7 once although two processes hold it";
    EXPECT_EQ((engines[{7, "render"}]), 1000000u);
    EXPECT_EQ((engines[{7, "copy"}]), 2500000u);
    EXPECT_EQ((engines[{9, "render"}]), 400u);
}

TEST(Machines, AGraphicsDeviceIsFoundWhetherOrNotItIsBusy) {
    const struct {
        const char* machine;
        bool device;
    } cases[] = {
        {"laptop", true},       // i915: engine times only, and here no client holds the card
        {"amd_desktop", true},  // amdgpu's own busy figure
        {"arm_board", true},    // panfrost
        {"vm", false},          // no DRM card at all
    };
    for (const auto& c : cases) {
        const Machine m(c.machine);
        LinuxGpuSource source(m.proc, m.sys, false);
        GpuReading r;
        r.device = !c.device;  // a reading is filled afresh
        ASSERT_TRUE(source.read(r)) << c.machine;
        EXPECT_EQ(r.device, c.device) << c.machine;
    }
}

TEST(AmdDesktop, TwoFansWithTheirLimits) {
    const Machine m("amd_desktop");
    HwmonFanSource source = fansAt(m.sys);
    EXPECT_EQ(source.count(), 2) << "the header without a tachometer input is not a fan";
    EXPECT_EQ(source.read(5).rpm, -1.0f);
    EXPECT_EQ(source.read(-1).rpm, -1.0f);
    const auto f = fanSamplerOf(m).sample();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], (FanInfo{1200, 1250, 300, 0}));
    EXPECT_EQ(f[1], (FanInfo{0, 0, 0, 0})) << "a stopped fan stays";
}

TEST(AmdDesktop, TemperaturesFromK10tempAndAmdgpu) {
    IOHIDTemperatureReader reader(
        std::make_unique<HwmonTemperatureSource>(Machine("amd_desktop").sys, false));
    const auto names = byName(reader.readAll());
    EXPECT_TRUE(names.count("CPU k10temp Tctl"));
    EXPECT_TRUE(names.count("amdgpu junction"));
    EXPECT_TRUE(names.count("nct6798 SYSTIN"));
    const auto t = reader.read();
    EXPECT_DOUBLE_EQ(t.cpu.value(), 54.0) << "Tctl and Tccd1, not the board or the disk";
    EXPECT_DOUBLE_EQ(t.gpu.value(), 55.0) << "edge, junction and memory of the graphics card";
    EXPECT_DOUBLE_EQ(t.hottest.value(), 65.0);
    EXPECT_EQ(reader.pressure(), ThermalPressure::nominal) << "no thermal zones at all";
}

TEST(AmdDesktop, GpuBusyPercentAndDisksBehindRaid) {
    const Machine m("amd_desktop");
    LinuxGpuSource source(m.proc, m.sys, false);
    GPUSampler gpu(std::make_unique<LinuxGpuSource>(m.proc, m.sys, false));
    EXPECT_DOUBLE_EQ(gpu.sample(), 37.0) << "the first call already has the driver's own figure";
    GpuReading r;
    source.read(r);
    EXPECT_FALSE(source.needsEngineTimes()) << "connectors are not cards; amdgpu needs no client walk";

    LinuxDiskSource disks(m.proc, m.sys);
    EXPECT_EQ(disks.devices(), (std::vector<std::string>{"nvme0n1", "nvme1n1", "sda"}));
    DiskTotals t;
    ASSERT_TRUE(disks.totals(t));
    EXPECT_EQ(t.readBytes, 100000ull * 512) << "md0 is the same I/O as its members";
    EXPECT_EQ(t.writtenBytes, 170000ull * 512);
    EXPECT_EQ(BatterySampler(std::make_unique<PowerSupplyBatterySource>(m.sys)).sample(), BatteryInfo{});
}

TEST(ArmBoard, ThermalZonesStandInForHwmon) {
    const Machine m("arm_board");
    IOHIDTemperatureReader reader(std::make_unique<HwmonTemperatureSource>(m.sys, false));
    const auto names = byName(reader.readAll());
    EXPECT_EQ(names.size(), 2u) << "the zone that reads garbage drops out";
    const auto t = reader.read();
    EXPECT_EQ(t.cpu, 72.0);
    EXPECT_EQ(t.gpu, 61.0);
    EXPECT_EQ(t.hottest, 72.0);
    EXPECT_EQ(reader.pressure(), ThermalPressure::fair) << "72 °C is past the 70 °C passive trip";

    EXPECT_EQ(fansAt(m.sys).count(), -1) << "no hwmon at all";
    EXPECT_TRUE(fanSamplerOf(m).sample().empty());

    LinuxGpuSource gpu(m.proc, m.sys, false);
    GpuReading r;
    gpu.read(r);
    EXPECT_TRUE(gpu.needsEngineTimes()) << "panfrost publishes no utilisation file";

    LinuxDiskSource disks(m.proc, m.sys);
    DiskTotals d;
    ASSERT_TRUE(disks.totals(d));
    EXPECT_EQ(d.readBytes, 100000ull * 512) << "older diskstats lines with fewer fields still parse";
    EXPECT_EQ(d.writtenBytes, 50000ull * 512);

    const auto mem = memoryOf(m);
    EXPECT_EQ(mem.compressed, 0u) << "no Zswap line, a zram device without statistics";
    EXPECT_EQ(mem.swap, 0u);
    EXPECT_EQ(NetworkSampler(std::make_unique<LinuxNetworkSource>(m.proc, m.sys)).counters().in, 6000u);
}

TEST(VirtualMachine, NoSensorsMeansAbsentOrZero) {
    const Machine m("vm");
    IOHIDTemperatureReader reader(std::make_unique<HwmonTemperatureSource>(m.sys, false));
    EXPECT_TRUE(reader.readAll().empty());
    const auto t = reader.read();
    EXPECT_FALSE(t.cpu || t.gpu || t.hottest);
    EXPECT_EQ(reader.pressure(), ThermalPressure::nominal);
    EXPECT_EQ(reader.debugCounts(), std::make_pair(0, 0));

    EXPECT_TRUE(fanSamplerOf(m).sample().empty());
    EXPECT_EQ(BatterySampler(std::make_unique<PowerSupplyBatterySource>(m.sys)).sample(), BatteryInfo{});
    EXPECT_EQ(GPUSampler(std::make_unique<LinuxGpuSource>(m.proc, m.sys, false)).sample(), 0);

    LinuxDiskSource disks(m.proc, m.sys);
    EXPECT_EQ(disks.devices(), std::vector<std::string>{"vda"});
    const auto c = NetworkSampler(std::make_unique<LinuxNetworkSource>(m.proc, m.sys)).counters();
    EXPECT_EQ(c.in, 10000000u);
    EXPECT_EQ(c.out, 2000000u);
}
