#include "app/print_mode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace velmora;

TEST(PrintProcesses, TableShowsTheBusiestRowsFirst) {
    Snapshot s;
    s.processes = {
        {.pid = 11, .name = "idle", .cpu = 0.0, .memBytes = 1024},
        {.pid = 22, .name = "busy", .cpu = 97.26, .memBytes = 3u << 20, .diskWriteBps = 2048},
        {.pid = 33, .name = QStringLiteral("a-process-name-far-longer-than-the-column"), .cpu = 5}};
    const QStringList lines = processTable(s, 2);
    ASSERT_EQ(lines.size(), 3) << "a header and the top two";
    EXPECT_TRUE(lines[0].contains("PID"));
    EXPECT_TRUE(lines[1].contains("22")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains("busy"));
    EXPECT_TRUE(lines[1].contains("97.3%"));
    EXPECT_TRUE(lines[1].contains("3.0 MB"));
    EXPECT_TRUE(lines[1].contains("2.0 KB/s"));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("a-process-name-far-long…"))) << lines[2].toStdString();
    EXPECT_EQ(lines[1].size(), lines[2].size()) << "columns line up";
    EXPECT_EQ(processTable(Snapshot{}, 10).size(), 1);
}

// A name is printed as it is: placeholder-like text in it is neither filled by the next
// column nor shifts the columns after it.
TEST(PrintProcesses, NamesThatLookLikePlaceholdersStayLiteral) {
    for (const QString& name : {QStringLiteral("%3"), QStringLiteral("a%1b"), QStringLiteral("%2%7%9"),
                                QStringLiteral("%10 %99"), QStringLiteral("%L1 %%2")}) {
        // The same row for a placeholder-free name of the same length, then the name
        // swapped in: every other column must be unchanged.
        Snapshot s;
        s.processes = {{.pid = 22,
                        .name = QString(name.size(), u'x'),
                        .cpu = 97.26,
                        .memBytes = 3u << 20,
                        .gpuPercent = 4}};
        QString expected = processTable(s, 1).at(1);
        expected.replace(expected.indexOf(s.processes[0].name), name.size(), name);
        s.processes[0].name = name;
        const QStringList lines = processTable(s, 1);
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[1], expected) << lines[1].toStdString();
    }
}

#ifdef VELMORA_BINARY
TEST(PrintProcesses, JsonCarriesEveryProcessOnlyWhenAsked) {
    qint64 pid = 0;
    const auto run = [&pid](QStringList extra) {
        QProcess p;
        p.start(VELMORA_BINARY,
                QStringList{"--print", "--json", "--count", "2", "--interval", "0.3"} + extra);
        EXPECT_TRUE(p.waitForStarted());
        pid = p.processId();
        EXPECT_TRUE(p.waitForFinished(20000));
        const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
        return QJsonDocument::fromJson(lines.last()).object()["processes"].toArray();
    };
    EXPECT_TRUE(run({}).isEmpty());
    const QJsonArray procs = run({"--processes"});
    ASSERT_GT(procs.size(), 1);
    bool sawItself = false;
    for (const QJsonValue& v : procs) {
        const QJsonObject o = v.toObject();
        EXPECT_GT(o["pid"].toInt(), 0);
        EXPECT_FALSE(o["name"].toString().isEmpty());
        if (o["pid"].toInt() == pid) {
            sawItself = true;
            EXPECT_EQ(o["name"].toString(), "velmora");
            EXPECT_GT(o["memBytes"].toDouble(), 0);
        }
    }
    EXPECT_TRUE(sawItself) << "the printing process lists itself";
}

TEST(PrintProcesses, TableModeListsProcessesUnderEachRow) {
    QProcess p;
    p.start(VELMORA_BINARY, {"--print", "--processes", "--count", "2", "--interval", "0.3"});
    ASSERT_TRUE(p.waitForFinished(20000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(out.count(QStringLiteral("PID")), 2) << out.toStdString();
    EXPECT_GE(out.split('\n', Qt::SkipEmptyParts).size(), 2 * 4);
}
#endif
