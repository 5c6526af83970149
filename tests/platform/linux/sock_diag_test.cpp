#include "platform/linux/sock_diag.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>

#include <cstring>
#include <vector>

using namespace velmora::platform;

namespace {

// A buffer of netlink replies, built message by message, aligned as the kernel sends it.
class Replies {
  public:
    // One socket record; `infoBytes` of tcp_info follow it as an attribute when non-zero.
    Replies& socket(uint32_t seq, uint32_t inode, uint16_t localPort, size_t infoBytes, uint64_t received = 0,
                    uint64_t acked = 0) {
        inet_diag_msg msg{};
        msg.idiag_family = AF_INET;
        msg.idiag_inode = inode;
        msg.idiag_uid = 1000;
        msg.id.idiag_sport = htons(localPort);
        msg.id.idiag_dport = htons(443);
        msg.id.idiag_src[0] = htonl(INADDR_LOOPBACK);
        std::vector<char> body(sizeof msg);
        std::memcpy(body.data(), &msg, sizeof msg);
        if (infoBytes != 0) {
            tcp_info info{};
            info.tcpi_bytes_received = received;
            info.tcpi_bytes_acked = acked;
            rtattr attr{};
            attr.rta_type = INET_DIAG_INFO;
            attr.rta_len = static_cast<unsigned short>(RTA_LENGTH(infoBytes));
            const size_t at = body.size();
            body.resize(at + RTA_SPACE(infoBytes));
            std::memcpy(body.data() + at, &attr, sizeof attr);
            std::memcpy(body.data() + at + RTA_LENGTH(0), &info, std::min(infoBytes, sizeof info));
        }
        return message(seq, SOCK_DIAG_BY_FAMILY, body);
    }
    Replies& message(uint32_t seq, uint16_t type, const std::vector<char>& body = {}) {
        nlmsghdr h{};
        h.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(body.size()));
        h.nlmsg_type = type;
        h.nlmsg_seq = seq;
        const size_t at = bytes_.size();
        bytes_.resize(at + NLMSG_SPACE(body.size()));
        std::memcpy(bytes_.data() + at, &h, sizeof h);
        if (!body.empty()) std::memcpy(bytes_.data() + at + NLMSG_HDRLEN, body.data(), body.size());
        return *this;
    }
    SockDiag::Walk walk(uint32_t seq, std::vector<InetSocket>& out, size_t cut = 0) const {
        // Copied into 4-byte-aligned storage, as the receive buffer is.
        std::vector<uint32_t> aligned((bytes_.size() + 3) / 4);
        if (!bytes_.empty()) std::memcpy(aligned.data(), bytes_.data(), bytes_.size());
        return SockDiag::walk(reinterpret_cast<const char*>(aligned.data()), bytes_.size() - cut, seq,
                              AF_INET, out);
    }

  private:
    std::vector<char> bytes_;
};

}  // namespace

TEST(SockDiagWalk, ReadsSocketsAndTheirCountersUntilDone) {
    Replies r;
    r.socket(7, 100, 5000, sizeof(tcp_info), 1234, 5678)
        .socket(6, 999, 1, sizeof(tcp_info), 1, 1)  // a stale reply of an earlier dump
        .socket(7, 101, 5001, offsetof(tcp_info, tcpi_bytes_acked) + 8, 10, 20)
        .socket(7, 102, 5002, offsetof(tcp_info, tcpi_bytes_acked) + 4)  // too short for either counter
        .socket(7, 103, 5003, 0)
        .message(7, NLMSG_DONE)
        .socket(7, 104, 5004, 0);  // after the end: not read
    std::vector<InetSocket> out;
    EXPECT_EQ(r.walk(7, out), SockDiag::Walk::done);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].inode, 100u);
    EXPECT_EQ(out[0].localPort, 5000);
    EXPECT_EQ(out[0].remotePort, 443);
    EXPECT_EQ(out[0].uid, 1000u);
    EXPECT_EQ(out[0].localAddr[0], 127);
    EXPECT_EQ(out[0].bytesReceived, std::optional<uint64_t>(1234));
    EXPECT_EQ(out[0].bytesSent, std::optional<uint64_t>(5678));
    EXPECT_EQ(out[1].inode, 101u);
    EXPECT_EQ(out[1].bytesSent, std::optional<uint64_t>(20)) << "an older kernel's shorter record";
    EXPECT_EQ(out[1].bytesReceived, std::nullopt);
    EXPECT_EQ(out[2].bytesReceived, std::nullopt);
    EXPECT_EQ(out[2].bytesSent, std::nullopt);
    EXPECT_EQ(out[3].bytesReceived, std::nullopt);
}

TEST(SockDiagWalk, ErrorsAndCutBuffersEndTheWalkSafely) {
    std::vector<InetSocket> out;
    EXPECT_EQ(Replies().message(3, NLMSG_ERROR, std::vector<char>(sizeof(nlmsgerr))).walk(3, out),
              SockDiag::Walk::failed);
    EXPECT_EQ(Replies().message(2, NLMSG_ERROR).walk(3, out), SockDiag::Walk::more) << "another dump's error";

    // A message cut short by the end of the buffer is not read at all.
    Replies cut;
    cut.socket(3, 100, 1, sizeof(tcp_info)).socket(3, 101, 2, sizeof(tcp_info));
    out.clear();
    EXPECT_EQ(cut.walk(3, out, 8), SockDiag::Walk::more);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].inode, 100u);

    // A socket message too short for its record is skipped.
    out.clear();
    EXPECT_EQ(
        Replies().message(3, SOCK_DIAG_BY_FAMILY, std::vector<char>(8)).message(3, NLMSG_DONE).walk(3, out),
        SockDiag::Walk::done);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Replies().walk(3, out), SockDiag::Walk::more);
}
