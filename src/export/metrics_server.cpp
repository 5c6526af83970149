#include "export/metrics_server.h"

#include "export/request_scanner.h"

#include <QtHttpServer/QAbstractHttpServer>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace velmora {

struct MetricsServer::Shared {
    Shared(ExpositionContext c, ServeLimits l) : context(std::move(c)), limits(l) {}

    std::shared_ptr<const Snapshot> current() {
        std::lock_guard guard(lock);
        return snapshot;
    }

    const ExpositionContext context;
    const ServeLimits limits;
    std::mutex lock;
    std::shared_ptr<const Snapshot> snapshot;  // guarded by lock

    std::atomic<int> open{0};
    std::atomic<qint64> accepted{0}, refused{0}, evicted{0}, timedOut{0}, oversized{0}, unread{0},
        rejected{0}, answered{0}, scrapes{0};
};

namespace {

using Shared = MetricsServer::Shared;
using Clock = std::chrono::steady_clock;
using Head = RequestScanner::Head;

constexpr char kBadRequest[] =
    "HTTP/1.1 400 Bad Request\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 12\r\n"
    "Connection: close\r\n"
    "\r\n"
    "Bad Request\n";

// A connection with its budget: the bytes of the request in progress and a deadline, for the
// first request line, for a request once its first byte arrived, for the next request while
// it idles. The HTTP module reads from the socket itself; the socket learns what arrived from
// a slot that runs just before the module's (counting, and scanning the new bytes for request
// heads, so a bad one is refused before the module reads it) and one just after (enforcing,
// so the module never reads from a socket closed under it).
class GuardedSocket final : public QTcpSocket {
  public:
    GuardedSocket(std::shared_ptr<Shared> shared, QObject* parent)
        : QTcpSocket(parent), shared_(std::move(shared)), waitingSince_(Clock::now()) {
        const ServeLimits& limits = shared_->limits;
        // The module keeps a request's bytes buffered until it is complete: one byte over the
        // limit is enough to tell, and the socket reads no further than that.
        setReadBufferSize(limits.maxRequestBytes + 1);
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::CoarseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] { drop(shared_->timedOut); });
        connect(this, &QAbstractSocket::disconnected, &timer_, &QTimer::stop);
        firstLineDue_ = waitingSince_ + limits.firstLineTimeout;
        due_ = waitingSince_ + limits.idleTimeout;
        arm();
    }

    PeerKey peer() const { return peer_; }
    void setPeer(PeerKey peer) { peer_ = peer; }

    // Waiting for a request head: no complete one is being answered or queued, and the
    // connection is not closing. Only such a connection may make room for a newcomer.
    bool waiting() const { return !closing_ && !scanner_.hasPendingHead(); }
    // Since its last answer, or since it connected.
    Clock::time_point waitingSince() const { return waitingSince_; }

    void beforeParse() {
        const qint64 available = bytesAvailable();
        const qint64 arrived = available - unread_;
        unread_ = available;
        if (arrived > 0) {
            if (!inRequest_) {
                inRequest_ = true;
                requestBytes_ = 0;
                due_ = Clock::now() + shared_->limits.requestTimeout;
            }
            requestBytes_ += arrived;
            if (!scanner_.stopped()) {
                // The new bytes are the last ones buffered: the module has read the rest.
                peeked_.resize(available);
                const qint64 n = peek(peeked_.data(), available);
                if (n == available) scanner_.feed(QByteArrayView(peeked_).sliced(n - arrived));
            }
            arm();
        }
        if (scanner_.badAt() == answered_) reject();
    }

    void afterParse() {
        unread_ = bytesAvailable();
        if (state() == ConnectedState && inRequest_ && requestBytes_ > shared_->limits.maxRequestBytes)
            drop(shared_->oversized);
    }

    // The module hands over the next request: what its head asked of the connection.
    Head takeHead() {
        ++answered_;
        // Every request the module completes was scanned first; closing is the safe side anyway.
        return scanner_.takeHead().value_or(Head{.close = true});
    }

    // The answer to `head` is written.
    void afterAnswer(const Head& head) {
        const Clock::time_point now = Clock::now();
        waitingSince_ = now;
        requestBytes_ = 0;
        // Bytes already here begin the next request (pipelined), and its clock runs from now.
        inRequest_ = bytesAvailable() > 0;
        due_ = now + (inRequest_ ? shared_->limits.requestTimeout : shared_->limits.idleTimeout);
        if (head.close) return closeGracefully();
        if (scanner_.badAt() == answered_) return reject();
        arm();
    }

    // Closes the connection for good. The module no longer hears of its data first: a read it
    // had queued would otherwise land on the closed socket.
    void drop(std::atomic<qint64>& reason) {
        ++reason;
        closing_ = true;
        timer_.stop();
        disconnect(this, &QIODevice::readyRead, nullptr, nullptr);
        abort();
    }

  private:
    // The request at the head of the line has a framing nobody can trust: 400, then close.
    void reject() {
        ++shared_->rejected;
        ++shared_->answered;
        write(kBadRequest, sizeof kBadRequest - 1);
        closeGracefully();
    }

    // Sends what is written, then closes; the module reads nothing more. A client that does
    // not take the answer within a request's time is cut off.
    void closeGracefully() {
        closing_ = true;
        disconnect(this, &QIODevice::readyRead, nullptr, nullptr);
        timer_.start(shared_->limits.requestTimeout);
        disconnectFromHost();
    }

    void arm() {
        Clock::time_point due = due_;
        // Until the first request line arrives, its own shorter deadline holds too.
        if (scanner_.requestLines() == 0) due = std::min(due, firstLineDue_);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
        timer_.start(std::max(left, std::chrono::milliseconds(0)));
    }

    std::shared_ptr<Shared> shared_;
    QTimer timer_;
    RequestScanner scanner_;
    QByteArray peeked_;  // reused: the buffered bytes, copied to reach the new ones
    PeerKey peer_;
    Clock::time_point waitingSince_;
    Clock::time_point firstLineDue_;
    Clock::time_point due_;    // of the request in progress, or of the idle wait
    qint64 requestBytes_ = 0;  // of the request in progress
    qint64 unread_ = 0;        // buffered bytes the module had not read after its last pass
    int answered_ = 0;         // requests handed over by the module
    bool inRequest_ = false;
    bool closing_ = false;
};

