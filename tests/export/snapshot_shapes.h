#pragma once

#include "core/snapshot.h"
#include "export/exposition.h"

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace velmora::test {

// Made-up snapshots of every shape a scrape can meet, for the format checks.
struct SnapshotShape {
    std::string name;
    Snapshot snapshot;
};

inline Snapshot calmSnapshot() {
    Snapshot s;
    s.cpuTotal = 7.5;
    s.cpuPerCore = {10, 5, 2.5, 12.5};
    s.memUsed = 6ull << 30;
    s.memTotal = 16ull << 30;
    s.memCompressed = 512ull << 20;
    s.swapUsed = 0;
    s.memPercent = 37.5;
    s.diskUsed = 200ull << 30;
    s.diskTotal = 500ull << 30;
    s.diskPercent = 40;
    s.diskReadBps = 1024;
    s.diskWriteBps = 4096.5;
    s.diskReadBytes = 123456789;
    s.diskWrittenBytes = 987654321;
    s.gpuPercent = 3;
    s.netInBps = 1500;
    s.netOutBps = 300;
    s.netInBytes = 1'000'000;
    s.netOutBytes = 250'000;
    s.battery.present = true;
    s.battery.percent = 80;
    s.battery.timeToEmptyMin = 245;
    s.battery.cycleCount = 312;
    s.battery.healthPercent = 91.5;
    s.fans = {{.rpm = 1200, .target = 1200, .minRPM = 1000, .maxRPM = 5000}, {.rpm = 0}};
    s.cpuTempC = 45.25;
    s.gpuTempC = 40;
    s.hottestC = 48;
    s.cpuPowerW = 3.5;
    s.sensors = {{"CPU coretemp Package id 0", 48}, {"nvme Composite", 38.85}, {"nvme Composite", 36.85}};
    return s;
}

inline Snapshot criticalSnapshot() {
    Snapshot s = calmSnapshot();
    s.cpuTotal = 99.5;
    s.cpuPerCore = {100, 100, 98, 100};
    s.memPercent = 97;
    s.memUsed = s.memTotal / 100 * 97;
    s.swapUsed = 8ull << 30;
    s.gpuPercent = 100;
    s.thermalState = ThermalState::critical;
    s.cpuTempC = 104;
    s.hottestC = 105.5;
    s.gpuPowerW = 55;
    s.anePowerW = 0.5;
    s.battery.charging = true;
    s.battery.acPower = true;
    s.battery.timeToEmptyMin.reset();
    s.battery.timeToFullMin = 30;
    s.fans[1] = {.rpm = 6200, .target = 6500, .minRPM = 1000, .maxRPM = 6500};
    return s;
}

inline std::vector<ProcInfo> oddProcesses() {
    return {
        {.pid = 1, .name = "systemd", .cpu = 0.5, .memBytes = 12 << 20},
        {.pid = 4242, .name = "say \"hello\"", .cpu = 180, .memBytes = 1ull << 30, .diskReadBps = 100},
        {.pid = 77, .name = "C:\\path\\tool.exe", .cpu = 12, .memBytes = 4096},
        {.pid = 78, .name = "two\nlines", .cpu = 11},
        {.pid = 79, .name = "tab\tand \\n literal", .cpu = 10},
        {.pid = 80, .name = "日本語 プロセス", .cpu = 9},
        {.pid = 81, .name = "", .cpu = 8},
        {.pid = 82, .name = "}{,=\"\\\n", .cpu = 7},
        {.pid = 4242, .name = "same pid twice", .cpu = 1},
    };
}

inline std::vector<SnapshotShape> everyShape() {
    std::vector<SnapshotShape> shapes;
    shapes.push_back({"calm", calmSnapshot()});
    shapes.push_back({"critical", criticalSnapshot()});
    Snapshot noBattery = calmSnapshot();
    noBattery.battery = {};
    shapes.push_back({"no battery", noBattery});
    Snapshot noSensors = calmSnapshot();
    noSensors.sensors.clear();
    noSensors.cpuTempC.reset();
    noSensors.gpuTempC.reset();
    noSensors.hottestC.reset();
    noSensors.cpuPowerW.reset();
    noSensors.fans.clear();
    shapes.push_back({"no sensors", noSensors});
    Snapshot odd = criticalSnapshot();
    odd.processes = oddProcesses();
    shapes.push_back({"odd process names", odd});
    Snapshot failed;  // every reader failed: totals 0, nothing optional
    shapes.push_back({"nothing read", failed});
    Snapshot extreme = calmSnapshot();
    extreme.cpuTotal = std::numeric_limits<double>::quiet_NaN();
    extreme.netInBps = std::numeric_limits<double>::infinity();
    extreme.diskReadBytes = std::numeric_limits<uint64_t>::max();
    extreme.processes = {{.pid = 5, .name = "nan", .cpu = std::numeric_limits<double>::quiet_NaN()}};
    shapes.push_back({"non-finite values", extreme});
    return shapes;
}

inline ExpositionContext shapeContext(int processes = 50) {
    return {{QStringLiteral("performance"), QStringLiteral("performance"), QStringLiteral("efficiency"),
             QStringLiteral("efficiency")},
            QStringLiteral("0.1.0"),
            processes,
            true};
}

}  // namespace velmora::test
