#pragma once

#include <QObject>
#include <QThread>

#include <deque>
#include <functional>
#include <mutex>

namespace velmora {

// Runs posted tasks in order on the thread this object lives on. Tasks cross threads
// through a std::mutex, so thread checkers see every hand-off (Qt's own event queue
// synchronises with primitives they cannot see).
class ThreadInbox : public QObject {
    Q_OBJECT
  public:
    explicit ThreadInbox(QObject* parent = nullptr);
    ~ThreadInbox() override;
    // Callable from any thread while the inbox exists.
    void post(std::function<void()> task);

  private:
    Q_INVOKABLE void drain();

    std::mutex lock_;
    std::deque<std::function<void()>> tasks_;
    bool scheduled_ = false;
};

// A dedicated thread with its own event loop that runs posted tasks one at a time: the
// serial worker that owns a service's background state.
class SerialWorker {
  public:
    explicit SerialWorker(const QString& name, QThread::Priority priority = QThread::LowPriority);
    // Stops the thread; tasks not yet run are dropped, objects parented to context()
    // are destroyed on the worker thread.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> task);
    // Runs `task` on the worker and waits for it. Never call from the worker itself.
    void run(const std::function<void()>& task);
    // An object living on the worker thread: the parent and context for its timers.
    QObject* context() const { return inbox_; }
    bool isCurrentThread() const { return QThread::currentThread() == &thread_; }

  private:
    QThread thread_;
    ThreadInbox* inbox_;
    // Taken after each task and once the thread has stopped, so thread checkers see that
    // whatever a task touched is safe to destroy after this object (they cannot see the
    // thread join inside Qt).
    std::mutex settled_;
};

}  // namespace velmora
