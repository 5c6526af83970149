#pragma once

#include "core/attribution.h"
#include "core/snapshot.h"
#include "samplers/net_proc_monitor.h"

#include <QColor>
#include <QString>

#include <deque>
#include <optional>
#include <set>
#include <vector>

namespace velmora {

class Localizer;

// The metric an analysis window explains.
enum class AnalysisKind { cpu, memory, disk, network, gpu };

QString rawValue(AnalysisKind kind);
std::optional<AnalysisKind> analysisKindFromRaw(const QString& raw);
QString titleKey(AnalysisKind kind);
// What a process's figure must reach to enter the peak list (GPU: never).
double peakThreshold(AnalysisKind kind);
// The figure of one process the kind ranks by (network ranks by its own records).
double metricOf(const ProcInfo& p, AnalysisKind kind);
double metricOf(const ProcShare& p, AnalysisKind kind);
QColor rowColor(AnalysisKind kind, double value);

// What a row stands for: one process (a pid is told apart from its reuse by the start time),
// or the children of one that ended between two samples.
struct AnalysisRowKey {
    int32_t pid = 0;
    uint64_t startTime = 0;
    bool children = false;
    friend auto operator<=>(const AnalysisRowKey&, const AnalysisRowKey&) = default;
};

struct AnalysisRow {
    int32_t pid = 0;
    uint64_t startTime = 0;  // 0 when unknown
    bool children = false;   // the CPU of the process's ended children, not its own
    QString name;            // for a children row, "name + children"
    QString value;           // the formatted label
    double fraction = 0;     // the bar's length, 0 to 1
    QColor color;
    bool active = false;  // still at or above the threshold now
    AnalysisRowKey key() const { return {pid, startTime, children}; }
    bool operator==(const AnalysisRow&) const = default;
};

// What the rankings read: the engine's history, its per-process attribution and current
// snapshot, the per-process network monitor's history and latest list, and the present moment.
struct AnalysisInputs {
    const std::deque<Snapshot>& history;
    const AttributionLog& attribution;
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

    explicit ResourceAnalysis(AnalysisKind kind) : kind_(kind) {}

    AnalysisKind kind() const { return kind_; }
    std::optional<AnalysisRowKey> selected;
    std::optional<TimePoint> selectedTime;  // absent: the peak list
    std::optional<int32_t> selectedPID() const {
        return selected ? std::optional<int32_t>(selected->pid) : std::nullopt;
    }

    // The moment nearest `at`: its processes above 0 in the kind's metric, as many as the
    // attribution keeps of that metric (network: the monitor's records, at most 60).
    std::vector<AnalysisRow> instantRows(const AnalysisInputs& in, TimePoint at) const;
    // Over every moment the history holds; at most the first 60: no window shows more.
    std::vector<AnalysisRow> peakRows(const AnalysisInputs& in) const;
    // What the list shows: the instant at the selected time, else the peaks; at most 60.
    std::vector<AnalysisRow> rows(const AnalysisInputs& in) const;
    // Whether the processes of the moment nearest `at` are known (for the peak list: of any
    // moment). Where they are not, an empty list means "no data", not "no load".
    bool processesKnown(const AnalysisInputs& in, std::optional<TimePoint> at) const;
    // The spans of the history whose processes are unknown, oldest first, each from its
    // first such moment to the next known one (or its last, at the end).
    std::vector<std::pair<TimePoint, TimePoint>> unknownSpans(const AnalysisInputs& in) const;
    // Whether a moment the list shows lies within the history still; a pick that left it
    // is cleared by the window.
    bool inHistory(const AnalysisInputs& in, TimePoint t) const;

    // Keeps the selection on a shown row: the first one when the selected row left the list.
    void syncSelection(const std::vector<AnalysisRow>& shown);
    // Disk and network figures as one total rather than read and write, down and up (the
    // remembered record keeps the sums only).
    void setCombinedRates(bool combined) { combinedRates_ = combined; }
    bool combinedRates() const { return combinedRates_; }
    // How far from a moment a network measurement still answers for it: a remembered record
    // spans at most a minute, live measurements come every second or two.
    static constexpr std::chrono::seconds netReach{65};
    static bool withinReach(TimePoint entry, TimePoint at);

    // A removed peak row stays out of the peak list while the window lives.
    void dismiss(const AnalysisRowKey& key) { dismissed_.insert(key); }
    const std::set<AnalysisRowKey>& dismissed() const { return dismissed_; }

    // The moments a chart click snaps to, oldest first.
    std::vector<TimePoint> historyTimes(const AnalysisInputs& in) const;
    QString nowSummary(const Snapshot& current) const;
    QString procLabel(const ProcShare& p, double value, std::optional<TimePoint> time, TimePoint now) const;
    static QString agoText(TimePoint t, TimePoint now);
    static QString agoText(TimePoint t, TimePoint now, const Localizer& loc);
    // A row's name: the process's, or for its ended children "name + children".
    static QString rowName(const QString& name, bool children);

  private:
    std::vector<AnalysisRow> peakRowsNetwork(const AnalysisInputs& in) const;
    QString netLabel(const ProcNet& n) const;
    // A bar's length for `v` against the list's top value.
    double barFraction(double v, double top) const;

    AnalysisKind kind_;
    bool combinedRates_ = false;
    std::set<AnalysisRowKey> dismissed_;
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
