#include "inspect/proc_inspector.h"

#include <QTimer>

namespace velmora {

ProcInspector::ProcInspector(QObject* parent)
    : ProcInspector(makeSystemCollector(), makeSystemCollector(), std::chrono::seconds(2), parent) {}

ProcInspector::ProcInspector(std::unique_ptr<ProcessCollector> collector,
                             std::unique_ptr<ProcessCollector> filesCollector,
                             std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent),
      interval_(interval),
      collector_(std::move(collector)),
      inbox_(new ThreadInbox(this)),
      filesFetcher_(std::move(filesCollector)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.inspector"), QThread::NormalPriority) {}

ProcInspector::~ProcInspector() = default;

void ProcInspector::select(int32_t pid) {
    if (pid == pid_) return;
    stop();
    pid_ = pid;
    staticInfo_.reset();
    live_.reset();
    mem_.reset();
    conns_.clear();
    files_.reset();
    emit changed();
    loadStatic();
    loadLive();
    loadMem();
    loadConns();
    loadFiles();
    timer_ = new QTimer(this);
    timer_->setInterval(interval_);
    // The timer is the inspector's child: it cannot outlive it.
    connect(timer_, &QTimer::timeout, this, &ProcInspector::tick);
    timer_->start();
}

void ProcInspector::stop() {
    if (timer_) {
        timer_->stop();
        delete timer_;
        timer_ = nullptr;
    }
    tickCount_ = 0;
}

void ProcInspector::tick() {
    ++tickCount_;
    loadLive();
    loadConns();
    if (tickCount_ % 3 == 0) {
        loadMem();
        loadFiles();
    }
}

template <typename R>
void ProcInspector::load(std::function<R(ProcessCollector&, int32_t)> collect,
                         std::function<void(ProcInspector&, R)> store) {
    const int32_t pid = pid_;
    ProcessCollector* collector = collector_.get();
    ThreadInbox* inbox = inbox_;
    QPointer<ProcInspector> self(this);
    worker_.post([=] {
        R result = collect(*collector, pid);
        // The inbox lives until the worker has stopped, so posting is always safe.
        inbox->post([self, pid, store, result = std::move(result)]() mutable {
            if (!self || self->pid_ != pid) return;
            store(*self, std::move(result));
            emit self->changed();
        });
    });
}

void ProcInspector::loadStatic() {
    load<std::optional<ProcessStaticInfo>>(
        [](ProcessCollector& c, int32_t pid) { return c.fetchStatic(pid); },
        [](ProcInspector& self, std::optional<ProcessStaticInfo> info) {
            if (info) ProcessDetailFetcher::localize(*info);  // the localizer belongs to this thread
            self.staticInfo_ = std::move(info);
        });
}

void ProcInspector::loadLive() {
    load<std::optional<ProcessLiveInfo>>([](ProcessCollector& c, int32_t pid) { return c.fetchLive(pid); },
                                         [](ProcInspector& self, std::optional<ProcessLiveInfo> live) {
                                             self.live_ = live;  // a vanished process clears it
                                         });
}

void ProcInspector::loadMem() {
    const bool raise = !mem_.has_value();
    if (memLoading_ != raise) {
        memLoading_ = raise;
        emit changed();
    }
    load<std::optional<MemoryFootprint>>([](ProcessCollector& c, int32_t pid) { return c.memory(pid); },
                                         [](ProcInspector& self, std::optional<MemoryFootprint> mem) {
                                             self.mem_ = std::move(mem);
                                             self.memLoading_ = false;
                                         });
}

void ProcInspector::loadConns() {
    const bool raise = conns_.empty();
    if (connsLoading_ != raise) {
        connsLoading_ = raise;
        emit changed();
    }
    load<std::vector<NetConnection>>([](ProcessCollector& c, int32_t pid) { return c.connections(pid); },
                                     [](ProcInspector& self, std::vector<NetConnection> conns) {
                                         self.conns_ = std::move(conns);
                                         self.connsLoading_ = false;
                                     });
}

void ProcInspector::loadFiles() {
    const bool raise = !files_.has_value();
    if (filesLoading_ != raise) {
        filesLoading_ = raise;
        emit changed();
    }
    const int32_t pid = pid_;
    QPointer<ProcInspector> self(this);
    filesFetcher_.fetch(pid, [self, pid](std::optional<OpenFilesResult> files) {
        if (!self || self->pid_ != pid) return;
        self->files_ = std::move(files);
        self->filesLoading_ = false;
        emit self->changed();
    });
}

}  // namespace velmora
