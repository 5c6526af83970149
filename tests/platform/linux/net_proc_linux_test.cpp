#include "platform/linux/net_proc_linux.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace velmora;
using namespace velmora::platform;

namespace {

InetSocket sock(uint64_t inode, std::optional<uint64_t> in, std::optional<uint64_t> out) {
    InetSocket s;
    s.inode = inode;
    s.bytesReceived = in;
    s.bytesSent = out;
    return s;
}

}  // namespace

TEST(LinuxNetTraffic, PerSocketDifferencesSummedPerProcess) {
    const std::vector<InetSocket> first = {sock(1, 1000, 500), sock(2, 0, 0), sock(3, 9000, 9000),
                                           sock(5, 10, 10), sock(0, 0, 0)};
    const std::vector<InetSocket> last = {
        sock(1, 3000, 900),  // pid 10: +2000 in, +400 out
        sock(2, 100, 50),    // pid 10 as well
        sock(3, 10, 9100),   // pid 20: the received count fell
        sock(4, 600, 0),     // pid 20: opened in between, all of it counts
        sock(5, 10, 10),     // pid 30: no traffic
        sock(6, 500, 500),   // held by nobody we can see
        sock(0, 700, 700),   // a socket without an inode
        sock(7, std::nullopt, std::nullopt),
        sock(8, 900000000, 900000000),  // pid 50, only in the second dump: no baseline
    };
    const std::unordered_map<uint64_t, int32_t> owners = {{1, 10}, {2, 10}, {3, 20}, {4, 20},
                                                          {5, 30}, {6, -1}, {7, 40}, {8, 50}};
    const std::vector<ProcNet> out = LinuxNetProcSource::traffic(first, last, owners, 2.0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], (ProcNet{10, {}, 2100 / 2.0, 450 / 2.0})) << "divided by the real elapsed time";
    EXPECT_EQ(out[1], (ProcNet{20, {}, 600 / 2.0, 100 / 2.0}));
    EXPECT_TRUE(LinuxNetProcSource::traffic(first, last, owners, 0.0).empty());
}

// Loopback traffic of this very process during the measurement window shows under its pid.
TEST(LinuxNetProcLive, MeasuresThisProcessesLoopbackTraffic) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(server, 0);

    constexpr size_t kPayload = 200000;
    std::atomic<size_t> received{0};
    std::thread reader([&] {
        char buf[8192];
        ssize_t n;
        while ((n = ::read(server, buf, sizeof buf)) > 0)
            received += static_cast<size_t>(n);
    });
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // after the first dump
        const std::string payload(kPayload, 'x');
        size_t sent = 0;
        while (sent < payload.size()) {
            const ssize_t n = ::write(client, payload.data() + sent, payload.size() - sent);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    });

    LinuxNetProcSource source("/proc", std::chrono::milliseconds(800));
    Interrupt interrupt;
    const std::optional<std::vector<ProcNet>> result = source.measure(interrupt.token());
    writer.join();
    ::shutdown(client, SHUT_WR);
    reader.join();
    ::close(client);
    ::close(server);
    ::close(listener);

    ASSERT_TRUE(result.has_value()) << "netlink socket diagnostics unavailable";
    ASSERT_EQ(received.load(), kPayload);
    const ProcNet* self = nullptr;
    for (const ProcNet& p : *result)
        if (p.pid == getpid()) self = &p;
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->name, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    // Both ends are ours; the payload crossed within a window of a little over 0.8 s.
    EXPECT_GT(self->inBps, kPayload / 2.0);
    EXPECT_GT(self->outBps, kPayload / 2.0);
    EXPECT_LT(self->inBps, kPayload / 0.8 + 1);
}

TEST(LinuxNetProcLive, InterruptEndsTheWaitAtOnce) {
    LinuxNetProcSource source("/proc", std::chrono::milliseconds(60000));
    Interrupt interrupt;
    const Interrupt::Token token = interrupt.token();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        interrupt.interrupt();
    });
    const auto result = source.measure(token);
    stopper.join();
    EXPECT_TRUE(token.stopped());
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->empty());
}
