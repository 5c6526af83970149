#include "ui/dashboard/process_tree.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

double finite(double v) {
    return std::isfinite(v) ? v : 0.0;
}

}  // namespace

void ProcessTree::addTo(ProcInfo& into, const ProcInfo& p) {
    into.cpu += p.cpu;
    into.childrenCpu += p.childrenCpu;
    into.memBytes += p.memBytes;
    into.diskReadBps += p.diskReadBps;
    into.diskWriteBps += p.diskWriteBps;
    into.energyImpact += p.energyImpact;
    into.gpuPercent += p.gpuPercent;
    into.stableScore += p.stableScore;
    into.threads += p.threads;
    into.diskReadTotal += p.diskReadTotal;
    into.diskWriteTotal += p.diskWriteTotal;
}

void ProcessTree::build(const std::vector<ProcInfo>& processes, const ProcTableOptions& options,
                        const Collapsed& collapsed, size_t limit, std::vector<ProcInfo>& rows,
                        std::vector<ProcessTreeRow>& shape) {
    rows.clear();
    shape.clear();
    const auto n = static_cast<uint32_t>(processes.size());
    if (n == 0 || limit == 0) return;

    byPid_.clear();
    for (uint32_t i = 0; i < n; ++i)
        byPid_.push_back({processes[i].pid, i});
    std::sort(byPid_.begin(), byPid_.end());

    // Each process's parent, when it is listed and not younger than the child.
    parent_.assign(n, -1);
    for (uint32_t i = 0; i < n; ++i) {
        const ProcInfo& p = processes[i];
        if (p.ppid == p.pid) continue;
        const auto it = std::lower_bound(byPid_.begin(), byPid_.end(), std::pair<int32_t, uint32_t>{p.ppid, 0});
        if (it == byPid_.end() || it->first != p.ppid) continue;
        const ProcInfo& q = processes[it->second];
        const bool reused = q.startTime != 0 && p.startTime != 0 && q.startTime > p.startTime;
        if (!reused) parent_[i] = static_cast<int32_t>(it->second);
    }

    // Listings taken process by process can disagree (or be malformed) into a loop of parents;
    // the loop is cut where the walk first meets it, and that process becomes a root.
    mark_.assign(n, 0);  // 0 unseen, 1 on the current walk, 2 settled
    for (uint32_t i = 0; i < n; ++i) {
        if (mark_[i] != 0) continue;
        fill_.clear();
        int32_t j = static_cast<int32_t>(i);
        while (j >= 0 && mark_[j] == 0) {
            mark_[j] = 1;
            fill_.push_back(static_cast<uint32_t>(j));
            j = parent_[j];
        }
        if (j >= 0 && mark_[j] == 1) parent_[j] = -1;
        for (uint32_t k : fill_)
            mark_[k] = 2;
    }

    // Children of each process side by side in kids_; the roots under the extra slot n.
    start_.assign(n + 2, 0);
    for (uint32_t i = 0; i < n; ++i)
        ++start_[(parent_[i] < 0 ? n : static_cast<uint32_t>(parent_[i])) + 1];
    for (uint32_t p = 0; p <= n; ++p)
        start_[p + 1] += start_[p];
    kids_.resize(n);
    fill_.assign(start_.begin(), start_.end() - 1);
    for (uint32_t i = 0; i < n; ++i)
        kids_[fill_[parent_[i] < 0 ? n : static_cast<uint32_t>(parent_[i])]++] = i;

    // Family totals, children before their parents.
    order_.clear();
    fill_.assign(kids_.begin() + start_[n], kids_.begin() + start_[n + 1]);
    while (!fill_.empty()) {
        const uint32_t v = fill_.back();
        fill_.pop_back();
        order_.push_back(v);
        fill_.insert(fill_.end(), kids_.begin() + start_[v], kids_.begin() + start_[v + 1]);
    }
    totals_.assign(processes.begin(), processes.end());
    family_.assign(n, 0);
    for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
        const int32_t p = parent_[*it];
        if (p < 0) continue;
        addTo(totals_[p], totals_[*it]);
        family_[p] += family_[*it] + 1;
    }

    folded_.assign(n, 0);
    if (!collapsed.empty())
        for (uint32_t i = 0; i < n; ++i)
            folded_[i] = family_[i] > 0 && collapsed.contains({processes[i].pid, processes[i].startTime});

    // Siblings in the table's order, each by the figures its row shows.
    const auto shown = [&](uint32_t i) -> const ProcInfo& { return folded_[i] ? totals_[i] : processes[i]; };
    const bool asc = options.ascending;
    const bool byScore = options.cumulativeRank && rankStabilized(options.key);
    for (uint32_t p = 0; p <= n; ++p) {
        const auto first = kids_.begin() + start_[p], last = kids_.begin() + start_[p + 1];
        if (last - first < 2) continue;
        if (options.key == ProcSortKey::name) {
            std::sort(first, last, [&](uint32_t a, uint32_t b) {
                const int c = QString::compare(processes[a].name, processes[b].name, Qt::CaseInsensitive);
                if (c != 0) return asc ? c < 0 : c > 0;
                return processes[a].pid < processes[b].pid;
            });
            continue;
        }
        std::sort(first, last, [&](uint32_t a, uint32_t b) {
            const double x = finite(byScore ? shown(a).stableScore : sortValue(shown(a), options.key));
            const double y = finite(byScore ? shown(b).stableScore : sortValue(shown(b), options.key));
            if (x != y) return asc ? x < y : x > y;
            return processes[a].pid < processes[b].pid;
        });
    }

    // The rows, depth first; a folded parent's family stays out of sight.
    stack_.clear();
    for (uint32_t k = start_[n + 1]; k > start_[n]; --k)
        stack_.push_back({kids_[k - 1], 0});
    while (!stack_.empty() && rows.size() < limit) {
        const auto [v, depth] = stack_.back();
        stack_.pop_back();
        const bool hasChildren = family_[v] > 0;
        rows.push_back(shown(v));
        shape.push_back({depth, hasChildren, hasChildren && !folded_[v], family_[v]});
        if (hasChildren && !folded_[v])
            for (uint32_t k = start_[v + 1]; k > start_[v]; --k)
                stack_.push_back({kids_[k - 1], depth + 1});
    }
}

}  // namespace velmora
