#pragma once

#include "core/snapshot.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace velmora {

// One process's part in one moment of the history, small enough to keep for every moment a
// chart draws. Figures are kept to float precision (seven significant digits), memory exactly.
struct ProcShare {
    int32_t pid = 0;
    // True for the CPU of the process's children that ended within the interval, credited
    // to it through its reaped-children counters; false for the process's own figures.
    bool children = false;
    uint64_t startTime = 0;  // with the pid, tells this process apart from an earlier one
    uint64_t memBytes = 0;
    float cpu = 0;
    float gpuPercent = 0;
    float diskReadBps = 0;
    float diskWriteBps = 0;
    bool operator==(const ProcShare&) const = default;
};

// A process as the history knows it: its pid and start time.
struct ProcIdentity {
    int32_t pid = 0;
    uint64_t startTime = 0;
    bool operator==(const ProcIdentity&) const = default;
};

struct ProcIdentityHash {
    size_t operator()(const ProcIdentity& id) const noexcept {
        return std::hash<uint64_t>()(id.startTime * 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(id.pid));
    }
};

// The processes that carried one moment's load.
struct ProcMoment {
    TimePoint time;
    std::vector<ProcShare> shares;
};

// Per-process attribution for the whole history: for every snapshot that carries measured
// processes, the heaviest processes of each metric (CPU, memory, disk, GPU) with all their
// figures, and once per process its name. A snapshot without measured processes adds no
// moment, so "no moment at this time" means the processes of that time are unknown.
class AttributionLog {
  public:
    // Enough for every list a window shows of one moment.
    static constexpr size_t perMetric = 40;

    // Adds the moment of `s` when it carries measured processes; a moment at or before the
    // newest one kept replaces those after it (a clock set backwards).
    void add(const Snapshot& s);
    // Forgets the moments before `oldest`, and the names no kept moment refers to.
    void trimBefore(TimePoint oldest);
    void clear();

    const std::deque<ProcMoment>& moments() const { return moments_; }
    // The moment taken at exactly `t`; null when the processes of that time are unknown.
    const ProcMoment* at(TimePoint t) const;
    // The name the process had; empty when the log never saw it.
    QString name(ProcIdentity id) const;
    // The newest share of the process (its own figures, not its children's) and its time.
    const ProcShare* lastShare(ProcIdentity id, TimePoint* when = nullptr) const;
    // What the kept moments and names occupy, in bytes, their containers included.
    size_t bytes() const;

  private:
    struct Named {
        QString name;
        TimePoint lastSeen;
    };
    std::deque<ProcMoment> moments_;
    std::unordered_map<ProcIdentity, Named, ProcIdentityHash> names_;
    // Reused by every add().
    std::vector<uint32_t> order_;
    std::vector<uint8_t> picked_;
    TimePoint lastNameSweep_{};
};

}  // namespace velmora
