#include "inspect/run_tool.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QString tool(const char* name) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty()) ADD_FAILURE() << name << " not found";
    return path;
}

}  // namespace

TEST(RunTool, ArgumentsReachTheToolVerbatimWithoutAShell) {
    const auto out = runTool(tool("echo"), {"a  b", "'q' \"d\"", "$HOME;ls", "*", "한글"});
    EXPECT_EQ(out, QString("a  b 'q' \"d\" $HOME;ls * 한글\n"));
}

TEST(RunTool, LaunchFailuresAndForeignBytesAreAbsent) {
    EXPECT_FALSE(runTool("/nonexistent/velmora-tool", {}).has_value());
    EXPECT_FALSE(runTool(tool("printf"), {"\\377\\376"}).has_value()) << "not UTF-8";
    const ToolRun raw = runToolCapture(tool("printf"), {"\\377"}, false);
    EXPECT_TRUE(raw.started);
    EXPECT_EQ(raw.out, QByteArray("\xff"));
}

TEST(RunTool, ErrorsAreKeptOnlyWhenAskedAndExitStatusIsIgnored) {
    const ToolRun run = runToolCapture(tool("ls"), {"/nonexistent-velmora-path"}, true);
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_EQ(runTool(tool("ls"), {"/nonexistent-velmora-path"}), QString("")) << "failed, printed nothing";
    EXPECT_EQ(runTool(tool("cat"), {}), QString("")) << "standard input is closed, so it cannot wait on it";
}

TEST(RunTool, AHangingToolIsKilledAtTheTimeOut) {
    ToolLimits limits;
    limits.timeout = 300ms;
    const ToolRun run = runToolCapture(tool("sleep"), {"60"}, false, limits);
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut);
    EXPECT_FALSE(runTool(tool("sleep"), {"60"}, limits).has_value());
}

TEST(RunTool, AFloodingToolIsCutAtAWholeLine) {
    ToolLimits limits;
    limits.maxOutputBytes = 64 * 1024 + 1;  // odd, so the cut would fall inside a line
    const ToolRun run = runToolCapture(tool("yes"), {"line"}, false, limits);
    EXPECT_TRUE(run.truncated);
    EXPECT_FALSE(run.timedOut);
    EXPECT_LE(run.out.size(), limits.maxOutputBytes);
    EXPECT_GT(run.out.size(), 60 * 1024);
    EXPECT_TRUE(run.out.endsWith('\n'));
    EXPECT_EQ(run.out.count("line\n") * 5, run.out.size()) << "only whole lines";
}
