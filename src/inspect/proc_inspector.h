#pragma once

#include "core/serial_worker.h"
#include "inspect/open_files_fetcher.h"
#include "inspect/process_collector.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

class QTimer;

namespace velmora {

// Follows one process for a detail pane: fixed facts once, live counters and connections
// on every refresh, the memory footprint and open files on every third. Collection runs on
// the inspector's own worker, except the open-file scan, which goes to an open-files fetcher
// so a slow scan never holds up the live refresh. Results arrive on the GUI thread, where
// those for a process no longer selected are dropped. Every accessor and operation is for
// the GUI thread.
class ProcInspector : public QObject {
    Q_OBJECT
  public:
    // The system's collectors, refreshing every 2 s.
    explicit ProcInspector(QObject* parent = nullptr);
    // `filesCollector` serves the open-file scans, on a thread of their own.
    ProcInspector(std::unique_ptr<ProcessCollector> collector,
                  std::unique_ptr<ProcessCollector> filesCollector,
                  std::chrono::milliseconds interval = std::chrono::seconds(2), QObject* parent = nullptr);
    ~ProcInspector() override;

    // Starts following `pid`: clears what was shown, loads everything and starts the
    // refresh timer. Selecting the pid already selected does nothing, even after stop().
    void select(int32_t pid);
    // Stops refreshing; what was gathered stays.
    void stop();

    int32_t pid() const { return pid_; }
    const std::optional<ProcessStaticInfo>& staticInfo() const { return staticInfo_; }
    const std::optional<ProcessLiveInfo>& live() const { return live_; }
    const std::optional<MemoryFootprint>& mem() const { return mem_; }
    bool memLoading() const { return memLoading_; }
    const std::vector<NetConnection>& conns() const { return conns_; }
    bool connsLoading() const { return connsLoading_; }
    const std::optional<OpenFilesResult>& files() const { return files_; }
    bool filesLoading() const { return filesLoading_; }
    int tickCount() const { return tickCount_; }
    bool following() const { return timer_ != nullptr; }

  signals:
    // A published value changed; views redraw from the accessors.
    void changed();

  private:
    void tick();
    void loadStatic();
    void loadLive();
    void loadMem();
    void loadConns();
    void loadFiles();
    // Runs `collect` on the worker and hands its result to `store` on the GUI thread,
    // unless the inspector is gone or follows another pid by then.
    template <typename R>
    void load(std::function<R(ProcessCollector&, int32_t)> collect,
              std::function<void(ProcInspector&, R)> store);

    int32_t pid_ = 0;
    std::optional<ProcessStaticInfo> staticInfo_;
    std::optional<ProcessLiveInfo> live_;
    std::optional<MemoryFootprint> mem_;
    bool memLoading_ = false;
    std::vector<NetConnection> conns_;
    bool connsLoading_ = false;
    std::optional<OpenFilesResult> files_;
    bool filesLoading_ = false;
    int tickCount_ = 0;
    std::chrono::milliseconds interval_;
    QTimer* timer_ = nullptr;

    std::unique_ptr<ProcessCollector> collector_;  // used on the worker only
    ThreadInbox* inbox_;                           // child: outlives the worker
    OpenFilesFetcher filesFetcher_;
    SerialWorker worker_;  // declared last: stopped first
};

}  // namespace velmora
