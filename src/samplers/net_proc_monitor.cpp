#include "samplers/net_proc_monitor.h"

#include <QPointer>
#include <QTimer>

namespace velmora {

NetProcMonitor::NetProcMonitor(QObject* parent) : NetProcMonitor(platform::makeNetProcSource(), parent) {}

NetProcMonitor::NetProcMonitor(std::unique_ptr<platform::NetProcSource> source, QObject* parent)
    : QObject(parent),
      tcpOnly_(source && source->tcpOnly()),
      source_(std::move(source)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.netproc"), QThread::LowPriority) {}

NetProcMonitor::~NetProcMonitor() {
    // Wakes a measurement that is waiting between its samples, then lets the worker drop
    // its state, so nothing of this object runs there once the call returns.
    interrupt_.interrupt();
    worker_.run([this] {
        delete timer_;
        timer_ = nullptr;
        active_ = false;
        source_.reset();
    });
}

void NetProcMonitor::start() {
    // A stop() issued after this call but before the worker gets to it wins.
    const platform::Interrupt::Token token = interrupt_.token();
    worker_.post([this, token] {
        if (active_ || token.stopped()) return;
        active_ = true;
        loopToken_ = token;
        iterate();
    });
}

void NetProcMonitor::stop() {
    interrupt_.interrupt();
    worker_.post([this] {
        active_ = false;
        if (timer_) timer_->stop();
    });
}

void NetProcMonitor::iterate() {
    if (!active_ || !loopToken_ || loopToken_->stopped() || !source_) return;
    const platform::Interrupt::Token token = *loopToken_;
    std::optional<std::vector<ProcNet>> result = source_->measure(token);
    if (token.stopped()) return;
    inbox_.post([self = QPointer<NetProcMonitor>(this), r = std::move(result)]() mutable {
        if (self) self->publish(std::move(r));
    });
    if (!timer_) {
        timer_ = new QTimer(worker_.context());
        timer_->setSingleShot(true);
        timer_->setInterval(loopDelayMs);
        QObject::connect(timer_, &QTimer::timeout, timer_, [this] { iterate(); });
    }
    timer_->start();
}

void NetProcMonitor::publish(std::optional<std::vector<ProcNet>> result) {
    if (!result) {
        failed_ = true;
        emit changed();
        return;
    }
    procs_ = *result;
    failed_ = false;
    history_.push_back({WallClock::now(), std::move(*result)});
    while (history_.size() > historyLimit)
        history_.pop_front();
    emit changed();
}

}  // namespace velmora
