#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora::platform {

// One Internet socket as the kernel's socket-diagnostics interface reports it.
struct InetSocket {
    uint64_t inode = 0;                   // matches the "socket:[inode]" links under /proc/<pid>/fd
    uint8_t family = 0;                   // AF_INET or AF_INET6
    uint8_t state = 0;                    // TCP state number (TCP_ESTABLISHED, TCP_LISTEN, ...)
    std::array<uint8_t, 16> localAddr{};  // 4 bytes used for AF_INET
    std::array<uint8_t, 16> remoteAddr{};
    uint16_t localPort = 0;  // host byte order
    uint16_t remotePort = 0;
    uint32_t uid = 0;
    // Cumulative bytes from tcp_info; absent on kernels that do not report them.
    std::optional<uint64_t> bytesReceived;
    std::optional<uint64_t> bytesSent;  // bytes acknowledged by the peer
};

// TCP sockets of the whole machine over NETLINK_SOCK_DIAG, with their byte counters.
// Keeps its netlink socket and receive buffer between calls.
class SockDiag {
  public:
    SockDiag();
    ~SockDiag();
    SockDiag(const SockDiag&) = delete;
    SockDiag& operator=(const SockDiag&) = delete;

    // Replaces `out` with every IPv4 and IPv6 TCP socket. False when netlink is unavailable
    // or a reply is malformed (then `out` holds what was read before the failure).
    bool tcpSockets(std::vector<InetSocket>& out);

    // What one received buffer of a dump held.
    enum class Walk { more, done, failed };
    // Walks one buffer of socket-diagnostics replies to dump request `seq` for `family`,
    // appending each socket to `out`. Messages of other requests are skipped; a message
    // that overruns the buffer ends the walk. `data` is aligned as a netlink buffer.
    static Walk walk(const char* data, size_t length, uint32_t seq, uint8_t family,
                     std::vector<InetSocket>& out);

  private:
    bool dump(uint8_t family, std::vector<InetSocket>& out);

    int fd_ = -1;
    uint32_t seq_ = 0;
    std::vector<char> buf_;
};

}  // namespace velmora::platform
