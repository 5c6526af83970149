// Parsers and readers of the Linux system sources, with hand-made inputs and temporary trees.
#include "bridge/linux/bridge_linux.h"
#include "platform/linux/power_supply.h"
#include "platform/linux/disk_linux.h"
#include "platform/linux/drm_clients.h"
#include "platform/linux/gpu_linux.h"
#include "platform/linux/memory_linux.h"
#include "platform/linux/network_linux.h"
#include "platform/linux/hwmon_temperatures.h"
#include "samplers/battery_sampler.h"
#include "samplers/gpu_sampler.h"
#include "samplers/thermal_sampler.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace velmora;
using namespace velmora::platform;
using namespace std::chrono_literals;

namespace {

void link(const QTemporaryDir& dir, const QString& relative, const QString& target) {
    const QString path = dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(QFile::link(target, path)) << path.toStdString();
}

QByteArray fdinfo(int client, uint64_t renderNs) {
    return QStringLiteral(
               "pos:\t0\ndrm-driver:\txe\ndrm-pdev:\t0000:00:02.0\ndrm-client-id:\t%1\n"
               "drm-engine-render:\t%2 ns\ndrm-engine-capacity-render:\t1\n")
        .arg(client)
        .arg(renderNs)
        .toUtf8();
}

}  // namespace

TEST(LinuxMemInfo, NeedsTotalAndAvailable) {
    MemInfo m;
    EXPECT_TRUE(parseMemInfo("MemTotal: 100 kB\nMemAvailable: 40 kB\nSwapTotal: 10 kB\nSwapFree: 4 kB\n", m));
    EXPECT_EQ(m.total, 102400u);
    EXPECT_EQ(m.swapTotal - m.swapFree, 6144u);
    EXPECT_FALSE(parseMemInfo("MemTotal: 100 kB\nMemFree: 40 kB\n", m))
        << "kernels before 3.14 lack MemAvailable";
    EXPECT_FALSE(parseMemInfo("MemTotal: lots kB\nMemAvailable: 4 kB\n", m));
    EXPECT_FALSE(parseMemInfo("", m));
}

TEST(LinuxDiskStats, ShortAndGarbledLinesAreSkipped) {
    DiskTotals t;
    sumDiskStats(
        "8 0 sda 1 0 100 0 1 0 50 0 0 0\n"   // too few fields
        "8 16 sdb 1 0 x 0 1 0 50 0 0 0 0\n"  // a counter that is no number
        "8 32 sdc 1 0 10 0 1 0 20 0 0 0 0\n"
        "104 0 cciss/c0d0 1 0 1 0 1 0 1 0 0 0 0",
        {"cciss/c0d0", "sda", "sdb", "sdc"}, t);
    EXPECT_EQ(t.readBytes, 11u * 512);
    EXPECT_EQ(t.writtenBytes, 21u * 512);
}

TEST(LinuxDiskStats, SysfsSlashNamesMatchTheKernelNames) {
    QTemporaryDir root;
    link(root, "sys/block/cciss!c0d0/device", "../../devices/x");
    test::writeFile(root, "proc/diskstats", "104 0 cciss/c0d0 1 0 8 0 1 0 16 0 0 0 0\n");
    LinuxDiskSource disks(root.filePath("proc").toStdString(), root.filePath("sys").toStdString());
    DiskTotals t;
    ASSERT_TRUE(disks.totals(t));
    EXPECT_EQ(t.readBytes, 8u * 512);
    EXPECT_FALSE(LinuxDiskSource("/nonexistent", "/nonexistent").totals(t))
        << "no diskstats: a failed listing";
}

TEST(LinuxNetDev, HeaderAndMalformedLinesAreSkipped) {
    std::vector<NetDevLine> lines;
    parseNetDev(
        "Inter-|   Receive |  Transmit\n face |bytes packets|bytes\n"
        "  eth0: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
        "  bad: 1 2 3\n"
        "  worse: a b c d e f g h i j k l m n o p\n"
        "veth1234567890ab: 100 0 0 0 0 0 0 0 200 0 0 0 0 0 0 0",
        lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "eth0");
    EXPECT_EQ(lines[0].received, 1u);
    EXPECT_EQ(lines[0].sent, 9u);
    EXPECT_EQ(lines[1].sent, 200u) << "a long name runs into its colon without a space";
}