// Takes each connection before the HTTP module sees it. When the newcomer's peer has its
// share of connections, or the server has all it takes, the newcomer takes the place of the
// connection (of that peer, or of anyone) that has waited longest for a complete request
// head; when every candidate is mid-request, the newcomer is refused. Waiting ones go first
// because a scraper sends its request as soon as it connects and is answered at once, while
// a connection that holds a slot without a complete request serves nobody; and a peer that
// opens connection after connection only ever displaces its own.
class GuardedTcpServer final : public QTcpServer {
  public:
    GuardedTcpServer(std::shared_ptr<Shared> shared, QObject* parent)
        : QTcpServer(parent), shared_(std::move(shared)) {}

  protected:
    void incomingConnection(qintptr handle) override {
        auto* socket = new GuardedSocket(shared_, this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        const PeerKey peer = peerKeyOf(socket->peerAddress());
        socket->setPeer(peer);
        const auto samePeer = [peer](const GuardedSocket* s) { return s->peer() == peer; };
        const auto anyone = [](const GuardedSocket*) { return true; };
        const bool roomForPeer =
            std::count_if(open_.begin(), open_.end(), samePeer) < shared_->limits.maxConnectionsPerPeer ||
            makeRoom(samePeer);
        if (!roomForPeer ||
            (static_cast<int>(open_.size()) >= shared_->limits.maxConnections && !makeRoom(anyone))) {
            socket->abort();
            delete socket;
            ++shared_->refused;
            return;
        }
        open_.push_back(socket);
        ++shared_->accepted;
        shared_->open = static_cast<int>(open_.size());
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { forget(socket); });
        connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
        // Slots run in the order they were connected: the counting one before the module's
        // (connected while the connection is handed over), the enforcing one after it.
        connect(socket, &QIODevice::readyRead, socket, [socket] { socket->beforeParse(); });
        addPendingConnection(socket);
        connect(socket, &QIODevice::readyRead, socket, [socket] { socket->afterParse(); });
    }

