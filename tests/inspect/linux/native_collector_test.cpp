// The Linux collector against fixture /proc trees and against this very process.
#include "inspect/linux/native_collector.h"
#include "inspect/reverse_dns.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;

namespace {

void symlinkTo(const QString& target, const QString& link) {
    QDir().mkpath(QFileInfo(link).absolutePath());
    ASSERT_EQ(::symlink(target.toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
}

const NetConnection* find(const std::vector<NetConnection>& list, const QString& local,
                          const QString& state) {
    for (const auto& c : list)
        if (c.localAddr == local && c.state == state) return &c;
    return nullptr;
}

}  // namespace

TEST(NativeCollector, ConnectionsFromFixtureSocketTables) {
    QTemporaryDir root;
    test::writeFile(
        root, "50/net/tcp",
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 00000000:1F90 00000000:0000 0A 0:0 0:0 0 1000 0 9001 1\n"
        "   1: 0200000A:C350 5DB8D822:01BB 01 0:0 0:0 0 1000 0 9002 1\n"
        "   2: 0200000A:C351 5DB8D822:01BB 08 0:0 0:0 0 1000 0 9999 1\n");
    test::writeFile(
        root, "50/net/udp6",
        "  sl  local_address remote_address st tx_queue rx_queue tr tm->when retrnsmt uid timeout inode\n"
        "   0: 00000000000000000000000001000000:14E9 00000000000000000000000000000000:0000 07 0:0 0:0 0 "
        "1000 0 9003 2 0 0\n");
    symlinkTo("socket:[9001]", root.filePath("50/fd/3"));
    symlinkTo("socket:[9002]", root.filePath("50/fd/4"));
    symlinkTo("socket:[9003]", root.filePath("50/fd/5"));
    symlinkTo("socket:[4242]", root.filePath("50/fd/6"));  // a Unix socket: in no table

    int asked = 0;
    ReverseDNS dns(
        [&](const QString& ip) -> std::optional<QString> {
            ++asked;
            return ip == "34.216.184.93" ? std::optional<QString>("server.example") : std::nullopt;
        },
        1);
    NativeCollector collector(root.path().toStdString(), &dns);
    auto list = collector.connections(50);
    ASSERT_EQ(list.size(), 3u) << "the socket of another process (9999) and the Unix socket are not listed";
    EXPECT_EQ(list[0].localAddr, "10.0.0.2:50000") << "established first at equal (unknown) traffic";
    EXPECT_EQ(list[0].remoteAddr, "34.216.184.93:443");
    EXPECT_EQ(list[0].proto, "TCP4");
    EXPECT_EQ(list[0].state, "ESTABLISHED");
    EXPECT_FALSE(list[0].host.has_value()) << "the first ask only starts the look-up";
    EXPECT_EQ(list[1].localAddr, "*:8080");
    EXPECT_EQ(list[1].remoteAddr, "*:*");
    EXPECT_EQ(list[1].state, "LISTEN");
    EXPECT_EQ(list[2].proto, "UDP6");
    EXPECT_EQ(list[2].localAddr, "[::1]:5353");
    EXPECT_EQ(list[2].state, "") << "UDP has no state";
    EXPECT_FALSE(list[2].inBytes.has_value()) << "no traffic source for UDP";

    ASSERT_TRUE(test::waitUntil([&] { return dns.hostname("34.216.184.93").has_value(); }));
    list = collector.connections(50);
    EXPECT_EQ(list[0].host, QString("server.example"));
    EXPECT_EQ(asked, 1);

    const auto files = collector.openFiles(50);
    ASSERT_TRUE(files.has_value());
    QStringList names = files->connections;
    names.sort();  // in descriptor order, and a fixture folder lists its entries in any order
    EXPECT_EQ(names, (QStringList{"*:8080", "10.0.0.2:50000->34.216.184.93:443", "[::1]:5353"}));
    EXPECT_EQ(files->totalCount, 3);
    EXPECT_FALSE(collector.openFiles(51).has_value()) << "no such process";
    EXPECT_TRUE(collector.connections(51).empty());
}

TEST(NativeCollector, AHundredThousandDescriptorsAreCountedNotAllKept) {
    QTemporaryDir root;
    test::writeFile(root, "data/f", "x");
    const QString target = root.filePath("data/f");
    QDir().mkpath(root.filePath("60/fd"));
    const QByteArray fdDir = root.filePath("60/fd/").toLocal8Bit();
    constexpr int kCount = 100000;
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(::symlink(target.toLocal8Bit().constData(), (fdDir + QByteArray::number(i)).constData()),
                  0);
    NativeCollector collector(root.path().toStdString());
    const auto files = collector.openFiles(60);
    ASSERT_TRUE(files.has_value());
    EXPECT_EQ(files->totalCount, kCount);
    EXPECT_EQ(files->files.size(), kOpenFileNamesKept);
    EXPECT_TRUE(collector.connections(60).empty());
}

TEST(NativeCollector, FootprintFromAFixtureSmaps) {
    QTemporaryDir root;
    test::writeFile(root, "70/smaps",
                    "5600-5621 rw-p 00000000 00:00 0        [heap]\nPrivate_Dirty: 100 kB\nSwap: 20 kB\n"
                    "7f00-7f10 r-xp 00000000 08:01 11       /usr/lib/libc.so.6\nPrivate_Clean: 900 kB\n"
                    "7f10-7f11 rw-p 00010000 08:01 11       /usr/lib/libc.so.6\nPrivate_Dirty: 8 kB\n"
                    "7f20-7f30 rw-s 00000000 00:01 12       /dev/shm/x\nShared_Dirty: 40 kB\nLazyFree: 0 kB\n"
                    "7f40-7f50 rw-p 00000000 00:00 0\nPrivate_Dirty: 4 kB\nLazyFree: 4 kB\n");
    test::writeFile(root, "71/smaps", "");  // a kernel thread
    NativeCollector collector(root.path().toStdString());
    const auto fp = collector.memory(70);
    ASSERT_TRUE(fp.has_value());
    EXPECT_EQ(fp->totalBytes, (100 + 20 + 8 + 40 + 4) * 1024u) << "dirty and swapped";
    ASSERT_EQ(fp->categories.size(), 4u);
    EXPECT_EQ(fp->categories[0], (MemCategory{"[heap]", 120 * 1024, 0, 0, 1}));
    EXPECT_EQ(fp->categories[1], (MemCategory{"[shmem]", 40 * 1024, 0, 0, 1}));
    EXPECT_EQ(fp->categories[2], (MemCategory{"libc.so.6", 8 * 1024, 900 * 1024, 0, 2}));
    EXPECT_EQ(fp->categories[3], (MemCategory{"[anon]", 4 * 1024, 0, 4 * 1024, 1}));
    EXPECT_FALSE(collector.memory(71).has_value());
    EXPECT_FALSE(collector.memory(72).has_value());
}

TEST(NativeCollector, SeesThisProcessesFilesSocketsAndTraffic) {
    QTemporaryDir dir;
    QFile held(dir.filePath("held — open.txt"));
    ASSERT_TRUE(held.open(QIODevice::WriteOnly));
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(test::waitUntil([&] { return server.hasPendingConnections(); }));
    QTcpSocket* accepted = server.nextPendingConnection();
    const QByteArray payload(50000, 'x');
    client.write(payload);
    ASSERT_TRUE(test::waitUntil([&] {
        accepted->readAll();
        return client.bytesToWrite() == 0;
    }));
    QUdpSocket udp;
    ASSERT_TRUE(udp.bind(QHostAddress::LocalHost, 0));

    NativeCollector collector("/proc");
    const QString listenAt = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    const QString clientAt = QStringLiteral("127.0.0.1:%1").arg(client.localPort());
    const QString udpAt = QStringLiteral("127.0.0.1:%1").arg(udp.localPort());

    const auto list = collector.connections(getpid());
    const NetConnection* listening = find(list, listenAt, "LISTEN");
    ASSERT_NE(listening, nullptr);
    EXPECT_EQ(listening->remoteAddr, "*:*");
    EXPECT_EQ(listening->proto, "TCP4");
    const NetConnection* out = find(list, clientAt, "ESTABLISHED");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->remoteAddr, listenAt);
    const NetConnection* in = find(list, listenAt, "ESTABLISHED");
    ASSERT_NE(in, nullptr) << "the accepted end shares the listening port";
    EXPECT_EQ(in->remoteAddr, clientAt);
    if (out->outBytes) {  // the socket-diagnostics interface may be unavailable in a sandbox
        EXPECT_GE(*out->outBytes, static_cast<uint64_t>(payload.size()));
        ASSERT_TRUE(in->inBytes.has_value());
        EXPECT_GE(*in->inBytes, static_cast<uint64_t>(payload.size())) << "counted per socket, not per port";
        EXPECT_EQ(listening->inBytes.value_or(0), 0u);
    }
    const NetConnection* datagram = find(list, udpAt, "");
    ASSERT_NE(datagram, nullptr);
    EXPECT_EQ(datagram->proto, "UDP4");

    const auto files = collector.openFiles(getpid());
    ASSERT_TRUE(files.has_value());
    EXPECT_TRUE(files->files.contains(held.fileName()));
    EXPECT_TRUE(files->connections.contains(listenAt));
    EXPECT_TRUE(files->connections.contains(clientAt + "->" + listenAt));
    EXPECT_FALSE(files->permissionLimited);

    const auto fp = collector.memory(getpid());
    ASSERT_TRUE(fp.has_value());
    EXPECT_GT(fp->totalBytes, 0u);
    EXPECT_GT(fp->categories.size(), 3u);

    const auto facts = collector.fetchStatic(getpid());
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->uid, geteuid());
    EXPECT_FALSE(facts->userName.isEmpty());
    EXPECT_TRUE(facts->statusText.isEmpty()) << "localized later, on the GUI thread";
    EXPECT_EQ(facts->statusKey, "psRunning");
}
