#include "platform/linux/net_proc_linux.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stop_token>
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

// The part of a process's traffic whose peer is this machine: 127/8, ::1, and 127/8 mapped
// into IPv6; nothing else.
TEST(LinuxNetTraffic, LoopbackPeersAreCountedApart) {
    struct Case {
        int family;
        const char* peer;
        bool loopback;
    };
    const Case cases[] = {
        {AF_INET, "127.0.0.1", true},        {AF_INET, "127.255.3.4", true},   {AF_INET, "126.255.255.255", false},
        {AF_INET, "128.0.0.1", false},       {AF_INET, "10.0.0.1", false},     {AF_INET6, "::1", true},
        {AF_INET6, "::2", false},            {AF_INET6, "::ffff:127.0.0.9", true},
        {AF_INET6, "::ffff:10.0.0.1", false}, {AF_INET6, "::fffe:127.0.0.1", false},
        {AF_INET6, "2001:db8::1", false},
    };
    for (const Case& c : cases) {
        InetSocket before = sock(1, 100, 100), after = sock(1, 1100, 300);
        before.family = after.family = static_cast<uint8_t>(c.family);
        ASSERT_EQ(::inet_pton(c.family, c.peer, after.remoteAddr.data()), 1) << c.peer;
        const auto out = LinuxNetProcSource::traffic({before}, {after}, {{1, 10}}, 1.0);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].loopbackBps, c.loopback ? 1200.0 : 0.0) << c.peer;
        EXPECT_EQ(out[0].inBps + out[0].outBps, 1200.0) << "counted in the totals either way";
    }
}

// A connected pair of loopback TCP sockets in this process, with a reader draining the
// accepting end so the writer never blocks for long.
class LoopbackPair {
  public:
    LoopbackPair() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        client_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (client_ < 0 || ::connect(client_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return;
        server_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (server_ < 0) return;
        reader_ = std::thread([this] {
            char buf[16384];
            ssize_t n;
            while ((n = ::read(server_, buf, sizeof buf)) > 0)
                received_ += static_cast<size_t>(n);
        });
    }
    ~LoopbackPair() {
        finish();
        for (const int fd : {client_, server_, listener_})
            if (fd >= 0) ::close(fd);
    }
    bool connected() const { return server_ >= 0; }
    // Ends the sending side and waits for the reader to drain it; the bytes received.
    size_t finish() {
        if (client_ >= 0) ::shutdown(client_, SHUT_WR);
        if (reader_.joinable()) reader_.join();
        return received_.load();
    }
    size_t send(const std::string& payload) {
        size_t sent = 0;
        while (sent < payload.size()) {
            const ssize_t n = ::write(client_, payload.data() + sent, payload.size() - sent);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        return sent;
    }

  private:
    int listener_ = -1, client_ = -1, server_ = -1;
    std::atomic<size_t> received_{0};
    std::thread reader_;
};

const ProcNet* findSelf(const std::vector<ProcNet>& list) {
    for (const ProcNet& p : list)
        if (p.pid == getpid()) return &p;
    return nullptr;
}

// Loopback traffic of this very process during the measurement window shows under its pid.
TEST(LinuxNetProcLive, MeasuresThisProcessesLoopbackTraffic) {
    constexpr size_t kPayload = 200000;
    std::optional<std::vector<ProcNet>> result;
    {
        LoopbackPair pair;
        ASSERT_TRUE(pair.connected());
        LinuxNetProcSource source("/proc", std::chrono::milliseconds(800));
        source.setAfterFirstDump([&] { pair.send(std::string(kPayload, 'x')); });
        Interrupt interrupt;
        result = source.measure(interrupt.token());
        ASSERT_EQ(pair.finish(), kPayload);
    }

    ASSERT_TRUE(result.has_value()) << "netlink socket diagnostics unavailable";
    const ProcNet* self = findSelf(*result);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->name, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    // Both ends are ours; the payload crossed within a window of a little over 0.8 s.
    EXPECT_GT(self->inBps, kPayload / 2.0);
    EXPECT_GT(self->outBps, kPayload / 2.0);
    EXPECT_LT(self->inBps, kPayload / 0.8 + 1);
    EXPECT_DOUBLE_EQ(self->loopbackBps, self->inBps + self->outBps) << "all of it stayed on this machine";
}

// A monitor that stays open measures again and again with the same reader: every round
// finds the sender and its rate, not only the first.
TEST(LinuxNetProcLive, EveryRoundOfOneReaderFindsTheSender) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.connected());
    std::atomic<size_t> sent{0};
    // A steady sender: a chunk every few milliseconds for as long as the test measures.
    const std::jthread writer([&](const std::stop_token& stop) {
        const std::string chunk(16384, 'x');
        while (!stop.stop_requested()) {
            sent += pair.send(chunk);
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    });

    LinuxNetProcSource source("/proc", std::chrono::milliseconds(300));
    Interrupt interrupt;
    using Clock = std::chrono::steady_clock;
    for (int round = 1; round <= 3; ++round) {
        const size_t sentBefore = sent.load();
        const auto t0 = Clock::now();
        const std::optional<std::vector<ProcNet>> result = source.measure(interrupt.token());
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        // The sender's own rate over an interval that encloses the reader's window.
        const double sentRate = static_cast<double>(sent.load() - sentBefore) / seconds;

        ASSERT_TRUE(result.has_value()) << "netlink socket diagnostics unavailable";
        const ProcNet* self = findSelf(*result);
        ASSERT_NE(self, nullptr) << "round " << round;
        EXPECT_GT(self->outBps, sentRate / 2) << "round " << round;
        EXPECT_LT(self->outBps, sentRate * 2) << "round " << round;
        EXPECT_GT(self->inBps, sentRate / 2) << "round " << round;
    }
}

TEST(LinuxNetProcLive, InterruptEndsTheWaitAtOnce) {
    LinuxNetProcSource source("/proc", std::chrono::milliseconds(60000));
    Interrupt interrupt;
    const Interrupt::Token token = interrupt.token();
    // From another thread once the first dump is done, so the interrupt meets the wait
    // before or after it begins; both must end it.
    std::thread stopper;
    source.setAfterFirstDump([&] { stopper = std::thread([&] { interrupt.interrupt(); }); });
    const auto result = source.measure(token);
    ASSERT_TRUE(stopper.joinable());
    stopper.join();
    EXPECT_TRUE(token.stopped());
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->empty());
}
