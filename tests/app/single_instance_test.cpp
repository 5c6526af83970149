#include "app/single_instance.h"

#include "support/test_util.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

TEST(SingleInstance, SecondCopyFindsTheFirstAndAsksItToShow) {
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.claim());
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });

    SingleInstance second(dir.path());
    EXPECT_FALSE(second.claim()) << "the lock is held by a live copy";
    // The request only needs the connection queued and the bytes written; the running copy
    // reads it from its event loop afterwards.
    bool sent = false;
    QMetaObject::invokeMethod(
        &second, [&] { sent = second.notifyRunning(3000); }, Qt::QueuedConnection);
    ASSERT_TRUE(test::waitUntil([&] { return activations == 1; }));
    EXPECT_TRUE(sent);
}

TEST(SingleInstance, GarbageOnTheSocketIsIgnored) {
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.claim());
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
    QLocalSocket client;
    client.connectToServer(dir.filePath("instance.socket"));
    ASSERT_TRUE(test::waitUntil([&] { return client.state() == QLocalSocket::ConnectedState; }));
    client.write(QByteArray(4096, 'x'));
    client.write("\nactivate\n");
    test::waitUntil([&] { return client.state() == QLocalSocket::UnconnectedState; },
                    std::chrono::seconds(2));
    EXPECT_EQ(activations, 0);
}

TEST(SingleInstance, LeftoversOfACrashedCopyDoNotBlockTheNextStart) {
    QTemporaryDir dir;
    // A socket file nobody listens on and a lock file naming a process that no longer exists.
    {
        QFile socket(dir.filePath("instance.socket"));
        ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    }
    {
        QFile lock(dir.filePath("instance.lock"));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write("999999999\nvelmora\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    SingleInstance next(dir.path());
    EXPECT_TRUE(next.claim());
    SingleInstance after(dir.path());
    EXPECT_FALSE(after.claim()) << "and the new holder keeps it";
}

TEST(SingleInstance, NobodyRunningMeansNoAnswer) {
    QTemporaryDir dir;
    SingleInstance lone(dir.path());
    EXPECT_FALSE(lone.notifyRunning(100));
}

#ifdef VELMORA_BINARY
namespace {

QProcessEnvironment isolatedEnv(const QTemporaryDir& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("HOME", dir.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    return env;
}

}  // namespace

TEST(AppProcess, SecondLaunchExitsAndLeavesTheFirstRunning) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("run"));
    QFile::setPermissions(dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess first;
    first.setProcessEnvironment(isolatedEnv(dir));
    first.start(VELMORA_BINARY, {"--tray-only"});
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(dir.filePath("run/velmora/instance.socket")); },
                                std::chrono::seconds(20)));

    QProcess second;
    second.setProcessEnvironment(isolatedEnv(dir));
    second.start(VELMORA_BINARY, {"--tray-only"});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();
    first.terminate();
    first.waitForFinished(10000);
}

TEST(AppProcess, SensorDumpAndPrintModeNeedNoDisplay) {
    QTemporaryDir dir;
    QProcessEnvironment env = isolatedEnv(dir);
    // A GUI object would have to connect to this display and fail.
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");

    QProcess dump;
    QProcessEnvironment dumpEnv = env;
    dumpEnv.insert("VL_DUMP_SENSORS", "");
    dump.setProcessEnvironment(dumpEnv);
    dump.start(VELMORA_BINARY, {});
    ASSERT_TRUE(dump.waitForFinished(20000));
    EXPECT_EQ(dump.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();

    QProcess print;
    print.setProcessEnvironment(env);
    print.start(VELMORA_BINARY, {"--print", "--count", "1", "--interval", "0.2"});
    ASSERT_TRUE(print.waitForFinished(20000));
    EXPECT_EQ(print.exitCode(), 0) << print.readAllStandardError().toStdString();
    EXPECT_FALSE(print.readAllStandardOutput().isEmpty());
}
#endif
