#include "core/serial_worker.h"

#include "support/test_util.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <vector>

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
