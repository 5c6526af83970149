#include "app/command_line.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

using Mode = CommandLine::Mode;
using Reason = Refusal::Reason;

QStringList withProgram(const QStringList& args) {
    return QStringList{QStringLiteral("velmora")} + args;
}

std::string shown(const QStringList& args) {
    return args.join(u' ').toStdString();
}

}  // namespace

TEST(CommandLine, EachLineStartsOneMode) {
    const struct {
        QStringList args;
        Mode mode;
        bool trayOnly = false;
        bool servesBesideTheTray = false;
    } cases[] = {
        // The tray application: its own options and Qt's, nothing else.
        {{}, Mode::tray},
        {{"--tray"}, Mode::tray},
        {{"--tray-only"}, Mode::tray, true},
        {{"-platform", "xcb"}, Mode::tray},
        {{"--platform", "offscreen", "--tray-only"}, Mode::tray, true},
        {{"-style=fusion", "-reverse", "-qwindowtitle", "Velmora"}, Mode::tray},
        {{"-platform"}, Mode::tray},  // a missing value at the end: Qt ignores it
        // Serving beside it, when asked for with a well-formed address.
        {{"--serve", "9464", "--tray"}, Mode::tray, false, true},
        {{"-serve", "[::1]:9464", "--serve-processes=4", "-tray"}, Mode::tray, false, true},
        {{"--tray-only", "--serve", "9464", "-platform", "offscreen"}, Mode::tray, true, true},
        // Headless: printing, serving alone, or serving at an interval of its own.
        {{"--print"}, Mode::headless},
        {{"-print", "-json"}, Mode::headless},
        {{"--serve", "9464"}, Mode::headless},
        {{"--serve=9464"}, Mode::headless},
        {{"--serve", "0", "-platform", "offscreen"}, Mode::headless},
        {{"--tray", "--serve", "0", "--interval", "1"}, Mode::headless},
        {{"--print", "--serve", "9464", "--count", "1"}, Mode::headless},
        {{"-h"}, Mode::help},
        {{"--help"}, Mode::help},
        {{"--print", "--tray", "--help"}, Mode::help},
        {{"--version"}, Mode::version},
        {{"--print", "--version"}, Mode::version},
        {{"--help", "--version"}, Mode::help},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(withProgram(c.args));
        EXPECT_EQ(line.mode, c.mode) << shown(c.args) << ": " << refusalText(line.refusal).toStdString();
        if (c.mode != Mode::tray) continue;
        EXPECT_EQ(line.trayOnly, c.trayOnly) << shown(c.args);
        EXPECT_EQ(line.options.serve.has_value(), c.servesBesideTheTray) << shown(c.args);
    }
}

