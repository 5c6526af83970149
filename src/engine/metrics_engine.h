#pragma once

#include "engine/serial_worker.h"
#include "engine/snapshot.h"
#include "engine/snapshot_source.h"

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
class MetricsEngine : public QObject {
    Q_OBJECT
  public:
    static constexpr double historyRetentionSeconds = 600;
    static constexpr double displayWindowSeconds = 300;
    static constexpr int processHistoryLimit = 180;
    static constexpr double heavyCPUThreshold = 25.0;
    static constexpr int chartRecentFull = 300;
    static constexpr int chartOlderBudget = 240;

    // Uses the machine's samplers.
    explicit MetricsEngine(QObject* parent = nullptr);
    explicit MetricsEngine(std::unique_ptr<SnapshotSource> source, QObject* parent = nullptr);
    ~MetricsEngine() override;

    // Ticks first 0.1 s from now, then every `intervalSeconds`. Replaces any running timer,
    // so a restart with a new interval leaves exactly one.
    void start(double intervalSeconds);
    // Stops the running timer, if any.
    void cancelTimer();
    // Number of running sampling timers (0 or 1); blocks until the worker answers.
    int runningTimers() const;

    const Snapshot& current() const { return current_; }
    const std::deque<Snapshot>& history() const { return history_; }

    std::vector<MetricPoint> series(SnapshotField key) const;
    std::vector<MetricPoint> recentSeries(SnapshotField key) const;
    std::vector<MetricPoint> cpuHistory(int32_t pid) const;
    std::optional<ProcInfo> liveProcess(int32_t pid) const;

    void setUiActive(bool active);
    bool uiActive() const;

    // Appends a finished snapshot. Runs on the engine's thread; the worker posts here.
    void publish(Snapshot snapshot);

  signals:
    void currentChanged();
    void historyChanged();

  private:
    template <typename Value>
    std::vector<MetricPoint> decimated(Value value) const;

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
