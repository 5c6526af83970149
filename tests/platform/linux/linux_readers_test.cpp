#include "platform/linux/gpu_linux.h"
#include "platform/linux/proc_pid.h"
#include "platform/linux/sock_diag.h"

#include "support/test_util.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <map>

using namespace velmora;
using namespace velmora::platform;

TEST(PidStatParse, NamesWithSpacesAndParentheses) {
    PidStat s;
    const std::string line =
        "4242 (my (odd) name) S 1 4242 4242 0 -1 4194560 1000 0 5 0 250 125 0 0 20 0 3 0 987654 123456789 "
        "2048 "
        "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 3 0 0 0 0 0\n";
    ASSERT_TRUE(parsePidStat(line, s));
    EXPECT_EQ(s.pid, 4242);
    EXPECT_EQ(s.comm, "my (odd) name");
    EXPECT_EQ(s.state, 'S');
    EXPECT_EQ(s.ppid, 1);
    EXPECT_EQ(s.utime, 250u);
    EXPECT_EQ(s.stime, 125u);
    EXPECT_EQ(s.priority, 20);
    EXPECT_EQ(s.nice, 0);
    EXPECT_EQ(s.numThreads, 3);
    EXPECT_EQ(s.starttime, 987654u);
    EXPECT_EQ(s.vsize, 123456789u);
    EXPECT_EQ(s.rssPages, 2048);

    ASSERT_TRUE(parsePidStat("7 () Z 2 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 0 0", s))
        << "empty name, zombie";
    EXPECT_EQ(s.comm, "");
    EXPECT_EQ(s.state, 'Z');
}

TEST(PidStatParse, RejectsTruncatedAndGarbage) {
    PidStat s;
    EXPECT_FALSE(parsePidStat("", s));
    EXPECT_FALSE(parsePidStat("12 (name", s));
    EXPECT_FALSE(parsePidStat("12 (name) S 1 2 3", s)) << "truncated before the counters";
    EXPECT_FALSE(parsePidStat("x (name) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21", s));
    EXPECT_FALSE(parsePidStat("12 (a) S 1 0 0 0 -1 0 0 0 0 0 abc 5 0 0 20 0 1 0 5 0 0", s));
}

TEST(GpuProcTimes, CountsEachDrmClientOnceUnderItsFirstHolder) {
    int32_t pids[8] = {};
    uint64_t times[8] = {};
    const std::string root = test::fixture("gpu/two_clients");
    const int n = gpuProcessTimesAt(root + "/proc", root + "/sys", pids, times, 8);
    ASSERT_EQ(n, 2) << "client 7 is shared by pids 100 and 200; client 11 used no GPU time";
    std::map<int32_t, uint64_t> byPid;
    for (int i = 0; i < n; ++i)
        byPid[pids[i]] += times[i];
    // Readdir order decides which holder of the shared client is seen first.
    const uint64_t shared = 3500000;
    EXPECT_EQ(byPid[100] + byPid[200], shared + 400) << "engine times summed, capacity counts skipped";
    EXPECT_TRUE(byPid[200] == 400 || byPid[200] == shared + 400);

    EXPECT_EQ(gpuProcessTimesAt(root + "/proc", root + "/sys", pids, times, 1), 1) << "stops at capacity";
}

TEST(GpuProcTimes, NoDrmDeviceIsAFailure) {
    int32_t pids[4];
    uint64_t times[4];
    const std::string root = test::fixture("gpu/two_clients");
    EXPECT_EQ(gpuProcessTimesAt(root + "/proc", test::fixture("gpu/no_drm/sys"), pids, times, 4), -1);
    EXPECT_EQ(gpuProcessTimesAt("/nonexistent", "/nonexistent", pids, times, 4), -1);
}

TEST(SockDiagLive, ReportsLoopbackTrafficOfAConnection) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(client.waitForConnected(3000));
    ASSERT_TRUE(test::waitUntil([&] { return server.hasPendingConnections(); }));
    QTcpSocket* peer = server.nextPendingConnection();
    const QByteArray payload(100000, 'x');
    client.write(payload);
    ASSERT_TRUE(test::waitUntil([&] {
        client.flush();
        peer->readAll();
        return client.bytesToWrite() == 0;
    }));

    SockDiag diag;
    std::vector<InetSocket> sockets;
    ASSERT_TRUE(diag.tcpSockets(sockets)) << "netlink socket diagnostics unavailable";
    const InetSocket* mine = nullptr;
    for (const InetSocket& s : sockets)
        if (s.localPort == client.localPort() && s.remotePort == server.serverPort()) mine = &s;
    ASSERT_NE(mine, nullptr);
    EXPECT_NE(mine->inode, 0u);
    ASSERT_TRUE(mine->bytesSent.has_value());
    EXPECT_TRUE(test::waitUntil([&] {
        diag.tcpSockets(sockets);
        for (const InetSocket& s : sockets)
            if (s.localPort == client.localPort() && s.bytesSent && *s.bytesSent >= 100000) return true;
        return false;
    })) << "acknowledged bytes reach the payload size";
    bool sawListener = false;
    for (const InetSocket& s : sockets)
        sawListener |= s.localPort == server.serverPort() && s.remotePort == 0;
    EXPECT_TRUE(sawListener);
}
