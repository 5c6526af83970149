#pragma once

#include "core/snapshot.h"
#include "samplers/process_ranking.h"

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace velmora {

// How a row of the process tree sits in it.
struct ProcessTreeRow {
    int depth = 0;
    bool hasChildren = false;
    bool expanded = false;  // meaningful only with children
    int family = 0;         // descendants, the row itself not counted
    bool operator==(const ProcessTreeRow&) const = default;
};

// Parents and children of one snapshot's processes, flattened into the rows a table shows.
// A process's parent is the listed process whose pid is its ppid and which did not start after
// it; a process whose parent is not listed, or whose ppid now names a younger process (the pid
// was reused), is a root. Siblings are ordered by the table's key on the figures their rows
// show, so a collapsed parent ranks by its family's totals. Buffers are kept between builds.
class ProcessTree {
  public:
    // Processes by pid and start stamp: the parents the user folded.
    using Collapsed = std::set<std::pair<int32_t, uint64_t>>;

    // `processes` are the rows to arrange (their stableScore set where the cumulative order
    // applies); at most `limit` rows come out, in display order. A collapsed parent's row
    // carries its family's totals (its own figures plus every descendant's).
    void build(const std::vector<ProcInfo>& processes, const ProcTableOptions& options, const Collapsed& collapsed,
               size_t limit, std::vector<ProcInfo>& rows, std::vector<ProcessTreeRow>& shape);

    // The family totals of `into` with `p` added.
    static void addTo(ProcInfo& into, const ProcInfo& p);

  private:
    std::vector<std::pair<int32_t, uint32_t>> byPid_;
    std::vector<int32_t> parent_;
    std::vector<uint8_t> mark_;
    std::vector<uint32_t> start_;  // per parent (the last one for roots): its first child in kids_
    std::vector<uint32_t> kids_;
    std::vector<uint32_t> fill_;
    std::vector<uint32_t> order_;  // post-order of the nodes
    std::vector<ProcInfo> totals_;
    std::vector<int> family_;
    std::vector<uint8_t> folded_;
    std::vector<std::pair<uint32_t, int>> stack_;
};

}  // namespace velmora
