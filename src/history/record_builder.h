#pragma once

#include "core/attribution.h"
#include "core/snapshot.h"
#include "history/history_record.h"
#include "platform/net_proc.h"

#include <chrono>
#include <optional>
#include <unordered_map>

namespace velmora::history {

// Turns the stream of snapshots into records of about `cadence` each: the series' peaks and
// means, and each process's largest figures over the span, of which the heaviest are kept.
// Records follow each other without seams while snapshots do; a sleep, a clock stepped either
// way, or a long silence ends the record at the last snapshot before it, so what was not
// watched is a gap and no span runs backwards.
class RecordBuilder {
  public:
    using Mono = std::chrono::steady_clock::time_point;
    // A silence longer than this between two snapshots is a gap.
    static constexpr Millis kLongestTick = std::chrono::seconds(60);
    // Wall time running ahead of the monotonic clock by more than this means the machine slept
    // or the clock was set forward.
    static constexpr Millis kClockSlack = std::chrono::seconds(5);

    explicit RecordBuilder(Millis cadence, int perMetric = 10);

    // Feeds one snapshot, with the steady clock when it arrived. Returns the record it ends:
    // the one it completes, or the one a discontinuity before it cuts short.
    std::optional<Record> add(const Snapshot& s, Mono arrived);
    // Ends the open record at the last snapshot (on quit, or when remembering stops).
    std::optional<Record> flush();
    // Each process's traffic (in + out) as the per-process network measurement saw it, taken
    // into the open record. The measurement knows pids only: `current` lends each its start
    // stamp and name, and a pid it does not hold is left out rather than guessed.
    void noteNetwork(const std::vector<ProcNet>& procs, const Snapshot& current);

  private:
    std::optional<Record> close();
    void begin(Clock::time_point at);
    void take(const Snapshot& s);

    Millis cadence_;
    int perMetric_;
    bool open_ = false;
    Record current_;
    std::array<double, kSeriesCount> sums_{};
    int samples_ = 0;
    std::unordered_map<ProcIdentity, ProcessEntry, ProcIdentityHash> processes_;
    std::optional<Clock::time_point> lastWall_;
    Mono lastMono_{};
};

}  // namespace velmora::history
