#pragma once

#include "core/attribution.h"
#include "core/snapshot.h"

#include <QObject>

#include <deque>
#include <optional>
#include <vector>

namespace velmora {

// What the views read: the newest snapshot, the history and the chart series made from it,
// and change signals, all on the GUI thread. The metrics engine is the one real feed; view
// tests feed made-up snapshots through a feed of their own.
class MetricsFeed : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    static constexpr double historyRetentionSeconds = 600;
    static constexpr double displayWindowSeconds = 300;
    static constexpr int processHistoryLimit = 180;
    static constexpr double heavyCPUThreshold = 25.0;
    static constexpr int chartRecentFull = 300;
    static constexpr int chartOlderBudget = 240;

    virtual const Snapshot& current() const = 0;
    virtual const std::deque<Snapshot>& history() const = 0;

    virtual std::vector<MetricPoint> series(SnapshotField key) const = 0;
    virtual std::vector<MetricPoint> recentSeries(SnapshotField key) const = 0;
    virtual std::vector<MetricPoint> cpuHistory(int32_t pid) const = 0;
    virtual std::optional<ProcInfo> liveProcess(int32_t pid) const = 0;
    // Which processes carried each moment of the history; a feed without one has none.
    virtual const AttributionLog& attribution() const;

  signals:
    void currentChanged();
    void historyChanged();
};

}  // namespace velmora