TEST(LinuxNetDev, InterfaceThatVanishesBeforeItsFlagsAreRead) {
    QTemporaryDir root;
    test::writeFile(root, "proc/net/dev",
                    "lo: 5 0 0 0 0 0 0 0 5 0 0 0 0 0 0 0\ngone: 7 0 0 0 0 0 0 0 9 0 0 0 0 0 0 0\n");
    test::writeFile(root, "sys/class/net/lo/flags", "0x9\n");
    LinuxNetworkSource net(root.filePath("proc").toStdString(), root.filePath("sys").toStdString());
    std::vector<InterfaceBytes> out;
    ASSERT_TRUE(net.read(out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].loopback);
    EXPECT_FALSE(out[1].loopback);
}

TEST(LinuxThermal, TripPointsGiveThePressure) {
    const std::vector<TripPoint> trips = {{TripPoint::Kind::active, 50000},
                                          {TripPoint::Kind::passive, 80000},
                                          {TripPoint::Kind::hot, 95000},
                                          {TripPoint::Kind::critical, 105000}};
    EXPECT_EQ(zonePressure(79999, trips), ThermalPressure::nominal) << "past the fan trip only";
    EXPECT_EQ(zonePressure(80000, trips), ThermalPressure::fair) << "at the passive trip";
    EXPECT_EQ(zonePressure(96000, trips), ThermalPressure::serious);
    EXPECT_EQ(zonePressure(110000, trips), ThermalPressure::critical);
    EXPECT_EQ(zonePressure(50000, {{TripPoint::Kind::passive, 0}, {TripPoint::Kind::critical, -274000}}),
              ThermalPressure::nominal)
        << "disabled trips";
    EXPECT_EQ(tripKind("hot"), TripPoint::Kind::hot);
    EXPECT_EQ(tripKind("bogus"), TripPoint::Kind::other);
}

TEST(LinuxThermal, SensorNamesMarkProcessorAndGraphicsChips) {
    EXPECT_EQ(sensorName("coretemp", "Core 3"), "CPU coretemp Core 3");
    EXPECT_EQ(sensorName("zenpower", "Tdie"), "CPU zenpower Tdie");
    EXPECT_EQ(sensorName("cpu_thermal", "temp1"), "cpu_thermal temp1") << "already says CPU";
    EXPECT_EQ(sensorName("nouveau", "temp1"), "GPU nouveau temp1");
    EXPECT_EQ(sensorName("i915", "pkg"), "GPU i915 pkg");
    EXPECT_EQ(sensorName("xe", "vram"), "GPU xe vram");
    EXPECT_EQ(sensorName("amdgpu", "edge"), "amdgpu edge");
    EXPECT_EQ(sensorName("x86_pkg_temp", ""), "CPU x86_pkg_temp");
    for (const char* other :
         {"nvme", "iwlwifi_1", "BAT0", "acpitz", "spd5118", "mt7921_phy0", "ath11k_hwmon"}) {
        const std::string name = sensorName(other, "temp1");
        EXPECT_FALSE(IOHIDTemperatureReader::isCpuName(name)) << name;
        EXPECT_FALSE(IOHIDTemperatureReader::isGpuName(name)) << name;
    }
}

TEST(LinuxThermal, K10tempTctlWithOffsetStaysOut) {
    QTemporaryDir root;
    test::writeFile(root, "class/hwmon/hwmon0/name", "k10temp\n");
    test::writeFile(root, "class/hwmon/hwmon0/temp1_label", "Tctl\n");
    test::writeFile(root, "class/hwmon/hwmon0/temp1_input", "77000\n");  // Tdie + 27 °C
    test::writeFile(root, "class/hwmon/hwmon0/temp2_label", "Tdie\n");
    test::writeFile(root, "class/hwmon/hwmon0/temp2_input", "50000\n");
    IOHIDTemperatureReader reader(std::make_unique<HwmonTemperatureSource>(root.path().toStdString(), false));
    EXPECT_EQ(reader.read().cpu, 50.0);
}

