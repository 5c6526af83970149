#include "core/serial_worker.h"
#include "core/signal_stack.h"

#include "support/test_util.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <vector>

#include <signal.h>

using namespace velmora;

TEST(SerialWorker, RunsTasksInOrderOnItsOwnThread) {
    SerialWorker worker("test.worker");
    std::vector<int> order;
    std::atomic<bool> offMainThread{true};
    QThread* main = QThread::currentThread();
    for (int i = 0; i < 100; ++i)
        worker.post([&, i] {
            order.push_back(i);
            if (QThread::currentThread() == main) offMainThread = false;
        });
    worker.run([] {});  // everything posted before has run once this returns
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_TRUE(offMainThread);
}

TEST(SerialWorker, ResultsComeBackThroughAnInbox) {
    SerialWorker worker("test.worker");
    ThreadInbox inbox;
    QThread* deliveredOn = nullptr;
    int result = 0;
    worker.post([&] {
        const int computed = 6 * 7;
        inbox.post([&, computed] {
            result = computed;
            deliveredOn = QThread::currentThread();
        });
    });
    ASSERT_TRUE(test::waitUntil([&] { return result != 0; }));
    EXPECT_EQ(result, 42);
    EXPECT_EQ(deliveredOn, QThread::currentThread());
}

TEST(SerialWorker, TimersLiveOnTheWorkerAndDieWithIt) {
    std::atomic<int> fired{0};
    {
        SerialWorker worker("test.worker");
        worker.run([&] {
            auto* timer = new QTimer(worker.context());
            QObject::connect(timer, &QTimer::timeout, [&] { ++fired; });
            timer->start(1);
        });
        ASSERT_TRUE(test::waitUntil([&] { return fired.load() >= 3; }));
    }
    const int after = fired.load();
    QThread::msleep(20);
    EXPECT_EQ(fired.load(), after) << "no timer survives the worker";
}

// A stack overflow in a task must still find room for the crash handler: each worker has an
// alternate signal stack of its own, made before its first task and kept for its life.
TEST(SerialWorker, EachWorkerHasItsOwnSignalStack) {
    SerialWorker first(QStringLiteral("first")), second(QStringLiteral("second"));
    stack_t a{}, again{}, b{};
    first.run([&] { sigaltstack(nullptr, &a); });
    first.run([&] {
        velmora::ensureSignalStack();  // a second call keeps the stack it has
        sigaltstack(nullptr, &again);
    });
    second.run([&] { sigaltstack(nullptr, &b); });
    for (const stack_t* s : {&a, &b}) {
        EXPECT_FALSE(s->ss_flags & SS_DISABLE);
        EXPECT_GT(s->ss_size, 0u);
    }
    EXPECT_EQ(again.ss_sp, a.ss_sp);
    EXPECT_NE(a.ss_sp, b.ss_sp) << "threads never share one";
}
