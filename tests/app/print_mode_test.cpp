#include "app/print_mode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

TEST(PrintArgs, ParsesOptionsAndRejectsUnknownOnes) {
    PrintArgs a = parsePrintArgs({"velmora", "--print", "--json", "--count", "3", "--interval", "0.5"}, 2.0);
    ASSERT_TRUE(a.options.has_value());
    EXPECT_TRUE(a.options->json);
    EXPECT_EQ(a.options->count, 3);
    EXPECT_EQ(a.options->interval, 0.5);

    a = parsePrintArgs({"velmora", "--print"}, 5.0);
    ASSERT_TRUE(a.options.has_value());
    EXPECT_FALSE(a.options->json);
    EXPECT_EQ(a.options->count, -1);
    EXPECT_EQ(a.options->interval, 5.0) << "defaults to the refresh interval setting";

    for (const QStringList& bad :
         {QStringList{"velmora", "--print", "--bogus"}, QStringList{"velmora", "--print", "--count", "0"},
          QStringList{"velmora", "--print", "--count", "x"},
          QStringList{"velmora", "--print", "--interval", "-1"},
          QStringList{"velmora", "--print", "--interval", "nan"},
          QStringList{"velmora", "--print", "stray"}}) {
        a = parsePrintArgs(bad, 2.0);
        EXPECT_FALSE(a.options.has_value()) << bad.join(' ').toStdString();
        EXPECT_EQ(a.exitCode, 2) << bad.join(' ').toStdString();
        EXPECT_FALSE(a.message.isEmpty());
    }

    a = parsePrintArgs({"velmora", "--help"}, 2.0);
    EXPECT_FALSE(a.options.has_value());
    EXPECT_EQ(a.exitCode, 0);
    EXPECT_TRUE(a.message.contains("--interval"));
}

TEST(LaunchArgs, TheTrayStartsOnlyWhenEveryArgumentIsItsOwn) {
    using Mode = Launch::Mode;
    struct Case {
        QStringList args;
        Mode mode;
        bool trayOnly;
    };
    const Case cases[] = {
        {{"velmora"}, Mode::tray, false},
        {{"velmora", "--tray-only"}, Mode::tray, true},
        {{"velmora", "-platform", "xcb"}, Mode::tray, false},
        {{"velmora", "--platform", "offscreen", "--tray-only"}, Mode::tray, true},
        {{"velmora", "-style=fusion", "-reverse", "-qwindowtitle", "Velmora"}, Mode::tray, false},
        {{"velmora", "-platform"}, Mode::tray, false},  // a missing value at the end: Qt ignores it
        {{"velmora", "--bogus"}, Mode::headless, false},
        {{"velmora", "-bogus"}, Mode::headless, false},
        {{"velmora", "--tray-only", "--bogus"}, Mode::headless, false},
        {{"velmora", "-platform", "xcb", "stray"}, Mode::headless, false},
        {{"velmora", "-"}, Mode::headless, false},
        {{"velmora", "--", "-platform"}, Mode::headless, false},
        {{"velmora", "-reverse=1"}, Mode::headless, false},
        {{"velmora", "--tray-only=yes"}, Mode::headless, false},
        {{"velmora", "--print"}, Mode::headless, false},
        {{"velmora", "-style", "--print"}, Mode::headless, false},
        {{"velmora", "--json"}, Mode::headless, false},
        {{"velmora", "-h"}, Mode::headless, false},
        {{"velmora", "--help"}, Mode::headless, false},
    };
    for (const Case& c : cases) {
        const Launch l = launchOf(c.args);
        EXPECT_EQ(l.mode, c.mode) << c.args.join(' ').toStdString();
        EXPECT_EQ(l.trayOnly, c.trayOnly) << c.args.join(' ').toStdString();
    }
}