TEST(LinuxThermal, ASensorThatReadsGarbageDropsOutAndComesBack) {
    QTemporaryDir root;
    test::writeFile(root, "class/hwmon/hwmon3/name", "coretemp\n");
    test::writeFile(root, "class/hwmon/hwmon3/temp1_input", "51000\n");
    test::writeFile(root, "class/hwmon/hwmon12/name", "nvme\n");
    test::writeFile(root, "class/hwmon/hwmon12/temp1_input", "40000\n");
    IOHIDTemperatureReader reader(std::make_unique<HwmonTemperatureSource>(root.path().toStdString(), false));
    ASSERT_EQ(reader.readAll().size(), 2u);
    EXPECT_EQ(reader.readAll()[0].name, "CPU coretemp temp1")
        << "chips in number order, hwmon3 before hwmon12";

    test::writeFile(root, "class/hwmon/hwmon3/temp1_input", "\x01\x02");
    auto t = reader.read();
    EXPECT_EQ(t.cpu, 40.0) << "the hottest stands in while the CPU sensor is unreadable";
    test::writeFile(root, "class/hwmon/hwmon3/temp1_input", "52000\n");
    EXPECT_EQ(reader.read().cpu, 52.0);
}

TEST(LinuxBattery, DischargingEstimateAndChargeUnits) {
    SupplyBattery b;
    b.status = "Discharging";
    b.chargeNow = 3000000;  // µAh
    b.chargeFull = 4000000;
    b.chargeFullDesign = 5000000;
    b.currentNow = 1500000;  // µA
    BatteryReading r;
    describeBatteries({b}, false, r);
    ASSERT_TRUE(r.powerSource && r.controller);
    const BatteryInfo info = BatterySampler::fromReading(r);
    EXPECT_DOUBLE_EQ(info.percent, 75.0);
    EXPECT_EQ(info.timeToEmptyMin, 120);
    EXPECT_FALSE(info.timeToFullMin.has_value());
    EXPECT_FALSE(info.acPower);
    EXPECT_DOUBLE_EQ(info.healthPercent.value(), 80.0);

    b.timeToEmptyNow = 5400;  // the driver's own estimate wins
    describeBatteries({b}, false, r);
    EXPECT_EQ(BatterySampler::fromReading(r).timeToEmptyMin, 90);

    b.currentNow = 0;  // idle: no estimate
    b.timeToEmptyNow.reset();
    describeBatteries({b}, false, r);
    EXPECT_FALSE(BatterySampler::fromReading(r).timeToEmptyMin.has_value());
}

TEST(LinuxBattery, OnlyACapacityAndNoMainsNode) {
    SupplyBattery b;
    b.status = "Full";
    b.capacity = 99;
    BatteryReading r;
    describeBatteries({b}, std::nullopt, r);
    const BatteryInfo info = BatterySampler::fromReading(r);
    EXPECT_DOUBLE_EQ(info.percent, 99.0);
    EXPECT_TRUE(info.acPower) << "a full battery without any mains node is on mains";
    EXPECT_FALSE(info.healthPercent.has_value());
    EXPECT_FALSE(info.cycleCount.has_value());
}

TEST(LinuxBattery, TwoPacksCountAsOne) {
    SupplyBattery a, b;
    a.status = "Discharging";
    a.energyNow = 10000000;
    a.energyFull = 20000000;
    a.powerNow = 6000000;
    b.status = "Unknown";
    b.energyNow = 20000000;
    b.energyFull = 20000000;
    b.powerNow = 0;
    BatteryReading r;
    describeBatteries({a, b}, false, r);
    const BatteryInfo info = BatterySampler::fromReading(r);
    EXPECT_DOUBLE_EQ(info.percent, 75.0);
    EXPECT_EQ(info.timeToEmptyMin, 300) << "30 Wh left at 6 W";

    BatteryReading none;
    describeBatteries({}, true, none);
    EXPECT_EQ(BatterySampler::fromReading(none), BatteryInfo{}) << "mains alone is no battery";
}

// Found by fuzzing: attributes that are each within 64 bits but overflow when summed.
TEST(LinuxBattery, PacksWhoseSumOverflowsFallBackToTheNextFigure) {
    SupplyBattery a;
    a.status = "Discharging";
    a.energyNow = a.energyFull = a.powerNow = 6666666666666666660;
    a.chargeNow = 1000000;
    a.chargeFull = 4000000;
    a.currentNow = 500000;
    BatteryReading r;
    describeBatteries({a, a}, false, r);
    const BatteryInfo info = BatterySampler::fromReading(r);
    EXPECT_DOUBLE_EQ(info.percent, 25.0) << "the charge figures stand in";
    EXPECT_EQ(info.timeToEmptyMin, 120) << "2 Ah left at 1 A";

    a.chargeNow = a.chargeFull = a.currentNow = std::numeric_limits<int64_t>::max();
    a.capacity = 40;
    describeBatteries({a, a}, false, r);
    EXPECT_DOUBLE_EQ(BatterySampler::fromReading(r).percent, 40.0) << "then the kernel's percentage";
    EXPECT_FALSE(BatterySampler::fromReading(r).timeToEmptyMin.has_value());
}

