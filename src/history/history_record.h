#pragma once

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

namespace velmora::history {

using Clock = std::chrono::system_clock;
using Millis = std::chrono::milliseconds;

// What a record ranks processes by; the order is stored in the database, so append only.
enum class Metric : uint8_t { cpu = 0, memory = 1, disk = 2, network = 3, gpu = 4 };
inline constexpr int kMetricCount = 5;

// The system series the charts draw; stored by index, so append only.
enum class Series : uint8_t {
    cpuPercent = 0,
    memPercent = 1,
    gpuPercent = 2,
    diskReadBps = 3,
    diskWriteBps = 4,
    netInBps = 5,
    netOutBps = 6,
};
inline constexpr int kSeriesCount = 7;

struct SeriesStat {
    double peak = 0;
    double mean = 0;
    bool operator==(const SeriesStat&) const = default;
};

// One process as a record remembers it. `startTime` (the kernel's start stamp, in clock
// ticks since boot on Linux) tells a reused pid apart; command lines are never kept.
struct ProcessEntry {
    int32_t pid = 0;
    uint64_t startTime = 0;
    QString name;
    QString path;
    // Per metric: CPU percent of one core, memory bytes, disk bytes/s (read + write),
    // network bytes/s (in + out), GPU percent.
    std::array<float, kMetricCount> values{};
    float value(Metric m) const { return values[static_cast<int>(m)]; }
    bool sameProcess(const ProcessEntry& o) const { return pid == o.pid && startTime == o.startTime; }
    bool operator==(const ProcessEntry&) const = default;
};

enum class Resolution : uint8_t { full = 0, minute = 1 };

// One stored span: the system series over [start, end) and the heaviest processes in it.
struct Record {
    Clock::time_point start;
    Clock::time_point end;
    Resolution resolution = Resolution::full;
    // False when no process was measured in the span: its processes are unknown, which is
    // not the same as none being heavy.
    bool processesKnown = true;
    std::array<SeriesStat, kSeriesCount> series{};
    std::vector<ProcessEntry> processes;

    const SeriesStat& stat(Series s) const { return series[static_cast<int>(s)]; }
    SeriesStat& stat(Series s) { return series[static_cast<int>(s)]; }
    bool operator==(const Record&) const = default;
};

// Keeps, for each metric, the `perMetric` processes with the largest non-zero value (the
// union of those lists, heaviest first by the first metric that chose them); ties keep the
// lower pid so the choice does not depend on input order. A kept process keeps only the
// values of the metrics that chose it: the record answers "who was heaviest", and the
// other figures would double what it takes on disk.
std::vector<ProcessEntry> heaviest(std::vector<ProcessEntry> all, int perMetric);

// Folds the records of one minute (or any run of adjacent records) into one: peaks are the
// largest, means weighted by each record's length, and each process keeps its largest value
// per metric before the heaviest `perMetric` are chosen.
Record fold(const std::vector<Record>& records, Resolution resolution, int perMetric);

}  // namespace velmora::history