TEST(PrintArgs, RefusalsNameOnlyWhatNobodyKnows) {
    struct Case {
        QStringList args;
        const char* named;     // on the error line
        const char* notNamed;  // not on it
    };
    const Case cases[] = {
        {{"velmora", "--bogus"}, "bogus", nullptr},
        {{"velmora", "--tray-only", "-platform", "xcb", "--bogus"}, "bogus", "tray-only"},
        {{"velmora", "-platform", "xcb", "-frob"}, "frob", "platform"},
        {{"velmora", "-style=fusion", "stray"}, "stray", "style"},
        {{"velmora", "--json"}, "--json", nullptr},
        {{"velmora", "--print", "--tray-only"}, "tray-only", nullptr},
        {{"velmora", "--print", "-platform", "xcb"}, "'platform'", nullptr},
    };
    for (const Case& c : cases) {
        const PrintArgs a = parsePrintArgs(c.args, 2.0);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_FALSE(a.options.has_value()) << what;
        EXPECT_EQ(a.exitCode, 2) << what;
        const QString errorLine = a.message.section(u'\n', 0, 0);
        EXPECT_TRUE(errorLine.contains(c.named)) << what << ": " << errorLine.toStdString();
        if (c.notNamed) {
            EXPECT_FALSE(errorLine.contains(c.notNamed)) << what << ": " << errorLine.toStdString();
        }
        EXPECT_TRUE(a.message.contains("--interval")) << what << ": the usage follows";
    }

    const PrintArgs help = parsePrintArgs({"velmora", "-h"}, 2.0);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.message.contains("--interval"));
    EXPECT_TRUE(parsePrintArgs({"velmora", "-print", "-json"}, 2.0).options->json) << "one dash works as two";
}

TEST(PrintTable, RowShowsTheSnapshot) {
    Snapshot s;
    s.cpuTotal = 12.4;
    s.memPercent = 50;
    s.memUsed = 8ull << 30;
    s.memTotal = 16ull << 30;
    s.diskReadBps = 1536;
    s.cpuTempC = 61.6;
    const QString row = tableRow(s);
    EXPECT_TRUE(row.contains("12%")) << row.toStdString();
    EXPECT_TRUE(row.contains("8.0 GB/16.0 GB")) << row.toStdString();
    EXPECT_TRUE(row.contains("1.5 KB/s")) << row.toStdString();
    EXPECT_TRUE(row.contains("62°C")) << row.toStdString();
    s.cpuTempC.reset();
    EXPECT_TRUE(tableRow(s).contains(" -")) << "absent temperature";
}

#ifdef VELMORA_BINARY
TEST(PrintModeProcess, JsonLinesCarryEveryField) {
    QProcess p;
    p.start(VELMORA_BINARY, {"--print", "--json", "--count", "2", "--interval", "0.2"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    for (const QByteArray& line : lines) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        ASSERT_TRUE(doc.isObject()) << line.toStdString();
        const QJsonObject o = doc.object();
        for (const char* field : {"time",         "cpuTotal",      "cpuPerCore",    "memUsed",
                                  "memTotal",     "memCompressed", "swapUsed",      "memPercent",
                                  "diskUsed",     "diskTotal",     "diskPercent",   "diskReadBps",
                                  "diskWriteBps", "gpuPercent",    "netInBps",      "netOutBps",
                                  "battery",      "fans",          "thermalState",  "cpuTempC",
                                  "gpuTempC",     "hottestC",      "cpuPowerW",     "gpuPowerW",
                                  "anePowerW",    "processes",     "diskReadBytes", "diskWrittenBytes",
                                  "netInBytes",   "netOutBytes",   "sensors"})
            EXPECT_TRUE(o.contains(field)) << field;
        const double cpu = o["cpuTotal"].toDouble(-1);
        EXPECT_GE(cpu, 0);
        EXPECT_LE(cpu, 100);
    }
    EXPECT_FALSE(QJsonDocument::fromJson(lines[1])["cpuPerCore"].toArray().isEmpty());
}

TEST(PrintModeProcess, UnknownOptionExitsWithTwo) {
    QProcess p;
    p.start(VELMORA_BINARY, {"--print", "--frobnicate"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("frobnicate"));
}

TEST(LaunchProcess, AnUnknownOptionIsRefusedBeforeAnyWindowWithoutADisplay) {
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");  // a GUI application object would abort here
    env.insert("XDG_CONFIG_HOME", config.path());
    for (const QStringList& args :
         {QStringList{"--bogus"}, QStringList{"--tray-only", "-platform", "xcb", "--bogus"}}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(VELMORA_BINARY, args);
        ASSERT_TRUE(p.waitForFinished(20000)) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(err.contains("bogus")) << err.toStdString();
        EXPECT_TRUE(err.contains("--interval")) << "the usage follows: " << err.toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    }
}
#endif
