#include "maintenance/crash_handler.h"
#include "maintenance/log_files.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <unistd.h>

using namespace velmora;

namespace {

// The permission bits of owner, group and others, as QFileInfo reports them.
constexpr QFileDevice::Permissions kEveryone =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
    QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther |
    QFileDevice::ExeOther;

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(CrashText, ExceptionLayout) {
    EXPECT_EQ(CrashHandler::exceptionText("std::runtime_error", "boom", {"#0 a", "#1 b"}),
              "Exception: std::runtime_error\nboom\n\n#0 a\n#1 b");
    EXPECT_EQ(CrashHandler::exceptionText("int", "", {}), "Exception: int\n\n\n") << "no reason: an empty line";
    EXPECT_FALSE(CrashHandler::callStack().empty());
}

TEST(CrashLogs, EachWayOfDyingLeavesOneCrashFileWithContextAndStack) {
    const QByteArray outsider = QByteArray::number(::getpid());
    const QByteArray user = QByteArray::number(::getuid());
    const struct {
        const char* mode;
        QByteArray head;  // what follows the context line and the empty line
        bool killedFromOutside = false;
    } cases[] = {
        {"throw", "Exception: std::runtime_error\nboom\n\n"},
        {"throw-int", "Exception: int\n\n\n"},
        {"throw-thread", "Exception: std::logic_error\noff the main thread\n\n"},
        {"null", "Signal: SIGSEGV\ninvalid memory access\nFault at address 0x0\n\n"},
        {"abort", "Signal: SIGABRT\nabort\nRaised by this process\n\n"},
        // The handler runs on the worker's own alternate stack; its fault address lies in
        // the overflowed stack, whatever it is.
        {"overflow-worker", "Signal: SIGSEGV\ninvalid memory access\nFault at address 0x"},
        {"wait",
         "Signal: SIGSEGV\ninvalid memory access\nSent by process " + outsider + ", user " + user + "\n\n",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        QTemporaryDir dir;
        const QString logs = dir.filePath("state/velmora/logs");
        QProcess child;
        child.setWorkingDirectory(dir.path());
        child.start(QStringLiteral(VELMORA_CRASH_CHILD), {logs, QString::fromLatin1(c.mode)});
        if (c.killedFromOutside) {
            ASSERT_TRUE(child.waitForReadyRead(30000));
            ASSERT_EQ(child.readLine(), "ready\n");
            ::kill(static_cast<pid_t>(child.processId()), SIGSEGV);
        }
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit)
            << "the signal still ends the process; exit " << child.exitCode() << " " << child.readAll().constData();
        const QStringList files = QDir(logs).entryList(QDir::Files | QDir::Hidden);
        ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
        EXPECT_TRUE(files[0].startsWith("crash-") && files[0].endsWith(".log")) << files[0].toStdString();
        const QString path = QDir(logs).filePath(files[0]);
        EXPECT_EQ(QFileInfo(path).permissions() & kEveryone, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            << "the log is the user's alone";
        const QByteArray text = read(path);
        const QByteArray head = QByteArray("Pelto Monitor test, context\n\n") + c.head;
        EXPECT_TRUE(text.startsWith(head)) << text.left(300).constData();
        const QByteArray stack = text.mid(text.indexOf("\n\n", head.size() - 2) + 2);
        EXPECT_GE(stack.count('\n') + 1, 2) << "a call stack of several frames: " << stack.constData();
    }
}

TEST(LogFiles, NamesCountUpWithinASecondAndNeverReplace) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path());
    test::writeFile(dir, "report-7.log", "older");
    test::writeFile(dir, "report-7-3.log", "older too");
    const char* texts[] = {"one", "two", "three"};
    const char* expected[] = {"report-7-2.log", "report-7-4.log", "report-7-5.log"};
    for (int i = 0; i < 3; ++i) {
        char out[4096];
        const logs::Chunk chunks[] = {{texts[i], std::strlen(texts[i])}, {"!", 1}};
        ASSERT_TRUE(logs::writeNewLog(path.constData(), "report", 7, chunks, nullptr, out, sizeof out));
        EXPECT_EQ(QString::fromLocal8Bit(out), dir.filePath(expected[i]));
        EXPECT_EQ(read(dir.filePath(expected[i])), QByteArray(texts[i]) + "!");
    }
    EXPECT_EQ(read(dir.filePath("report-7.log")), "older");
    EXPECT_EQ(read(dir.filePath("report-7-3.log")), "older too");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 5) << "no temporaries left";

    char out[16] = "untouched";
    const logs::Chunk chunk{"x", 1};
    EXPECT_FALSE(logs::writeNewLog(dir.filePath("missing").toLocal8Bit().constData(), "crash", 1, {&chunk, 1},
                                   nullptr, out, sizeof out));
    EXPECT_STREQ(out, "untouched");
}

TEST(LogFiles, FixedTextNeverOverruns) {
    const struct {
        int64_t number;
        const char* text;
    } numbers[] = {{0, "0"}, {7, "7"}, {-12, "-12"}, {1733480000, "1733480000"},
                   {INT64_MIN, "-9223372036854775808"}, {INT64_MAX, "9223372036854775807"}};
    for (const auto& n : numbers) {
        char buf[32];
        logs::FixedText t(buf, sizeof buf);
        t.addNumber(n.number);
        EXPECT_STREQ(t.data(), n.text);
        EXPECT_TRUE(t.ok());
    }
    const struct {
        uint64_t number;
        const char* text;
    } hex[] = {{0, "0x0"},
               {0xf, "0xf"},
               {0x10, "0x10"},
               {0x7ffc1234abcd, "0x7ffc1234abcd"},
               {UINT64_MAX, "0xffffffffffffffff"}};
    for (const auto& h : hex) {
        char buf[32];
        logs::FixedText t(buf, sizeof buf);
        t.addHex(h.number);
        EXPECT_STREQ(t.data(), h.text);
    }
    char small[6];
    logs::FixedText t(small, sizeof small);
    t.add("crash-").addNumber(42);
    EXPECT_STREQ(small, "crash");
    EXPECT_FALSE(t.ok());
    EXPECT_EQ(t.size(), 5u);
}
