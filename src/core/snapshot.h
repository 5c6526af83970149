#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

using WallClock = std::chrono::system_clock;
using TimePoint = WallClock::time_point;

// Overall load level, ordered so that a larger value is worse.
enum class Severity : int { normal = 0, elevated = 1, high = 2, critical = 3 };

// The operating system's thermal pressure level.
enum class ThermalState : int { nominal = 0, fair = 1, serious = 2, critical = 3 };

struct FanInfo {
    double rpm = 0;
    double target = 0;
    double minRPM = 0;
    double maxRPM = 0;
    bool operator==(const FanInfo&) const = default;
};

struct BatteryInfo {
    bool present = false;
    double percent = 0;
    bool charging = false;
    bool acPower = false;
    std::optional<int> timeToEmptyMin;
    std::optional<int> timeToFullMin;
    std::optional<int> cycleCount;
    std::optional<double> healthPercent;
    bool operator==(const BatteryInfo&) const = default;
};

// One named temperature sensor with a plausible reading.
struct TemperatureSensor {
    QString name;
    double celsius = 0;
    bool operator==(const TemperatureSensor&) const = default;
};

// One process of a snapshot. Identity is `pid` with `startTime`: a pid may be reused.
struct ProcInfo {
    int32_t pid = 0;
    uint64_t startTime = 0;  // as the process source reports it; 0 when unknown
    QString name;
    double cpu = 0;  // percent of one core; may exceed 100
    // CPU of children that ended within the interval, beyond what their own rows showed,
    // taken from the process's reaped-children counters.
    double childrenCpu = 0;
    uint64_t memBytes = 0;
    double diskReadBps = 0;
    double diskWriteBps = 0;
    double energyImpact = 0;
    double gpuPercent = 0;
    bool isSystem = false;
    double stableScore = 0;  // written only by the dashboard's ranking into its own copies
    // Facts the same read of the process gives for free, for the table's optional columns.
    int32_t ppid = 0;
    int32_t threads = 0;
    int32_t nice = 0;
    char state = 0;          // the system's one-letter run state; 0 when unknown
    int64_t startedSec = 0;  // wall-clock start, seconds since the epoch; 0 when unknown
    uint64_t diskReadTotal = 0;  // bytes since the process began
    uint64_t diskWriteTotal = 0;
    bool operator==(const ProcInfo&) const = default;
};

// One sampling instant. Percentages are 0–100, rates bytes per second, sizes bytes,
// temperatures °C, powers watts; optionals are absent when unknown.
struct Snapshot {
    TimePoint time = WallClock::now();
    double cpuTotal = 0;
    std::vector<double> cpuPerCore;
    uint64_t memUsed = 0;
    uint64_t memTotal = 0;
    uint64_t memCompressed = 0;
    uint64_t swapUsed = 0;
    double memPercent = 0;
    uint64_t diskUsed = 0;
    uint64_t diskTotal = 0;
    double diskPercent = 0;
    double diskReadBps = 0;
    double diskWriteBps = 0;
    // Bytes read and written since sampling began, summed over the same devices as the rates
    // and never falling (a device that goes away takes nothing back).
    uint64_t diskReadBytes = 0;
    uint64_t diskWrittenBytes = 0;
    double gpuPercent = 0;
    double netInBps = 0;
    double netOutBps = 0;
    // Bytes received and sent since sampling began, counted like the rates.
    uint64_t netInBytes = 0;
    uint64_t netOutBytes = 0;
    BatteryInfo battery;
    std::vector<FanInfo> fans;
    ThermalState thermalState = ThermalState::nominal;
    std::optional<double> cpuTempC;
    std::optional<double> gpuTempC;
    std::optional<double> hottestC;
    std::optional<double> cpuPowerW;
    std::optional<double> gpuPowerW;
    std::optional<double> anePowerW;
    // Every sensor behind the temperatures above; the engine keeps it on the current snapshot
    // only, not in the history.
    std::vector<TemperatureSensor> sensors;
    std::vector<ProcInfo> processes;
    // True when `processes` carries rates measured over an interval since a baseline taken
    // while a process view was open. Until then every process would read 0 %, so views show
    // that they are still measuring rather than "nothing is busy".
    bool processesMeasured = false;

    Severity severity() const;
};

// A double field of Snapshot that charts can follow.
using SnapshotField = double Snapshot::*;

// Tells a chart point apart from the others of its series, and names the same snapshot's
// point alike in every call, so a view can match points between redraws. A point stands for
// one snapshot, and snapshots differ by time stamp; the rare ones that share a time stamp
// (a clock stepped back to the nanosecond) are told apart by their order in the history.
struct MetricPointId {
    int64_t timeNs = 0;   // the snapshot's time stamp, nanoseconds since the epoch
    uint32_t repeat = 0;  // how many snapshots just before this one share its time stamp
    friend auto operator<=>(const MetricPointId&, const MetricPointId&) = default;
};

// One chart point.
struct MetricPoint {
    MetricPointId id;
    TimePoint time;
    double value = 0;
};

}  // namespace velmora
