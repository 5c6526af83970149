#pragma once

#include "core/serial_worker.h"
#include "core/snapshot.h"
#include "export/exposition.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace velmora {

// Where to listen: "[ADDRESS:]PORT", the address 127.0.0.1 unless one is named. IPv6
// addresses go in brackets ("[::1]:9464"); "localhost" is the IPv4 loopback. Port 0 asks the
// system for a free one. Absent for anything else (host names, ports over 65535, junk).
struct ListenAddress {
    QHostAddress address;
    quint16 port = 0;
    // "127.0.0.1:9464", "[::1]:9464": the form a URL needs.
    QString text() const;
};
std::optional<ListenAddress> parseListenAddress(QStringView text);

// What one client may cost. Every limit holds on the server's own thread, so neither a flood
// nor a slow client can stall the engine or the GUI.
struct ServeLimits {
    int maxConnections = 32;         // open at once; beyond it a newcomer takes the place of a waiting one
    int maxConnectionsPerPeer = 8;   // from one peer (see PeerKey); beyond it likewise, among its own
    qint64 maxRequestBytes = 8 * 1024;                 // request line, headers and body together
    std::chrono::milliseconds firstLineTimeout{2000};  // from connecting to the first request line
    std::chrono::milliseconds requestTimeout{5000};    // from a request's first byte to its end
    std::chrono::milliseconds idleTimeout{60000};      // a kept-alive connection without a request
    qint64 maxUnsentBytes = 1024 * 1024;               // answers a client leaves unread before it is dropped
};

// Whom a connection is counted against: an IPv4 address, or the /64 block of an IPv6 one (what
// one host usually holds, so changing addresses inside it gains a peer nothing). IPv4 in IPv6
// form counts as the IPv4 address.
struct PeerKey {
    bool ipv6 = false;
    quint64 bits = 0;
    bool operator==(const PeerKey&) const = default;
};
PeerKey peerKeyOf(const QHostAddress& address);

// What the server has done, for tests and diagnostics. Readable from any thread.
struct ServeCounts {
    int open = 0;          // connections open now
    qint64 accepted = 0;   // connections taken on
    qint64 refused = 0;    // connections closed at once: no room, and every connection mid-request
    qint64 evicted = 0;    // waiting connections closed to make room for a new one
    qint64 timedOut = 0;   // connections closed for a request, first-line or idle time-out
    qint64 oversized = 0;  // connections closed for a request over the size limit
    qint64 unread = 0;     // connections closed for leaving answers unread
    qint64 rejected = 0;   // requests answered 400 for their framing, the connection then closed
    qint64 answered = 0;   // requests answered (any status)
    qint64 scrapes = 0;    // of them, GET or HEAD /metrics
};

// The read-only HTTP endpoint: GET or HEAD /metrics renders the newest snapshot handed to
// `publish` (a scrape never samples anything itself); any other path is 404, any other
// method on /metrics 405; a request whose framing is invalid or ambiguous 400, and the
// connection closes. `Connection: close`, and HTTP/1.0 without keep-alive, close it after
// the answer. Requests are parsed by Qt's HTTP server module; a TCP front of our own owns the
// sockets so it can bound their number, size and time and check each request head before
// the module reads it. Everything runs on the server's own thread.
class MetricsServer {
  public:
    explicit MetricsServer(ExpositionContext context, ServeLimits limits = {});
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    struct ListenError {
        QAbstractSocket::SocketError code = QAbstractSocket::UnknownSocketError;
        QString text;  // the system's words
    };
    // Binds and starts answering; on failure nothing listens and the error says why.
    std::optional<ListenError> listen(const ListenAddress& where);
    // The bound port (the one chosen when port 0 was asked for); 0 before listening.
    quint16 port() const { return port_; }
    int processLimit() const;

    // The snapshot the next scrapes render. Any thread; keeps a copy with only the processes
    // the context asks for.
    void publish(const Snapshot& snapshot);

    ServeCounts counts() const;

    struct Shared;  // state the server thread and the owner both see

  private:
    std::shared_ptr<Shared> shared_;
    quint16 port_ = 0;
    SerialWorker worker_;  // declared last: its thread stops before the rest goes
};

}  // namespace velmora
