#pragma once

#include "core/serial_worker.h"
#include "core/snapshot.h"
#include "core/snapshot_source.h"
#include "engine/metrics_feed.h"

#include <QObject>

class QTimer;

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace velmora {

// Runs the samplers on its own thread at a fixed interval and publishes each snapshot on
// the thread that owns the engine (the GUI thread), as `current` and appended to `history`.
class MetricsEngine : public MetricsFeed {
    Q_OBJECT
  public:
    // `source` builds each snapshot on the engine's thread (the application passes the
    // machine's samplers).
    explicit MetricsEngine(std::unique_ptr<SnapshotSource> source, QObject* parent = nullptr);
    ~MetricsEngine() override;

    // Ticks first 0.1 s from now, then every `intervalSeconds`. Replaces any running timer,
    // so a restart with a new interval leaves exactly one.
    void start(double intervalSeconds);
    // Stops the running timer, if any.
    void cancelTimer();
    // Number of running sampling timers (0 or 1); blocks until the worker answers.
    int runningTimers() const;

    const Snapshot& current() const override { return current_; }
    const std::deque<Snapshot>& history() const override { return history_; }

    std::vector<MetricPoint> series(SnapshotField key) const override;
    std::vector<MetricPoint> recentSeries(SnapshotField key) const override;
    std::vector<MetricPoint> cpuHistory(int32_t pid) const override;
    std::optional<ProcInfo> liveProcess(int32_t pid) const override;

    void setUiActive(bool active);
    bool uiActive() const;

    // Appends a finished snapshot. Runs on the engine's thread; the worker posts here.
    void publish(Snapshot snapshot);

  private:
    template <typename Value>
    std::vector<MetricPoint> decimated(Value value) const;
    MetricPointId pointId(size_t historyIndex) const;

    // Sampler thread only.
    void tick();

    Snapshot current_;
    std::deque<Snapshot> history_;
    ThreadInbox inbox_;  // finished snapshots come back to this thread through it
    mutable std::mutex stateLock_;
    bool uiActive_ = false;
    // Touched only on the sampler thread (or after it has stopped).
    std::unique_ptr<SnapshotSource> source_;
    QTimer* timer_ = nullptr;
    // Declared last so it stops first: nothing runs on the sampler thread once members go.
    mutable SerialWorker worker_;
};

}  // namespace velmora
