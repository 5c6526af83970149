#include "ui/popover/popover_model.h"

#include "core/localizer.h"
#include "ui/common/gauge_row.h"
#include "ui/common/system_colors.h"

#include <gtest/gtest.h>

#include <limits>

using namespace velmora;

namespace {

Localizer& english() {
    static Localizer loc({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                         [] { return QStringList(); });
    return loc;
}

PopoverModel modelOf(const Snapshot& s) {
    return buildPopoverModel(s, 25, english());
}

ProcInfo proc(int32_t pid, const QString& name, double cpu, uint64_t mem = 0) {
    ProcInfo p;
    p.pid = pid;
    p.name = name;
    p.cpu = cpu;
    p.memBytes = mem;
    return p;
}

}  // namespace

TEST(PopoverScale, DiskStepsAtTheirExactLimits) {
    Snapshot s;
    s.diskReadBps = 6'000'000;
    s.diskWriteBps = 4'000'000;
    GaugeSpec disk = modelOf(s).gauges[3];
    EXPECT_EQ(disk.scaleHint, std::optional<QString>("10MB"));
    EXPECT_DOUBLE_EQ(disk.value, 100.0);

    s.diskWriteBps = 4'000'001;
    disk = modelOf(s).gauges[3];
    EXPECT_EQ(disk.scaleHint, std::optional<QString>("100MB"));
    EXPECT_NEAR(disk.value, 10.0, 0.001);

    s.diskReadBps = 9e9;
    disk = modelOf(s).gauges[3];
    EXPECT_EQ(disk.scaleHint, std::optional<QString>("5GB"));
    EXPECT_DOUBLE_EQ(disk.value, 100.0);
}

TEST(PopoverScale, NetworkIsInLinkSpeeds) {
    EXPECT_STREQ(pickScale(1'250'000, networkScale()).label, "10Mb");
    EXPECT_STREQ(pickScale(1'250'001, networkScale()).label, "100Mb");
    EXPECT_STREQ(pickScale(125'000'000, networkScale()).label, "1Gb");
    EXPECT_STREQ(pickScale(0, networkScale()).label, "10Mb");
    Snapshot s;
    s.netInBps = 2e9;
    s.netOutBps = 1;
    const GaugeSpec net = modelOf(s).gauges[4];
    EXPECT_EQ(net.scaleHint, std::optional<QString>("10Gb")) << "above the largest step keeps it";
    EXPECT_DOUBLE_EQ(net.value, 100.0) << "and the bar stays full";
}

TEST(PopoverRows, GaugesShowLabelsDetailsAndArrows) {
    Snapshot s;
    s.cpuTotal = 42.5;
    s.memPercent = 50;
    s.memUsed = 8ull << 30;
    s.memTotal = 16ull << 30;
    s.gpuPercent = 7.4;
    s.diskReadBps = 1536;
    s.diskWriteBps = 0;
    s.netInBps = 2048;
    s.netOutBps = 512;
    const PopoverModel m = modelOf(s);
    EXPECT_EQ(m.gauges[0].label, "CPU");
    EXPECT_EQ(m.gauges[0].detail, "42%") << "%.0f rounds half to even like printf";
    EXPECT_FALSE(m.gauges[0].scaleHint.has_value());
    EXPECT_EQ(m.gauges[1].label, "Memory");
    EXPECT_EQ(m.gauges[1].detail, "8.0 GB / 16.0 GB");
    EXPECT_EQ(m.gauges[2].detail, "7%");
    EXPECT_EQ(m.gauges[3].label, "Disk I/O");
    EXPECT_EQ(m.gauges[3].detail, "↓1.5 KB/s  ↑0 B/s");
    EXPECT_EQ(m.gauges[4].label, "Network");
    EXPECT_EQ(m.gauges[4].detail, "↓2.0 KB/s  ↑512 B/s");
    EXPECT_EQ(m.header, "System load: " + english().t("sevNormal"));
}

TEST(PopoverRows, BrokenRatesShowAsZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Snapshot s;
    s.cpuTotal = nan;
    s.diskReadBps = -100;
    s.diskWriteBps = nan;
    s.netInBps = std::numeric_limits<double>::infinity();
    s.netOutBps = -1;
    const PopoverModel m = modelOf(s);
    EXPECT_EQ(m.gauges[0].detail, "0%");
    EXPECT_EQ(m.gauges[0].value, 0);
    EXPECT_EQ(m.gauges[3].detail, "↓0 B/s  ↑0 B/s");
    EXPECT_EQ(m.gauges[3].value, 0);
    EXPECT_EQ(m.gauges[4].value, 0);
    EXPECT_EQ(m.gauges[4].scaleHint, std::optional<QString>("10Mb"));
}

TEST(PopoverRows, BatteryAndFansOnlyWhenPresent) {
    Snapshot s;
    PopoverModel m = modelOf(s);
    EXPECT_FALSE(m.battery.has_value()) << "no battery";
    EXPECT_FALSE(m.fanText.has_value()) << "no fans";

    s.battery.present = true;
    s.battery.percent = 19.9;
    s.battery.charging = true;
    s.fans = {{.rpm = 1200.7}, {.rpm = 2400.2}, {.rpm = std::numeric_limits<double>::quiet_NaN()}};
    m = modelOf(s);
    ASSERT_TRUE(m.battery.has_value());
    EXPECT_EQ(m.battery->symbol, "battery.100.bolt");
    EXPECT_TRUE(m.battery->low);
    EXPECT_EQ(m.battery->text, "19%");
    EXPECT_EQ(m.fanText, std::optional<QString>("2400 RPM"));

    s.battery.percent = 20;
    s.battery.charging = false;
    s.fans = {{.rpm = 0.6}};
    m = modelOf(s);
    EXPECT_EQ(m.battery->symbol, "battery.75");
    EXPECT_FALSE(m.battery->low);
    EXPECT_FALSE(m.fanText.has_value()) << "a fan below 1 rpm is stopped";
}

TEST(PopoverRows, ThermalRowOmitsAbsentTemperatures) {
    Snapshot s;
    PopoverModel m = modelOf(s);
    EXPECT_FALSE(m.thermalWarning);
    EXPECT_EQ(m.thermalText, "Thermal state: " + english().t("thermNominal"));
    EXPECT_FALSE(m.cpuTempText.has_value());
    EXPECT_FALSE(m.gpuTempText.has_value());

    s.thermalState = ThermalState::serious;
    s.cpuTempC = 71.6;
    m = modelOf(s);
    EXPECT_TRUE(m.thermalWarning);
    EXPECT_EQ(m.thermalText, "Thermal state: " + english().t("thermSerious"));
    EXPECT_EQ(m.cpuTempText, std::optional<QString>("(CPU 72°C)"));
    EXPECT_FALSE(m.gpuTempText.has_value());
    s.gpuTempC = 50;
    EXPECT_EQ(modelOf(s).gpuTempText, std::optional<QString>("(GPU 50°C)"));
}

TEST(PopoverHeavy, FirstFiveAtOrAboveTheThresholdInStoredOrder) {
    Snapshot s;
    EXPECT_TRUE(modelOf(s).heavy.empty()) << "empty process list: the calm seal";
    s.processes = {
        proc(1, "a", 24.99), proc(2, "b", 25),  proc(3, "c", 300, 1 << 20),
        proc(4, "d", 10),    proc(5, "e", 40),  proc(6, "f", 26),
        proc(7, "g", 99),    proc(8, "h", 500), proc(9, "i", std::numeric_limits<double>::quiet_NaN())};
    const PopoverModel m = modelOf(s);
    ASSERT_EQ(m.heavy.size(), 5u);
    std::vector<int32_t> pids;
    for (const HeavyLine& h : m.heavy)
        pids.push_back(h.pid);
    EXPECT_EQ(pids, (std::vector<int32_t>{2, 3, 5, 6, 7})) << "not re-sorted, 500 % comes sixth";
    EXPECT_EQ(m.heavy[1].memory, "1.0 MB");
    EXPECT_EQ(m.heavy[1].cpuText, "300%");

    s.processes = {proc(1, "quiet", 24)};
    EXPECT_TRUE(modelOf(s).heavy.empty());

    s.processes = {proc(1, "two\nlines\tname", 30)};
    EXPECT_EQ(modelOf(s).heavy[0].name, QStringLiteral("two\uFFFDlines\uFFFDname")) << "one line per process";
}

// The heavy-process section's state for each kind of process list.
TEST(PopoverHeavy, MeasuringUntilTheListIsMeasured) {
    struct Case {
        const char* name;
        std::vector<ProcInfo> processes;
        bool measured;
        bool measuring;
        size_t heavy;
    };
    const Case cases[] = {
        {"nothing sampled yet", {}, false, true, 0},
        {"first pass: every process at 0 %", {proc(1, "compiler", 0), proc(2, "idle", 0)}, false, true, 0},
        {"measured, nothing at 25 % or more: popNoLoad", {proc(1, "quiet", 24.9)}, true, false, 0},
        {"measured and empty: popNoLoad", {}, true, false, 0},
        {"measured and busy", {proc(1, "compiler", 180)}, true, false, 1},
        {"a figure known without measuring still shows", {proc(1, "windowserver", 40)}, false, false, 1},
    };
    for (const Case& c : cases) {
        Snapshot s;
        s.processes = c.processes;
        s.processesMeasured = c.measured;
        const PopoverModel m = modelOf(s);
        EXPECT_EQ(m.measuring, c.measuring) << c.name;
        EXPECT_EQ(m.heavy.size(), c.heavy) << c.name;
    }
}

TEST(PopoverColours, ThresholdsAreInclusive) {
    EXPECT_EQ(processCpuColor(34.99), SystemColor::green());
    EXPECT_EQ(processCpuColor(35), SystemColor::yellow());
    EXPECT_EQ(processCpuColor(50), SystemColor::orange());
    EXPECT_EQ(processCpuColor(100), SystemColor::red());
    EXPECT_EQ(GaugeRow::fillColor(48.9), SystemColor::green());
    EXPECT_EQ(GaugeRow::fillColor(49), SystemColor::yellow());
    EXPECT_EQ(GaugeRow::fillColor(70), SystemColor::orange());
    EXPECT_EQ(GaugeRow::fillColor(90), SystemColor::red());
    EXPECT_EQ(SystemColor::forSeverity(Severity::normal), SystemColor::green());
    EXPECT_EQ(SystemColor::forSeverity(Severity::elevated), SystemColor::yellow());
    EXPECT_EQ(SystemColor::forSeverity(Severity::high), SystemColor::orange());
    EXPECT_EQ(SystemColor::forSeverity(Severity::critical), SystemColor::red());

    Snapshot s;
    s.processes = {proc(1, "x", 35), proc(2, "y", 50), proc(3, "z", 100)};
    const PopoverModel m = modelOf(s);
    EXPECT_EQ(m.heavy[0].cpuColor, SystemColor::yellow());
    EXPECT_EQ(m.heavy[1].cpuColor, SystemColor::orange());
    EXPECT_EQ(m.heavy[2].cpuColor, SystemColor::red());
}
