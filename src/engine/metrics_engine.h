#pragma once

#include "core/serial_worker.h"
#include "core/snapshot.h"
#include "core/snapshot_source.h"
#include "engine/metrics_feed.h"

#include <QObject>

class QTimer;

#include <chrono>
#include <deque>
#include <functional>
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
    // The shortest span a process list is measured over after priming: over less, the
    // kernel's 10 ms CPU-time granularity would make a steady load read far off.
    static constexpr double minProcessMeasureSeconds = 0.5;

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
    const AttributionLog& attribution() const override { return attribution_; }

    // Turning it on (a process view appears) primes the process sampler on the worker at once,
    // so the first process list after it is measured over an interval.
    void setUiActive(bool active);
    bool uiActive() const;
    // While no process view is shown, processes are still read once per `period` (0: never),
    // so the remembered record knows who was busy. Each read measures over the time since
    // the one before it.
    void setBackgroundProcessPeriod(std::chrono::milliseconds period);
    // The steady clock the background cadence follows (tests step it by hand).
    void setSteadyClock(std::function<std::chrono::steady_clock::time_point()> now);

    // Appends a finished snapshot. Runs on the engine's thread; the worker posts here.
    void publish(Snapshot snapshot);

    // What publish runs once per `memoryReleaseSeconds` of snapshot time (tests observe it
    // here); by default it gives the allocator's freed pages back to the system.
    static constexpr double memoryReleaseSeconds = 60;
    void setMemoryRelease(std::function<void()> release) { releaseMemory_ = std::move(release); }

  private:
    template <typename Value>
    std::vector<MetricPoint> decimated(Value value) const;
    MetricPointId pointId(size_t historyIndex) const;

    // Sampler thread only.
    void tick();
    void primeProcessesIfActivated();
    void keepTickClearOfPrime();
    // Processes are read once the current activation has been primed, or when a background
    // read is due.
    bool processesWanted();

    // Every tick frees what the snapshots leaving the history held; the allocator keeps those
    // pages, scattered between live blocks, so without a periodic release the resident size
    // creeps up for hours while the heap itself stays flat.
    void releaseMemoryWhenDue(TimePoint newest);

    Snapshot current_;
    std::deque<Snapshot> history_;
    AttributionLog attribution_;  // kept as long as the history, for every moment of it
    std::function<void()> releaseMemory_;
    std::optional<TimePoint> lastRelease_;
    ThreadInbox inbox_;  // finished snapshots come back to this thread through it
    mutable std::mutex stateLock_;
    bool uiActive_ = false;
    uint64_t activation_ = 0;        // counts the times uiActive turned on
    uint64_t primedActivation_ = 0;  // the activation whose priming sample was taken
    std::chrono::milliseconds backgroundPeriod_{0};
    std::function<std::chrono::steady_clock::time_point()> steadyNow_ = [] { return std::chrono::steady_clock::now(); };
    // Touched only on the sampler thread (or after it has stopped).
    std::unique_ptr<SnapshotSource> source_;
    QTimer* timer_ = nullptr;
    int periodMs_ = 0;
    std::optional<std::chrono::steady_clock::time_point> primedAt_;
    std::optional<std::chrono::steady_clock::time_point> lastBackgroundRead_;
    // Declared last so it stops first: nothing runs on the sampler thread once members go.
    mutable SerialWorker worker_;
};

}  // namespace velmora
