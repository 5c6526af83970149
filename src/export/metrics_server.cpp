#include "export/metrics_server.h"

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
        answered{0}, scrapes{0};
};

namespace {

using Shared = MetricsServer::Shared;

// A connection with its budget: the bytes of the request in progress and a deadline, for
// the request once its first byte arrived, for the next request while it idles. The HTTP
// module reads from the socket itself; the socket learns what arrived from a slot that runs
// just before the module's (counting) and one just after (enforcing, so the module never
// reads from a socket closed under it).
class GuardedSocket final : public QTcpSocket {
  public:
    GuardedSocket(std::shared_ptr<Shared> shared, QObject* parent)
        : QTcpSocket(parent), shared_(std::move(shared)) {
        // The module keeps a request's bytes buffered until it is complete: one byte over the
        // limit is enough to tell, and the socket reads no further than that.
        setReadBufferSize(shared_->limits.maxRequestBytes + 1);
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::CoarseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] { drop(shared_->timedOut); });
        timer_.start(shared_->limits.idleTimeout);
    }

    // True while a request has begun and not been answered: such a connection is not idle.
    bool busy() const { return inRequest_; }

    void beforeParse() {
        const qint64 available = bytesAvailable();
        const qint64 arrived = available - unread_;
        unread_ = available;
        if (arrived <= 0) return;
        if (!inRequest_) {
            inRequest_ = true;
            requestBytes_ = 0;
            timer_.start(shared_->limits.requestTimeout);
        }
        requestBytes_ += arrived;
    }

    void afterParse() {
        unread_ = bytesAvailable();
        if (state() == ConnectedState && inRequest_ && requestBytes_ > shared_->limits.maxRequestBytes)
            drop(shared_->oversized);
    }

    // Closes the connection for good. The module no longer hears of its data first: a read it
    // had queued would otherwise land on the closed socket.
    void drop(std::atomic<qint64>& reason) {
        ++reason;
        timer_.stop();
        disconnect(this, &QIODevice::readyRead, nullptr, nullptr);
        abort();
    }

    // The module parsed a whole request and it is being answered.
    void answered() {
        inRequest_ = false;
        requestBytes_ = 0;
        timer_.start(shared_->limits.idleTimeout);
    }

  private:
    std::shared_ptr<Shared> shared_;
    QTimer timer_;
    qint64 requestBytes_ = 0;  // of the request in progress
    qint64 unread_ = 0;        // buffered bytes the module had not read after its last pass
    bool inRequest_ = false;
};

// Takes each connection before the HTTP module sees it: beyond the connection limit the
// oldest idle connection is closed to make room, or, when every one is mid-request, the new
// one is refused. Idle ones go first because a scraper opens a connection to send a request
// at once, while a connection held open without one costs a slot and serves nobody.
class GuardedTcpServer final : public QTcpServer {
  public:
    GuardedTcpServer(std::shared_ptr<Shared> shared, QObject* parent)
        : QTcpServer(parent), shared_(std::move(shared)) {}

  protected:
    void incomingConnection(qintptr handle) override {
        if (static_cast<int>(open_.size()) >= shared_->limits.maxConnections) {
            const auto idle =
                std::find_if(open_.begin(), open_.end(), [](GuardedSocket* s) { return !s->busy(); });
            if (idle == open_.end()) {
                QTcpSocket refused;
                refused.setSocketDescriptor(handle);
                refused.abort();
                ++shared_->refused;
                return;
            }
            GuardedSocket* victim = *idle;
            forget(victim);
            victim->drop(shared_->evicted);
        }
        auto* socket = new GuardedSocket(shared_, this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
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

class MetricsHttpServer final : public QAbstractHttpServer {
  public:
    MetricsHttpServer(std::shared_ptr<Shared> shared, QObject* parent)
        : QAbstractHttpServer(parent), shared_(std::move(shared)) {}

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        using Status = QHttpServerResponder::StatusCode;
        auto* guarded = dynamic_cast<GuardedSocket*>(socket);
        if (guarded) guarded->answered();
        ++shared_->answered;
        QHttpServerResponder responder = makeResponder(request, socket);
        const auto method = request.method();
        const bool head = method == QHttpServerRequest::Method::Head;
        if (request.url().path() != QLatin1StringView("/metrics")) {
            responder.write(QByteArrayLiteral("Not Found\n"), plainText(), Status::NotFound);
        } else if (method != QHttpServerRequest::Method::Get && !head) {
            responder.write(QByteArrayLiteral("Method Not Allowed\n"),
                            {{"Content-Type", plainText()}, {"Allow", "GET, HEAD"}},
                            Status::MethodNotAllowed);
        } else {
            ++shared_->scrapes;
            const ExpositionFormat format = negotiateFormat(request.value("accept"));
            const std::shared_ptr<const Snapshot> snapshot = shared_->current();
            renderExposition(snapshot.get(), shared_->context, format, body_);
            if (head) {
                responder.writeStatusLine(Status::Ok);
                responder.writeHeader("Content-Type", contentType(format));
                responder.writeHeader("Content-Length", QByteArray::number(body_.size()));
                responder.writeBody("", 0);
            } else {
                responder.write(body_, contentType(format), Status::Ok);
            }
        }
        // A client that asks and asks without reading would have its answers pile up here.
        if (guarded && socket->bytesToWrite() > shared_->limits.maxUnsentBytes)
            guarded->drop(shared_->unread);
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
    return {s.open.load(),      s.accepted.load(), s.refused.load(),  s.evicted.load(), s.timedOut.load(),
            s.oversized.load(), s.unread.load(),   s.answered.load(), s.scrapes.load()};
}

}  // namespace velmora