TEST(CommandLine, RefusalsNameWhatIsWrongAndShowTheUsageWhereItHelps) {
    const struct {
        QStringList args;
        Reason reason;
        const char* named;            // on the first line
        const char* notNamed = nullptr;  // not on it
        bool usage = true;            // the usage follows
    } cases[] = {
        // Unknown options and stray arguments; only what nobody knows is named.
        {{"--bogus"}, Reason::parser, "bogus"},
        {{"-bogus"}, Reason::parser, "bogus"},
        {{"--tray-only", "--bogus"}, Reason::parser, "bogus", "tray-only"},
        {{"--tray-only", "-platform", "xcb", "--bogus"}, Reason::parser, "bogus", "tray-only"},
        {{"-platform", "xcb", "-frob"}, Reason::parser, "frob", "platform"},
        {{"--print", "--frobnicate"}, Reason::parser, "frobnicate"},
        {{"-reverse=1"}, Reason::parser, "reverse"},
        {{"--tray-only=yes"}, Reason::parser, "tray-only"},
        {{"--serve"}, Reason::parser, "serve"},
        {{"--tray", "--serve"}, Reason::parser, "serve"},
        {{"-style", "--print"}, Reason::parser, "style"},  // not a style named "--print"
        {{"-platform", "xcb", "stray"}, Reason::unexpected, "stray", "platform"},
        {{"-style=fusion", "stray"}, Reason::unexpected, "stray", "style"},
        {{"--print", "stray"}, Reason::unexpected, "stray"},
        {{"-"}, Reason::unexpected, "-"},
        {{"--", "-platform"}, Reason::unexpected, "-platform"},
        // Printing runs without the tray application.
        {{"--print", "--tray-only"}, Reason::unknown, "tray-only"},
        {{"--print", "-platform", "xcb"}, Reason::unknown, "'platform'"},
        {{"--print", "--serve", "9464", "--tray"}, Reason::unexpected, "--tray"},
        // An option given twice, whichever way it is spelt.
        {{"--serve", "19560", "--serve", "19561"}, Reason::repeated, "--serve"},
        {{"--serve", "19560", "--serve=19561", "--tray"}, Reason::repeated, "--serve"},
        {{"--print", "--count", "1", "--count", "2"}, Reason::repeated, "--count"},
        {{"--print", "-json", "--json"}, Reason::repeated, "--json"},
        {{"--tray-only", "--tray-only"}, Reason::repeated, "--tray-only"},
        {{"-platform", "xcb", "-platform", "wayland"}, Reason::repeated, "--platform"},
        {{"-h", "--help"}, Reason::repeated, "--help"},
        // Printing options need --print.
        {{"--json"}, Reason::needsPrint, "--json"},
        {{"--tray-only", "--interval", "1", "--json"}, Reason::needsPrint, "--interval", "tray-only"},
        {{"--count", "1"}, Reason::needsPrint, "--count"},
        {{"--serve", "9464", "--json"}, Reason::needsPrint, "--json"},
        {{"--serve", "9464", "--tray", "--json"}, Reason::needsPrint, "--json"},
        {{"--serve", "9464", "--processes"}, Reason::needsPrint, "--processes"},
        {{"--serve", "19560", "--count", "1"}, Reason::needsPrint, "--count"},
        // Values.
        {{"--serve-processes", "5"}, Reason::needsServe, "--serve-processes", nullptr, false},
        {{"--print", "--serve-processes", "5"}, Reason::needsServe, "--serve-processes", nullptr, false},
        {{"--tray", "--serve-processes", "3"}, Reason::needsServe, "--serve-processes", nullptr, false},
        {{"--print", "--count", "0"}, Reason::badValue, "--count", nullptr, false},
        {{"--print", "--count", "x"}, Reason::badValue, "--count", nullptr, false},
        {{"--print", "--interval", "-1"}, Reason::badValue, "--interval", nullptr, false},
        {{"--print", "--interval", "nan"}, Reason::badValue, "--interval", nullptr, false},
        {{"--print", "--interval", "0.04"}, Reason::badValue, "0.04", nullptr, false},
        {{"--print", "--interval", "86401"}, Reason::badValue, "86401", nullptr, false},
        {{"--serve", "host.example:80"}, Reason::badAddress, "host.example:80", nullptr, false},
        {{"--serve", "70000"}, Reason::badAddress, "70000", nullptr, false},
        {{"--tray", "--serve", "bogus"}, Reason::badAddress, "bogus", nullptr, false},
        {{"--serve", "9464", "--serve-processes", "-1"}, Reason::badValue, "--serve-processes", nullptr, false},
        {{"--serve", "9464", "--serve-processes", "many"}, Reason::badValue, "--serve-processes", nullptr, false},
        {{"--serve", "9464", "--serve-processes", "1001"}, Reason::badValue, "1001", nullptr, false},
        {{"--tray", "--serve", "9464", "--serve-processes", "x"}, Reason::badValue, "--serve-processes", nullptr,
         false},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(withProgram(c.args));
        ASSERT_EQ(line.mode, Mode::refused) << shown(c.args);
        EXPECT_EQ(line.refusal.reason, c.reason) << shown(c.args);
        const QString text = refusalText(line.refusal);
        const QString first = text.section(u'\n', 0, 0);
        EXPECT_TRUE(first.contains(QLatin1StringView(c.named))) << shown(c.args) << ": " << first.toStdString();
        if (c.notNamed) {
            EXPECT_FALSE(first.contains(QLatin1StringView(c.notNamed))) << shown(c.args) << ": " << first.toStdString();
        }
        EXPECT_EQ(text.contains(usageText()), c.usage) << shown(c.args) << ": " << text.toStdString();
        EXPECT_TRUE(text.endsWith(u'\n')) << shown(c.args);
    }
}

