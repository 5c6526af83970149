#include "core/serial_worker.h"

#include "core/signal_stack.h"

#include <future>

namespace velmora {

ThreadInbox::ThreadInbox(QObject* parent) : QObject(parent) {}

ThreadInbox::~ThreadInbox() {
    // Orders this destruction after every earlier post() for thread checkers.
    std::lock_guard lock(lock_);
}

void ThreadInbox::post(std::function<void()> task) {
    std::lock_guard lock(lock_);
    tasks_.push_back(std::move(task));
    if (scheduled_) return;
    scheduled_ = true;
    // The event carries no data; the tasks travel under the mutex.
    QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void ThreadInbox::drain() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(lock_);
        batch.swap(tasks_);
        scheduled_ = false;
    }
    for (auto& task : batch)
        task();
}

SerialWorker::SerialWorker(const QString& name, QThread::Priority priority) : inbox_(new ThreadInbox) {
    thread_.setObjectName(name);
    inbox_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, inbox_, &QObject::deleteLater);
    // Emitted on the new thread before its first task: a stack overflow in any task still
    // leaves a crash log.
    QObject::connect(&thread_, &QThread::started, [] { ensureSignalStack(); });
    thread_.start(priority);
}

SerialWorker::~SerialWorker() {
    thread_.quit();
    thread_.wait();
    std::lock_guard lock(settled_);
}

void SerialWorker::post(std::function<void()> task) {
    inbox_->post([this, task = std::move(task)] {
        task();
        std::lock_guard lock(settled_);
    });
}

void SerialWorker::run(const std::function<void()>& task) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    post([&] {
        task();
        done.set_value();
    });
    finished.wait();
}

}  // namespace velmora
