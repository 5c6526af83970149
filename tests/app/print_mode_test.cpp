#include "app/print_mode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

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
        for (const char* field :
             {"time",         "cpuTotal",   "cpuPerCore", "memUsed",   "memTotal",    "memCompressed",
              "swapUsed",     "memPercent", "diskUsed",   "diskTotal", "diskPercent", "diskReadBps",
              "diskWriteBps", "gpuPercent", "netInBps",   "netOutBps", "battery",     "fans",
              "thermalState", "cpuTempC",   "gpuTempC",   "hottestC",  "cpuPowerW",   "gpuPowerW",
              "anePowerW",    "processes"})
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
#endif
