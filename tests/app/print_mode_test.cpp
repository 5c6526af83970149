#include "app/print_mode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

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