TEST(DrmFdinfo, ClientEnginesAndCapacities) {
    DrmClientInfo info;
    ASSERT_TRUE(
        parseDrmFdinfo("drm-pdev:\t0000:00:02.0\ndrm-client-id:\t42\ndrm-engine-render:\t900 ns\n"
                       "drm-engine-capacity-video:\t2\ndrm-engine-video:\t100 ns\n"
                       "drm-engine-copy:\t77 cycles\ndrm-engine-:\t5 ns\ndrm-memory-vram:\t10 KiB\n",
                       info));
    EXPECT_EQ(info.id, 42u);
    EXPECT_STREQ(info.pdev.data(), "0000:00:02.0");
    ASSERT_EQ(info.engines.size(), 2u) << "cycles are no time; an empty engine name is nothing";
    EXPECT_STREQ(info.engines[1].name.data(), "video");
    EXPECT_EQ(info.engines[1].capacity, 2u);
    EXPECT_EQ(info.engines[0].busyNs, 900u);
    EXPECT_FALSE(parseDrmFdinfo("pos:\t0\nflags:\t02\n", info)) << "not a DRM client";

    // A blank device (a driver that is not on PCI, or a line cut short) names no device.
    ASSERT_TRUE(parseDrmFdinfo("drm-pdev:\t0000:00:02.0\ndrm-pdev:   \ndrm-client-id: 7\n", info));
    EXPECT_STREQ(info.pdev.data(), "");
}

TEST(DrmClients, UtilisationFromGrowingEngineTimes) {
    QTemporaryDir root;
    test::writeFile(root, "sys/class/drm/card0/device/vendor", "0x8086\n");
    link(root, "sys/class/drm/card0/device/driver", "../../../bus/pci/drivers/xe");
    link(root, "proc/42/fd/3", "/dev/dri/renderD128");
    test::writeFile(root, "proc/42/fdinfo/3", fdinfo(5, 1000000000));
    link(root, "proc/43/fd/9", "/dev/dri/renderD128");  // the same client, passed on
    test::writeFile(root, "proc/43/fdinfo/9", fdinfo(5, 1000000000));
    link(root, "proc/43/fd/1", "/dev/null");
    test::writeFile(root, "proc/43/fdinfo/1", "pos:\t0\n");
    test::writeFile(root, "proc/self", "not a process");

    LinuxGpuSource source(root.filePath("proc").toStdString(), root.filePath("sys").toStdString(), false);
    GPUSampler gpu(nullptr);
    GpuReading r;
    const auto t0 = SteadyClock::time_point(10s);
    ASSERT_TRUE(source.read(r));
    ASSERT_EQ(r.engines.size(), 1u) << "one client held by two processes";
    EXPECT_EQ(gpu.update(&r, t0), 0);

    test::writeFile(root, "proc/42/fdinfo/3", fdinfo(5, 1250000000));
    test::writeFile(root, "proc/43/fdinfo/9", fdinfo(5, 1250000000));
    source.read(r);
    EXPECT_NEAR(gpu.update(&r, t0 + 500ms), 50.0, 1e-9);

    // A process that starts later is found on the next walk.
    link(root, "proc/77/fd/4", "/dev/dri/card0");
    test::writeFile(root, "proc/77/fdinfo/4", fdinfo(8, 0));
    DrmClientScanner scanner(root.filePath("proc").toStdString());
    std::vector<EngineBusy> engines;
    scanner.read(engines);
    EXPECT_EQ(engines.size(), 2u);
    QDir(root.filePath("proc/42")).removeRecursively();
    QDir(root.filePath("proc/43")).removeRecursively();
    engines.clear();
    scanner.read(engines);
    ASSERT_EQ(engines.size(), 1u) << "the vanished holders are skipped at once";
    EXPECT_EQ(engines[0].client, 8u);
}

