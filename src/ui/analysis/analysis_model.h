#pragma once

#include "core/snapshot.h"
#include "samplers/net_proc_monitor.h"

#include <QColor>
#include <QString>

#include <deque>
#include <optional>
#include <set>
#include <vector>

namespace velmora {

// The metric an analysis window explains.
enum class AnalysisKind { cpu, memory, disk, network, gpu };

QString rawValue(AnalysisKind kind);
std::optional<AnalysisKind> analysisKindFromRaw(const QString& raw);
QString titleKey(AnalysisKind kind);
// What a process's figure must reach to enter the peak list (GPU: never).
double peakThreshold(AnalysisKind kind);
// The figure of one process the kind ranks by (network ranks by its own records).
double metricOf(const ProcInfo& p, AnalysisKind kind);
QColor rowColor(AnalysisKind kind, double value);

struct AnalysisRow {
    int32_t pid = 0;
    // With the pid, which process the row is about: a later process under the same pid is
    // another row, never "still busy" for this one. 0 when unknown.
    uint64_t startTime = 0;
    QString name;
    QString value;        // the formatted label
    double fraction = 0;  // the bar's length, 0 to 1
    QColor color;
    bool active = false;  // still at or above the threshold now
};

// What the rankings read: the engine's history and current snapshot, the per-process network
// monitor's history and latest list, and the present moment.
struct AnalysisInputs {
    const std::deque<Snapshot>& history;
    const Snapshot& current;
    const std::deque<NetProcMonitor::Entry>& netHistory;
    const std::vector<ProcNet>& netNow;
    TimePoint now;
};

// Which processes caused a metric's load: at one moment of the history, or by their peaks
// over the recent history. No widgets; the analysis window shows what this computes.
class ResourceAnalysis {
  public:
    static constexpr size_t rowLimit = 60;
    static constexpr size_t peakWindow = 180;  // the snapshots that carry process tables

    explicit ResourceAnalysis(AnalysisKind kind) : kind_(kind) {}

    AnalysisKind kind() const { return kind_; }
    std::optional<int32_t> selectedPID;
    std::optional<TimePoint> selectedTime;  // absent: the peak list

    std::vector<AnalysisRow> instantRows(const AnalysisInputs& in, TimePoint at) const;
    // At most the first 60: no window shows more.
    std::vector<AnalysisRow> peakRows(const AnalysisInputs& in) const;
    // What the list shows: the instant at the selected time, else the peaks; at most 60.
    std::vector<AnalysisRow> rows(const AnalysisInputs& in) const;

    // Keeps the selection on a shown row: the first one when the selected pid left the list.
    void syncSelection(const std::vector<AnalysisRow>& shown);
    // A removed peak row stays out of the peak list while the window lives.
    void dismiss(int32_t pid) { dismissed_.insert(pid); }
    const std::set<int32_t>& dismissed() const { return dismissed_; }

    // The moments a chart click snaps to, oldest first.
    std::vector<TimePoint> historyTimes(const AnalysisInputs& in) const;
    QString nowSummary(const Snapshot& current) const;
    QString procLabel(const ProcInfo& p, double value, std::optional<TimePoint> time, TimePoint now) const;
    static QString agoText(TimePoint t, TimePoint now);

  private:
    std::vector<AnalysisRow> peakRowsNetwork(const AnalysisInputs& in) const;

    AnalysisKind kind_;
    std::set<int32_t> dismissed_;
};

// Index of the entry whose time is closest to `t`, the earlier of two equally close; none for
// an empty list. `timeOf` reads an entry's time.
template <typename List, typename TimeOf>
std::optional<size_t> closestEntry(const List& entries, TimePoint t, TimeOf timeOf) {
    std::optional<size_t> best;
    TimePoint::duration bestGap{};
    size_t i = 0;
    for (const auto& e : entries) {
        const TimePoint at = timeOf(e);
        const TimePoint::duration gap = at > t ? at - t : t - at;
        if (!best || gap < bestGap) best = i, bestGap = gap;
        ++i;
    }
    return best;
}

}  // namespace velmora
