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

TEST(RunTool, ToolsRunInTheCLocaleWithTheRestOfTheEnvironment) {
    // A comma-decimal user locale must not reach the tools whose numbers are parsed.
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("VELMORA_PROBE", "kept");
    const auto out = runTool(tool("sh"), {"-c", "printf '%s|%s' \"$LC_ALL\" \"$VELMORA_PROBE\""});
    saved.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", saved);
    qunsetenv("VELMORA_PROBE");
    EXPECT_EQ(out, QString("C|kept"));
}

TEST(RunTool, LinesDecodeLossilyWhereRunToolGivesUp) {
    const QStringList args{
        "a\\355\\225\\234\\352\\270\\nb\\n"};  // a Hangul name cut inside its second character
    EXPECT_FALSE(runTool(tool("printf"), args).has_value());
    EXPECT_EQ(runToolLines(tool("printf"), args),
              QString::fromUtf8("a\xed\x95\x9c\xea\xb8") + QStringLiteral("\nb\n"));
    EXPECT_FALSE(runToolLines("/nonexistent/velmora-tool", {}).has_value());
    ToolLimits limits;
    limits.timeout = std::chrono::milliseconds(300);
    EXPECT_FALSE(runToolLines(tool("sleep"), {"60"}, limits).has_value()) << "a hanging tool is still absent";
}
