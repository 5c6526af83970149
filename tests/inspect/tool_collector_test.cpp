// The tool-driven collector, run against the open-file tool where this system has one.
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