  private:
    // Evicts the connection among `candidates` that has waited longest; false when none waits.
    template <typename Candidate>
    bool makeRoom(Candidate candidate) {
        GuardedSocket* victim = nullptr;
        for (GuardedSocket* s : open_)
            if (candidate(s) && s->waiting() && (!victim || s->waitingSince() < victim->waitingSince()))
                victim = s;
        if (!victim) return false;
        forget(victim);
        victim->drop(shared_->evicted);
        return true;
    }

    void forget(QTcpSocket* socket) {
        const auto it = std::find(open_.begin(), open_.end(), socket);
        if (it == open_.end()) return;
        open_.erase(it);
        shared_->open = static_cast<int>(open_.size());
    }

    std::shared_ptr<Shared> shared_;
    std::vector<GuardedSocket*> open_;  // oldest first
};

QByteArray plainText() {
    return QByteArrayLiteral("text/plain; charset=utf-8");
}

using Status = QHttpServerResponder::StatusCode;

// One answer: the status line, the headers, then the body unless it answers HEAD (whose
// length is still the body's, as HTTP asks).
void writeAnswer(QHttpServerResponder& responder, Status status, const QByteArray& type,
                 const QByteArray& body, bool head, const Head& asked, const char* allow = nullptr) {
    responder.writeStatusLine(status);
    responder.writeHeader(QByteArrayLiteral("Content-Type"), type);
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
    if (allow) responder.writeHeader(QByteArrayLiteral("Allow"), allow);
    if (asked.close)
        responder.writeHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));
    else if (asked.keepAlive)
        responder.writeHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("keep-alive"));
    if (head)
        responder.writeBody("", 0);
    else
        responder.writeBody(body);
}

class MetricsHttpServer final : public QAbstractHttpServer {
  public:
    MetricsHttpServer(std::shared_ptr<Shared> shared, QObject* parent)
        : QAbstractHttpServer(parent), shared_(std::move(shared)) {}

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        auto* guarded = dynamic_cast<GuardedSocket*>(socket);
        const Head asked = guarded ? guarded->takeHead() : Head{};
        ++shared_->answered;
        QHttpServerResponder responder = makeResponder(request, socket);
        const auto method = request.method();
        const bool head = method == QHttpServerRequest::Method::Head;
        if (request.url().path() != QLatin1StringView("/metrics")) {
            writeAnswer(responder, Status::NotFound, plainText(), QByteArrayLiteral("Not Found\n"), head,
                        asked);
        } else if (method != QHttpServerRequest::Method::Get && !head) {
            writeAnswer(responder, Status::MethodNotAllowed, plainText(),
                        QByteArrayLiteral("Method Not Allowed\n"), false, asked, "GET, HEAD");
        } else {
            ++shared_->scrapes;
            const ExpositionFormat format = negotiateFormat(request.value("accept"));
            const std::shared_ptr<const Snapshot> snapshot = shared_->current();
            renderExposition(snapshot.get(), shared_->context, format, body_);
            writeAnswer(responder, Status::Ok, contentType(format), body_, head, asked);
        }
        if (!guarded) return true;
        // A client that asks and asks without reading would have its answers pile up here.
        if (socket->bytesToWrite() > shared_->limits.maxUnsentBytes)
            guarded->drop(shared_->unread);
        else
            guarded->afterAnswer(asked);
        return true;
    }

    // Every request is answered above.
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

  private:
    std::shared_ptr<Shared> shared_;
    QByteArray body_;
};

}  // namespace

