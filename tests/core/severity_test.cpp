#include "core/snapshot.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {
Snapshot idle() {
    Snapshot s;
    return s;
}
}  // namespace

TEST(Severity, CpuStepsAlone) {
    Snapshot s = idle();
    const std::pair<double, Severity> cases[] = {
        {49.9, Severity::normal}, {50, Severity::elevated}, {69.9, Severity::elevated}, {70, Severity::high},
        {89.9, Severity::high},   {90, Severity::critical}, {95, Severity::critical}};
    for (auto [cpu, expected] : cases) {
        s.cpuTotal = cpu;
        EXPECT_EQ(s.severity(), expected) << cpu;
    }
}

TEST(Severity, MemoryAndGpuOnlyRaise) {
    Snapshot s = idle();
    s.cpuTotal = 10;
    s.memPercent = 80;
    EXPECT_EQ(s.severity(), Severity::elevated);
    s.memPercent = 85;
    EXPECT_EQ(s.severity(), Severity::high);
    s.memPercent = 92;
    EXPECT_EQ(s.severity(), Severity::critical);

    // A lower memory level never lowers what CPU already reached.
    s.cpuTotal = 72;
    s.memPercent = 76;
    EXPECT_EQ(s.severity(), Severity::high);

    s = idle();
    s.gpuPercent = 74.9;
    EXPECT_EQ(s.severity(), Severity::normal);
    s.gpuPercent = 75;
    EXPECT_EQ(s.severity(), Severity::high);
    s.gpuPercent = 90;
    EXPECT_EQ(s.severity(), Severity::critical);
}

TEST(Severity, ThermalState) {
    Snapshot s = idle();
    s.thermalState = ThermalState::fair;
    EXPECT_EQ(s.severity(), Severity::elevated);
    s.thermalState = ThermalState::serious;
    EXPECT_EQ(s.severity(), Severity::high);
    s.thermalState = ThermalState::critical;
    EXPECT_EQ(s.severity(), Severity::critical);
}

TEST(Severity, TemperaturePrefersCpuThenHottest) {
    Snapshot s = idle();
    s.hottestC = 95;  // only the hottest sensor: it counts
    EXPECT_EQ(s.severity(), Severity::high);
    s.cpuTempC = 70;  // a CPU reading takes precedence over the hottest sensor
    EXPECT_EQ(s.severity(), Severity::normal);
    s.cpuTempC = 80;
    EXPECT_EQ(s.severity(), Severity::elevated);
    s.cpuTempC = 100;
    EXPECT_EQ(s.severity(), Severity::critical);

    // No temperatures at all leaves the earlier steps' result.
    s = idle();
    s.cpuTotal = 60;
    EXPECT_EQ(s.severity(), Severity::elevated);
}