TEST(CommandLine, OptionsOfAnAcceptedLine) {
    struct Expected {
        bool print = false;
        bool json = false;
        bool processes = false;
        int count = -1;
        std::optional<double> interval = std::nullopt;
        QString serveAt = {};  // ListenAddress::text(), empty: not serving
        int servedProcesses = 0;
    };
    const struct {
        QStringList args;
        Expected expected;
    } cases[] = {
        {{"--print"}, {.print = true}},
        {{"--print", "--json", "--count", "3", "--interval", "0.5"},
         {.print = true, .json = true, .count = 3, .interval = 0.5}},
        {{"--print", "--interval", "0.05"}, {.print = true, .interval = 0.05}},
        {{"--print", "--interval", "86400"}, {.print = true, .interval = 86400}},
        {{"--print", "--count", "1"}, {.print = true, .count = 1}},
        {{"--print", "--processes"}, {.print = true, .processes = true}},
        {{"--serve", "9464"}, {.serveAt = "127.0.0.1:9464"}},
        {{"--print", "--serve=[::1]:9100", "--serve-processes", "15", "--json"},
         {.print = true, .json = true, .serveAt = "[::1]:9100", .servedProcesses = 15}},
        {{"--serve", "0", "--serve-processes", "1000"}, {.serveAt = "127.0.0.1:0", .servedProcesses = 1000}},
        {{"--serve", "0", "--serve-processes", "0"}, {.serveAt = "127.0.0.1:0"}},
        // The tray application's own options are set aside when serving alone.
        {{"--tray", "-platform", "offscreen", "--serve", "0", "--interval", "1"},
         {.interval = 1, .serveAt = "127.0.0.1:0"}},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(withProgram(c.args));
        ASSERT_EQ(line.mode, Mode::headless) << shown(c.args) << ": " << refusalText(line.refusal).toStdString();
        const PrintOptions& o = line.options;
        const Expected& e = c.expected;
        EXPECT_EQ(o.print, e.print) << shown(c.args);
        EXPECT_EQ(o.json, e.json) << shown(c.args);
        EXPECT_EQ(o.processes, e.processes) << shown(c.args);
        EXPECT_EQ(o.count, e.count) << shown(c.args);
        EXPECT_EQ(o.interval, e.interval) << shown(c.args) << ": absent means the setting";
        EXPECT_EQ(o.serve ? o.serve->address.text() : QString(), e.serveAt) << shown(c.args);
        EXPECT_EQ(o.serve ? o.serve->processes : 0, e.servedProcesses) << shown(c.args);
    }
}

TEST(CommandLine, HelpListsTheOptionsAndVersionNamesTheProgram) {
    const QString usage = usageText();
    for (const char* option : {"--print", "--json", "--count", "--interval", "--processes", "--serve",
                               "--serve-processes", "--tray", "--version", "--help"})
        EXPECT_TRUE(usage.contains(QLatin1StringView(option))) << option;
    for (const char* hidden : {"--tray-only", "platform", "stylesheet"})
        EXPECT_FALSE(usage.contains(QLatin1StringView(hidden))) << hidden << ": the tray's own, not for scripts";
    EXPECT_TRUE(versionText().startsWith(u"Velmora "));
    EXPECT_TRUE(versionText().contains(QRegularExpression(QStringLiteral("^Velmora \\d+\\.\\d+\\.\\d+$"))))
        << versionText().toStdString();
}

#ifdef VELMORA_BINARY
TEST(CommandLineProcess, RefusalsAndTheVersionThroughTheBinary) {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_STATE_HOME", dir.filePath("state"));
    env.insert("XDG_RUNTIME_DIR", dir.path());
    const struct {
        QStringList args;
        int exit;
        QByteArray out;  // the start of standard output
        QByteArray err;  // in standard error
    } cases[] = {
        {{"--version"}, 0, "Velmora ", ""},
        {{"--serve", "0", "--serve", "0"}, 2, "", "--serve"},
        {{"--print", "--count", "1", "--count", "2"}, 2, "", "--count"},
        {{"--serve", "0", "--count", "1"}, 2, "", "--count"},
        {{"--tray-only", "--tray-only"}, 2, "", "--tray-only"},
    };
    for (const auto& c : cases) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(VELMORA_BINARY, c.args);
        ASSERT_TRUE(p.waitForFinished(20000)) << shown(c.args);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << shown(c.args);
        EXPECT_EQ(p.exitCode(), c.exit) << shown(c.args);
        const QByteArray out = p.readAllStandardOutput();
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(out.startsWith(c.out)) << shown(c.args) << ": " << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << shown(c.args) << ": " << err.toStdString();
        if (c.exit == 2) {
            EXPECT_TRUE(err.contains("--interval")) << shown(c.args) << ": the usage follows";
            EXPECT_TRUE(out.isEmpty()) << shown(c.args);
        } else {
            EXPECT_TRUE(out.endsWith('\n'));
            EXPECT_EQ(out.count('\n'), 1) << "one line";
        }
    }
}
#endif