TEST(LinuxGpuClients, AYoungProcessThatOpensItsDeviceLaterIsFoundOnTheNextPass) {
    QTemporaryDir root;
    link(root, "proc/50/fd/1", "/dev/null");
    link(root, "proc/60/fd/1", "/dev/null");
    DrmClientScanner scanner(root.filePath("proc").toStdString());
    std::vector<EngineBusy> engines;
    const auto t0 = std::chrono::steady_clock::time_point(1000s);
    scanner.read(engines, t0);
    EXPECT_TRUE(engines.empty());

    // Pid 50 sets up its GPU device two seconds after it was first looked at.
    link(root, "proc/50/fd/7", "/dev/dri/renderD128");
    test::writeFile(root, "proc/50/fdinfo/7", fdinfo(3, 500));
    scanner.read(engines, t0 + 2s);
    EXPECT_TRUE(engines.empty()) << "between passes only known descriptors are read";
    scanner.read(engines, t0 + 3s);
    ASSERT_EQ(engines.size(), 1u) << "not half a minute later, at the full walk";
    EXPECT_EQ(engines[0].pid, 50);

    // Past its first half minute a process is looked at again only by the full walk, so an
    // old one costs nothing on the passes in between.
    for (auto t = t0 + 6s; t <= t0 + 30s; t += 3s)
        scanner.read(engines, t);
    link(root, "proc/60/fd/8", "/dev/dri/renderD128");
    test::writeFile(root, "proc/60/fdinfo/8", fdinfo(4, 500));
    engines.clear();
    scanner.read(engines, t0 + 33s);
    EXPECT_EQ(engines.size(), 1u);
    engines.clear();
    scanner.read(engines, t0 + 60s);
    EXPECT_EQ(engines.size(), 2u) << "the full walk finds everything";
}

TEST(GpuUsageTotals, UtilisationSamplesBecomeRunningTimes) {
    static gpu_usage_table table{};  // large; keep it off the stack
    table = {};
    const uint64_t s = 1000000000;
    const int32_t pids[] = {10, 20, 10};
    const uint32_t util[] = {40, 100, 60};
    gpu_usage_accumulate(&table, pids, util, 3, 5 * s);
    int32_t outPids[4];
    uint64_t outTimes[4];
    EXPECT_EQ(gpu_usage_export(&table, outPids, outTimes, 4), 0) << "the first call only starts the clock";

    gpu_usage_accumulate(&table, pids, util, 3, 7 * s);
    ASSERT_EQ(gpu_usage_export(&table, outPids, outTimes, 4), 2);
    EXPECT_EQ(outPids[0], 10);
    EXPECT_EQ(outTimes[0], 1 * s) << "the mean of 40 % and 60 % over 2 s";
    EXPECT_EQ(outTimes[1], 2 * s);

    const int32_t one[] = {20};
    const uint32_t full[] = {250};  // out of range: counts as 100 %
    gpu_usage_accumulate(&table, one, full, 1, 107 * s);
    ASSERT_EQ(gpu_usage_export(&table, outPids, outTimes, 4), 1) << "pid 10 was not seen for a minute";
    EXPECT_EQ(outTimes[0], 12 * s) << "a 100 s gap counts as at most 10 s";
    EXPECT_EQ(gpu_usage_export(&table, outPids, outTimes, 0), 0);
}

TEST(RescanTimer, DueFirstThenAfterTheInterval) {
    linux_fs::RescanTimer timer(3s);
    const auto t = std::chrono::steady_clock::time_point(100s);
    EXPECT_TRUE(timer.due(t));
    EXPECT_FALSE(timer.due(t + 2s));
    EXPECT_TRUE(timer.due(t + 3s)) << "a hot-plugged device shows within the interval";
    timer.force();
    EXPECT_TRUE(timer.due(t + 3s));
}

TEST(LinuxBattery, AProgrammableUsbSupplyCountsAsMains) {
    // A USB-PD port in a programmable (PPS) contract reports online = 2, not 1.
    QTemporaryDir sys;
    test::writeFile(sys, "class/power_supply/BAT0/type", "Battery\n");
    test::writeFile(sys, "class/power_supply/BAT0/status", "Charging\n");
    test::writeFile(sys, "class/power_supply/BAT0/capacity", "40\n");
    test::writeFile(sys, "class/power_supply/ucsi-source-psy-1/type", "USB\n");
    test::writeFile(sys, "class/power_supply/ucsi-source-psy-1/online", "2\n");
    test::writeFile(sys, "class/power_supply/ucsi-source-psy-2/type", "USB\n");
    test::writeFile(sys, "class/power_supply/ucsi-source-psy-2/online", "0\n");
    BatterySampler battery(std::make_unique<PowerSupplyBatterySource>(sys.path().toStdString()));
    EXPECT_TRUE(battery.sample().acPower);

    test::writeFile(sys, "class/power_supply/ucsi-source-psy-1/online", "0\n");
    EXPECT_FALSE(battery.sample().acPower) << "both ports offline";
}
