#pragma once

#include "core/snapshot.h"

#include <QString>

#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

namespace velmora {

// The process table's sort column; its raw value is the column's label.
enum class ProcSortKey { cpu, gpu, mem, disk, energy, name, pid, threads, nice, started, readTotal, writeTotal };

QString rawValue(ProcSortKey key);
std::optional<ProcSortKey> procSortKeyFromRaw(const QString& raw);
const std::array<ProcSortKey, 12>& allProcSortKeys();
// Keys whose cumulative order is kept steady by a smoothed score: the load columns.
bool rankStabilized(ProcSortKey key);
// The figure a row is sorted by in real-time order (not used for `name`).
double sortValue(const ProcInfo& p, ProcSortKey key);

// Smoothed per-process scores of the four load figures: a slow average mixed with a
// decaying peak, so the cumulative order does not jump from tick to tick.
class ProcessRanker {
  public:
    struct S {
        double ema = 0;
        double peak = 0;
        double smooth = 0;  // the score
    };

    static constexpr double alpha = 0.1;    // average gain
    static constexpr double lambda = 0.95;  // peak decay per tick
    static constexpr double w1 = 0.8;       // weight of the average
    static constexpr double w2 = 0.2;       // weight of the peak
    static constexpr double beta = 0.15;    // smoothing gain of the score
    static constexpr double seed = 0.25;    // share of the first value a new entry starts from

    // Feeds one snapshot's processes; a pid missing from `procs` loses its history.
    void tick(const std::vector<ProcInfo>& procs);
    // `smooth` for the load keys, 0 for other keys and unknown pids.
    double metricScore(int32_t pid, ProcSortKey key) const;
    // The scores of one load key, or nothing.
    std::optional<S> scores(int32_t pid, ProcSortKey key) const;
    size_t size() const { return entries_.size(); }

  private:
    // One entry per pid holds the four metrics' scores: cpu, energy, disk, gpu.
    struct Entry {
        std::array<S, 4> s;
        uint32_t seen = 0;
    };
    std::unordered_map<int32_t, Entry> entries_;
    uint32_t generation_ = 0;
};

struct ProcTableOptions {
    ProcSortKey key = ProcSortKey::cpu;
    bool ascending = false;
    bool cumulativeRank = true;  // the setting of that name
    bool groupByName = false;
    QString search = {};
};

// The dashboard's process rows: the ranker, and the previous stabilised order that keeps
// neighbouring rows in place while their scores stay close.
class ProcessTable {
  public:
    static constexpr double rankHysteresisBand = 0.15;
    static constexpr size_t rowLimit = 250;

    // Every new snapshot, in both ranking modes, so the cumulative order is ready at once.
    void tick(const std::vector<ProcInfo>& procs) { ranker_.tick(procs); }
    // Filters, groups, sorts and caps one snapshot's processes into table rows.
    std::vector<ProcInfo> recompute(const std::vector<ProcInfo>& processes, const ProcTableOptions& options);
    void sortRows(std::vector<ProcInfo>& rows, const ProcTableOptions& options) const;
    // A new grouping, sort or ranking mode starts its order afresh.
    void forgetOrder() { prevRank_.clear(); }

    const ProcessRanker& ranker() const { return ranker_; }
    const std::unordered_map<int32_t, int>& prevRank() const { return prevRank_; }

  private:
    ProcessRanker ranker_;
    std::unordered_map<int32_t, int> prevRank_;
};

}  // namespace velmora
