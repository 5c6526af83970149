#include "platform/linux/sock_diag.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>

namespace velmora::platform {

namespace {

constexpr size_t kBufferSize = 64 * 1024;

uint64_t readU64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

SockDiag::SockDiag() : buf_(kBufferSize) {}

SockDiag::~SockDiag() {
    if (fd_ >= 0) ::close(fd_);
}

bool SockDiag::tcpSockets(std::vector<InetSocket>& out) {
    out.clear();
    if (fd_ < 0) {
        fd_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
        if (fd_ < 0) return false;
        // A kernel that never answers must not hang the caller's thread.
        timeval timeout{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    const bool ok = dump(AF_INET, out) && dump(AF_INET6, out);
    if (!ok) {
        // Start over with a fresh socket next time; a half-read dump would desync replies.
        ::close(fd_);
        fd_ = -1;
    }
    return ok;
}

bool SockDiag::dump(uint8_t family, std::vector<InetSocket>& out) {
    struct {
        nlmsghdr nlh;
        inet_diag_req_v2 req;
    } request{};
    request.nlh.nlmsg_len = sizeof request;
    request.nlh.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.nlh.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.nlh.nlmsg_seq = ++seq_;
    request.req.sdiag_family = family;
    request.req.sdiag_protocol = IPPROTO_TCP;
    request.req.idiag_states = ~0u;
    request.req.idiag_ext = 1 << (INET_DIAG_INFO - 1);

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd_, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return false;

    for (;;) {
        const ssize_t n = ::recv(fd_, buf_.data(), buf_.size(), 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        switch (walk(buf_.data(), static_cast<size_t>(n), seq_, family, out)) {
            case Walk::more:
                break;
            case Walk::done:
                return true;
            case Walk::failed:
                return false;
        }
    }
}

SockDiag::Walk SockDiag::walk(const char* data, size_t length, uint32_t seq, uint8_t family,
                              std::vector<InetSocket>& out) {
    int len = static_cast<int>(std::min<size_t>(length, INT_MAX));
    for (auto* h = reinterpret_cast<const nlmsghdr*>(data); NLMSG_OK(h, len); h = NLMSG_NEXT(h, len)) {
        if (h->nlmsg_seq != seq) continue;  // a stale reply from an interrupted dump
        if (h->nlmsg_type == NLMSG_DONE) return Walk::done;
        if (h->nlmsg_type == NLMSG_ERROR) return Walk::failed;
        if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
            continue;
        const auto* msg = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
        InetSocket s;
        s.inode = msg->idiag_inode;
        s.family = msg->idiag_family;
        s.state = msg->idiag_state;
        s.uid = msg->idiag_uid;
        s.localPort = ntohs(msg->id.idiag_sport);
        s.remotePort = ntohs(msg->id.idiag_dport);
        const size_t addrBytes = family == AF_INET ? 4 : 16;
        std::memcpy(s.localAddr.data(), msg->id.idiag_src, addrBytes);
        std::memcpy(s.remoteAddr.data(), msg->id.idiag_dst, addrBytes);

        int attrLen = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(sizeof(*msg)));
        for (auto* a = reinterpret_cast<const rtattr*>(msg + 1); RTA_OK(a, attrLen);
             a = RTA_NEXT(a, attrLen)) {
            if (a->rta_type != INET_DIAG_INFO) continue;
            const auto* info = static_cast<const unsigned char*>(RTA_DATA(a));
            const size_t size = RTA_PAYLOAD(a);
            // Older kernels send a shorter tcp_info: only read fields that are present.
            if (size >= offsetof(tcp_info, tcpi_bytes_received) + sizeof(uint64_t))
                s.bytesReceived = readU64(info + offsetof(tcp_info, tcpi_bytes_received));
            if (size >= offsetof(tcp_info, tcpi_bytes_acked) + sizeof(uint64_t))
                s.bytesSent = readU64(info + offsetof(tcp_info, tcpi_bytes_acked));
        }
        out.push_back(s);
    }
    return Walk::more;
}

}  // namespace velmora::platform