QString ListenAddress::text() const {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return host + u':' + QString::number(port);
}

std::optional<ListenAddress> parseListenAddress(QStringView text) {
    ListenAddress result;
    result.address = QHostAddress(QHostAddress::LocalHost);
    QStringView portText = text;
    if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        QStringView host = text.first(colon);
        portText = text.sliced(colon + 1);
        if (host.startsWith(u'[') && host.endsWith(u']')) {
            host = host.sliced(1, host.size() - 2);
            if (!host.contains(u':')) return std::nullopt;  // brackets hold IPv6 only
        } else if (host.contains(u':')) {
            return std::nullopt;  // a bare IPv6 address is ambiguous with its port
        }
        if (host.compare(u"localhost", Qt::CaseInsensitive) == 0) {
            result.address = QHostAddress(QHostAddress::LocalHost);
        } else if (!result.address.setAddress(host.toString()) || host.isEmpty()) {
            return std::nullopt;
        }
        // A scope ("fe80::1%eth0") names an interface, not an address to bind to.
        if (!result.address.scopeId().isEmpty()) return std::nullopt;
    }
    if (portText.isEmpty() || portText.size() > 5) return std::nullopt;
    for (const QChar c : portText)
        if (c < u'0' || c > u'9') return std::nullopt;
    const int port = portText.toInt();
    if (port > 65535) return std::nullopt;
    result.port = static_cast<quint16>(port);
    return result;
}

PeerKey peerKeyOf(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4) return {false, ip4};
    const Q_IPV6ADDR ip6 = address.toIPv6Address();
    quint64 prefix = 0;
    for (int i = 0; i < 8; ++i)
        prefix = (prefix << 8) | ip6[i];
    return {true, prefix};
}

MetricsServer::MetricsServer(ExpositionContext context, ServeLimits limits)
    : shared_(std::make_shared<Shared>(std::move(context), limits)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.exporter")) {
    // The module logs a warning for each request it cannot place (an upgrade nobody takes):
    // any client could fill the log with them.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.httpserver.warning=false"));
}

MetricsServer::~MetricsServer() = default;

std::optional<MetricsServer::ListenError> MetricsServer::listen(const ListenAddress& where) {
    std::optional<ListenError> error;
    worker_.run([&] {
        auto* http = new MetricsHttpServer(shared_, worker_.context());
        auto* tcp = new GuardedTcpServer(shared_, http);
        if (!tcp->listen(where.address, where.port)) {
            error = ListenError{tcp->serverError(), tcp->errorString()};
            delete http;
            return;
        }
        http->bind(tcp);
        port_ = tcp->serverPort();
    });
    return error;
}

void MetricsServer::publish(const Snapshot& snapshot) {
    auto copy = std::make_shared<Snapshot>(snapshot);
    std::vector<ProcInfo> kept;
    for (const ProcInfo* p : busiestProcesses(snapshot, shared_->context.processLimit))
        kept.push_back(*p);
    copy->processes = std::move(kept);
    std::shared_ptr<const Snapshot> frozen = std::move(copy);
    std::lock_guard guard(shared_->lock);
    shared_->snapshot.swap(frozen);
    // The previous snapshot is released after the lock: the server thread may still hold it.
}

int MetricsServer::processLimit() const {
    return shared_->context.processLimit;
}

ServeCounts MetricsServer::counts() const {
    const Shared& s = *shared_;
    return {s.open.load(),      s.accepted.load(), s.refused.load(),  s.evicted.load(),  s.timedOut.load(),
            s.oversized.load(), s.unread.load(),   s.rejected.load(), s.answered.load(), s.scrapes.load()};
}

}  // namespace velmora
