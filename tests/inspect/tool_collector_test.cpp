// The tool-driven collector, run against the open-file tool where this system has one.
#include "inspect/reverse_dns.h"
#include "inspect/tool_collector.h"

#include "support/test_util.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;

namespace {

ToolCollector::Paths pathsWithLsof(const QString& lsof) {
    ToolCollector::Paths p;
    p.footprint = "/nonexistent/footprint";
    p.nettop = "/nonexistent/nettop";
    p.lsof = lsof;
    return p;
}

}  // namespace

TEST(ToolCollector, ReadsFilesAndSocketsThroughTheOpenFileTool) {
    const QString lsof = QStandardPaths::findExecutable("lsof");
    if (lsof.isEmpty()) GTEST_SKIP() << "no lsof here";
    QTemporaryDir dir;
    QFile held(dir.filePath("held open.txt"));
    ASSERT_TRUE(held.open(QIODevice::WriteOnly));
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString listenAt = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());

    ToolCollector collector(platform::systemProcessFacts(), pathsWithLsof(lsof), ToolLimits());
    const auto files = collector.openFiles(getpid());
    ASSERT_TRUE(files.has_value());
    EXPECT_TRUE(files->files.contains(held.fileName())) << files->files.join("\n").toStdString();
    EXPECT_TRUE(files->connections.contains(listenAt));
    EXPECT_EQ(files->totalCount, files->files.size() + files->connections.size());

    const auto conns = collector.connections(getpid());
    const auto it = std::find_if(conns.begin(), conns.end(),
                                 [&](const NetConnection& c) { return c.localAddr == listenAt; });
    ASSERT_NE(it, conns.end());
    EXPECT_EQ(it->proto, "TCP4");
    EXPECT_EQ(it->state, "LISTEN");
    EXPECT_EQ(it->remoteAddr, "*:*");
    EXPECT_FALSE(it->inBytes.has_value()) << "no traffic tool, no traffic";

    EXPECT_FALSE(collector.memory(getpid()).has_value()) << "no footprint tool";
    const auto facts = collector.fetchStatic(getpid());
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->pid, getpid());
}

TEST(ToolCollector, MissingToolsGiveEmptyResults) {
    ToolCollector collector(platform::systemProcessFacts(), pathsWithLsof("/nonexistent/lsof"), ToolLimits());
    EXPECT_FALSE(collector.openFiles(getpid()).has_value());
    EXPECT_TRUE(collector.connections(getpid()).empty());
    EXPECT_TRUE(collector.nettopBytesByLocalPort(getpid()).isEmpty());
}

namespace {

// An executable shell script in `dir` that prints `output` only when run in the C locale.
QString fakeTool(const QTemporaryDir& dir, const QString& name, const QByteArray& output) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n[ \"$LC_ALL\" = C ] || exit 0\nprintf '%s' '" + output + "'\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

}  // namespace

TEST(ToolCollector, TablesWithCutNamesStillGiveTrafficAndConnections) {
    // Both tools cut the process name bytewise, here inside the Hangul name's second character.
    // Start the shared resolver's threads before any tool runs: Qt's children share our
    // memory until they exec, and the thread checker's bookkeeping done in them leaves it
    // blind to the locks of threads started afterwards.
    ReverseDNS::shared();
    QTemporaryDir dir;
    ToolCollector::Paths paths;
    paths.footprint = "/nonexistent/footprint";
    paths.nettop = fakeTool(dir, "nettop",
                            "                    bytes_in  bytes_out\n"
                            "\xed\x95\x9c\xea\xb8.412    5000      3000\n"
                            "   tcp4 10.0.0.2:50000<->17.253.144.10:443   4000   2000\n");
    paths.lsof = fakeTool(dir, "lsof",
                          "COMMAND PID USER   FD   TYPE             DEVICE SIZE/OFF NODE NAME\n"
                          "\xed\x95\x9c\xea\xb8 412  me   30u  IPv4 0x1234567890abcdef      0t0  TCP "
                          "10.0.0.2:50000->127.0.0.1:443 (ESTABLISHED)\n");
    ToolCollector collector(platform::systemProcessFacts(), paths, ToolLimits());

    const auto traffic = collector.nettopBytesByLocalPort(412);
    ASSERT_TRUE(traffic.contains("50000"));
    EXPECT_EQ(traffic["50000"].in, 4000u);
    const auto conns = collector.connections(412);
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].localAddr, "10.0.0.2:50000");
    EXPECT_EQ(conns[0].inBytes, 4000u);
    EXPECT_EQ(conns[0].state, "ESTABLISHED");
}
