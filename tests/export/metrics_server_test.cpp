#include "export/metrics_server.h"

#include "export/snapshot_shapes.h"

#include "support/test_util.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

struct Response {
    int status = 0;
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

// Reads one response from a blocking socket; absent when the connection closed first. The
// client runs on this thread without an event loop: whatever the server does meanwhile, it
// does on its own thread.
std::optional<Response> readResponse(QTcpSocket& socket, bool head = false,
                                    std::chrono::milliseconds within = 10s) {
    QByteArray buf;
    const QDeadlineTimer deadline(within);
    qsizetype end = -1;
    while ((end = buf.indexOf("\r\n\r\n")) < 0) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return {};
        buf += socket.read(1);
    }
    Response r;
    const QList<QByteArray> lines = buf.left(end).split('\n');
    const QList<QByteArray> status = lines[0].trimmed().split(' ');
    if (status.size() < 2) return {};
    r.status = status[1].toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            r.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    const qsizetype length = head ? 0 : r.headers.value("content-length").toLongLong();
    while (r.body.size() < length) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return {};
        r.body += socket.read(length - r.body.size());
    }
    return r;
}

class ServerTest : public ::testing::Test {
  protected:
    void start(ServeLimits limits = {}, int processes = 50) {
        server = std::make_unique<MetricsServer>(test::shapeContext(processes), limits);
        const auto error = server->listen({QHostAddress(QHostAddress::LocalHost), 0});
        ASSERT_FALSE(error.has_value()) << error->text.toStdString();
        ASSERT_NE(server->port(), 0);
    }

    // From `from`: any address of 127.0.0.0/8 is this machine, so each stands for another peer.
    std::unique_ptr<QTcpSocket> connectClient(const char* from = "127.0.0.1") {
        auto socket = std::make_unique<QTcpSocket>();
        EXPECT_TRUE(socket->bind(QHostAddress(QString::fromLatin1(from)), 0)) << from;
        socket->connectToHost(QHostAddress(QHostAddress::LocalHost), server->port());
        EXPECT_TRUE(socket->waitForConnected(5000));
        return socket;
    }

    std::optional<Response> request(const QByteArray& raw, bool head = false) {
        auto socket = connectClient();
        socket->write(raw);
        socket->flush();
        return readResponse(*socket, head);
    }

    std::optional<Response> scrape() { return request("GET /metrics HTTP/1.1\r\nHost: t\r\n\r\n"); }

    // Waits for the server to close the connection; true when it did.
    static bool closedByServer(QTcpSocket& socket, std::chrono::milliseconds within = 10s) {
        const QDeadlineTimer deadline(within);
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            socket.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 100)));
            socket.readAll();
        }
        return socket.state() != QAbstractSocket::ConnectedState;
    }

    std::unique_ptr<MetricsServer> server;
};

}  // namespace

TEST_F(ServerTest, MetricsByMethodAndPath) {
    start();
    server->publish(test::calmSnapshot());
    const struct {
        QByteArray request;
        int status;
        QByteArray contentType;
        QByteArray bodyHas;
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: t\r\n\r\n", 200, "text/plain; version=0.0.4; charset=utf-8",
         "\nvelmora_cpu_busy_ratio 0.075\n"},
        {"GET /metrics?x=1 HTTP/1.1\r\n\r\n", 200, "text/plain; version=0.0.4; charset=utf-8", "velmora_cpu"},
        {"GET /metrics HTTP/1.1\r\nAccept: application/openmetrics-text;version=1.0.0\r\n\r\n", 200,
         "application/openmetrics-text; version=1.0.0; charset=utf-8", "\n# EOF\n"},
        {"GET /metrics HTTP/1.0\r\n\r\n", 200, "text/plain; version=0.0.4; charset=utf-8",
         "velmora_build_info"},
        {"POST /metrics HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", 405, "text/plain; charset=utf-8", ""},
        {"PUT /metrics HTTP/1.1\r\n\r\n", 405, "text/plain; charset=utf-8", ""},
        {"DELETE /metrics HTTP/1.1\r\n\r\n", 405, "text/plain; charset=utf-8", ""},
        {"OPTIONS /metrics HTTP/1.1\r\n\r\n", 405, "text/plain; charset=utf-8", ""},
        {"BREW /metrics HTTP/1.1\r\n\r\n", 405, "text/plain; charset=utf-8", ""},
        {"GET / HTTP/1.1\r\n\r\n", 404, "text/plain; charset=utf-8", ""},
        {"GET /metrics/ HTTP/1.1\r\n\r\n", 404, "text/plain; charset=utf-8", ""},
        {"POST /-/quit HTTP/1.1\r\n\r\n", 404, "text/plain; charset=utf-8", ""},
    };
    for (const auto& c : cases) {
        const auto r = request(c.request);
        ASSERT_TRUE(r.has_value()) << c.request.toStdString();
        EXPECT_EQ(r->status, c.status) << c.request.toStdString();
        EXPECT_EQ(r->headers.value("content-type"), c.contentType) << c.request.toStdString();
        EXPECT_TRUE(r->body.contains(c.bodyHas)) << c.request.toStdString();
        if (c.status == 405) {
            EXPECT_EQ(r->headers.value("allow"), "GET, HEAD");
        }
    }

    const auto get = scrape();
    const auto head = request("HEAD /metrics HTTP/1.1\r\n\r\n", true);
    ASSERT_TRUE(get && head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->headers.value("content-length").toLongLong(), get->body.size())
        << "what a GET would carry";
}

TEST_F(ServerTest, ScrapesShowTheNewestPublishedSnapshot) {
    start();
    auto r = scrape();
    ASSERT_TRUE(r.has_value());
    EXPECT_FALSE(r->body.contains("velmora_cpu_busy_ratio"))
        << "nothing published: no figure passes for a zero";

    Snapshot s = test::calmSnapshot();
    s.processes = test::oddProcesses();
    server->publish(s);
    s.cpuTotal = 64;
    server->publish(s);
    r = scrape();
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->body.contains("\nvelmora_cpu_busy_ratio 0.64\n"));
    EXPECT_TRUE(r->body.contains("velmora_process_cpu_ratio{pid=\"4242\",name=\"say \\\"hello\\\"\"} 1.8"));
    EXPECT_EQ(server->counts().scrapes, 2);
}

TEST_F(ServerTest, KeptAliveConnectionAnswersRequestAfterRequest) {
    start();
    server->publish(test::calmSnapshot());
    auto socket = connectClient();
    // Two pipelined in one write, then one more.
    socket->write("GET /metrics HTTP/1.1\r\n\r\nHEAD /metrics HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(readResponse(*socket).has_value());
    ASSERT_TRUE(readResponse(*socket, true).has_value());
    socket->write("GET /nothing HTTP/1.1\r\n\r\n");
    const auto third = readResponse(*socket);
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(third->status, 404);
    EXPECT_EQ(server->counts().accepted, 1);
}

TEST_F(ServerTest, OversizedRequestsAreCutOff) {
    ServeLimits limits;
    limits.requestTimeout = 60s;  // the size limit, not a time-out, must end these
    start(limits);
    const QByteArray fits = "GET /metrics HTTP/1.1\r\nX-Fill: " + QByteArray(7000, 'a') + "\r\n\r\n";
    const auto ok = request(fits);
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(ok->status, 200) << "a request under 8 KiB is answered";

    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"one long header", "GET /metrics HTTP/1.1\r\nX-Fill: " + QByteArray(9000, 'a')},
            {"many headers", "GET /metrics HTTP/1.1\r\n" + ("X-A: " + QByteArray(100, 'b') + "\r\n").repeated(90)},
        {"a long request line", "GET /" + QByteArray(20000, 'm')},
        {"a large body",
         "POST /metrics HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n" + QByteArray(16384, 'b')},
    };
    for (const auto& c : cases) {
        auto socket = connectClient();
        socket->write(c.bytes);
        EXPECT_TRUE(closedByServer(*socket)) << c.what;
        EXPECT_FALSE(socket->readAll().contains("200 OK")) << c.what;
    }
    EXPECT_EQ(server->counts().oversized, 4);
    EXPECT_EQ(server->counts().timedOut, 0);
}

TEST_F(ServerTest, SlowAndSilentClientsTimeOut) {
    ServeLimits limits;
    limits.requestTimeout = 400ms;
    limits.idleTimeout = 400ms;
    start(limits);

    auto silent = connectClient();
    auto slow = connectClient();
    // One byte at a time, each after a pause: the request never completes in time.
    const QByteArray request = "GET /metrics HTTP/1.1\r\nHost: t\r\n\r\n";
    qsizetype sent = 0;
    const QDeadlineTimer deadline(10s);
    while (slow->state() == QAbstractSocket::ConnectedState && sent < request.size() &&
           !deadline.hasExpired()) {
        slow->write(request.mid(sent++, 1));
        slow->flush();
        slow->waitForDisconnected(150);  // the pause; returns early when the server hangs up
    }
    EXPECT_LT(sent, request.size()) << "cut off before its last byte";
    EXPECT_TRUE(closedByServer(*slow));
    EXPECT_TRUE(closedByServer(*silent));
    EXPECT_EQ(server->counts().timedOut, 2);
    EXPECT_EQ(server->counts().answered, 0);
}

TEST_F(ServerTest, ConnectionLimitHoldsUnderAFlood) {
    ServeLimits limits;
    limits.maxConnections = 8;
    limits.requestTimeout = 1s;
    start(limits);
    server->publish(test::calmSnapshot());

    // 200 connections that send nothing: the oldest idle ones make room for the newest.
    std::vector<std::unique_ptr<QTcpSocket>> flood;
    for (int i = 0; i < 200; ++i)
        flood.push_back(connectClient());
    auto r = scrape();
    ASSERT_TRUE(r.has_value()) << "a scraper still gets through";
    EXPECT_EQ(r->status, 200);
    EXPECT_LE(server->counts().open, 8);
    EXPECT_GE(server->counts().evicted, 192);
    flood.clear();

    // 200 connections each with a complete head and a body that never ends: none waits for a
    // head, so newcomers are refused until the request time-out frees the slots.
    for (int i = 0; i < 200; ++i) {
        flood.push_back(connectClient());
        flood.back()->write("POST /metrics HTTP/1.1\r\nContent-Length: 1000\r\n\r\nnever ends");
        flood.back()->flush();
    }
    for (auto& s : flood)
        closedByServer(*s);
    EXPECT_LE(server->counts().open, 8);
    EXPECT_GT(server->counts().refused, 0);
    flood.clear();
    r = scrape();
    ASSERT_TRUE(r.has_value()) << "slots come back once the time-out closed the stalled requests";
    EXPECT_EQ(r->status, 200);
}

TEST_F(ServerTest, APeerBeyondItsShareDisplacesOnlyItsOwnLongestWaiting) {
    ServeLimits limits;
    limits.maxConnectionsPerPeer = 3;
    start(limits);
    server->publish(test::calmSnapshot());
    const auto answered = [this](QTcpSocket& socket) {
        socket.write("GET /metrics HTTP/1.1\r\n\r\n");
        const auto r = readResponse(socket);
        return r && r->status == 200;
    };
    const auto acceptedReaches = [this](qint64 n) {
        return test::waitUntil([&] { return server->counts().accepted >= n; }, 5s);
    };

    std::vector<std::unique_ptr<QTcpSocket>> a;
    for (int i = 0; i < 3; ++i)
        a.push_back(connectClient("127.0.0.2"));
    auto b = connectClient("127.0.0.3");
    ASSERT_TRUE(acceptedReaches(4));
    EXPECT_EQ(server->counts().evicted, 0) << "up to its share, a peer displaces nobody";

    a.push_back(connectClient("127.0.0.2"));  // one over: its own oldest goes
    EXPECT_TRUE(closedByServer(*a[0]));
    EXPECT_EQ(server->counts().evicted, 1);

    // a[1] is answered, so a[2] has now waited longest for a request.
    ASSERT_TRUE(answered(*a[1]));
    a.push_back(connectClient("127.0.0.2"));
    EXPECT_TRUE(closedByServer(*a[2]));
    EXPECT_EQ(server->counts().evicted, 2);
    EXPECT_TRUE(answered(*a[1]));
    EXPECT_TRUE(answered(*a[3]));
    EXPECT_TRUE(answered(*b)) << "another peer is left alone";
    EXPECT_EQ(server->counts().open, 4);
}

TEST_F(ServerTest, AFullServerDisplacesTheConnectionLongestWithoutARequest) {
    ServeLimits limits;
    limits.maxConnections = 3;
    start(limits);
    server->publish(test::calmSnapshot());
    auto x = connectClient("127.0.0.2");
    auto y = connectClient("127.0.0.3");
    x->write("GET /metrics HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(readResponse(*x).has_value());  // x waits since its answer, y since it connected
    auto z = connectClient("127.0.0.4");
    ASSERT_TRUE(test::waitUntil([&] { return server->counts().accepted >= 3; }, 5s));
    auto w = connectClient("127.0.0.5");
    EXPECT_TRUE(closedByServer(*y));
    EXPECT_EQ(server->counts().evicted, 1);
    for (QTcpSocket* kept : {x.get(), z.get(), w.get()}) {
        kept->write("GET /metrics HTTP/1.1\r\n\r\n");
        const auto r = readResponse(*kept);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->status, 200);
    }
}

TEST_F(ServerTest, TheFirstRequestLineHasItsOwnDeadline) {
    ServeLimits limits;
    limits.firstLineTimeout = 300ms;
    limits.requestTimeout = 30s;
    limits.idleTimeout = 30s;
    start(limits);
    server->publish(test::calmSnapshot());

    auto kept = connectClient();  // a second request may take longer: only the first line is timed
    kept->write("GET /metrics HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(readResponse(*kept).has_value());
    kept->write("GET /met");
    auto lineDone = connectClient();
    lineDone->write("GET /metrics HTTP/1.1\r\n");
    auto halfLine = connectClient();
    halfLine->write("GET /metr");
    auto silent = connectClient();
    for (QTcpSocket* s : {kept.get(), lineDone.get(), halfLine.get()})
        ASSERT_TRUE(s->waitForBytesWritten(5000));

    EXPECT_TRUE(closedByServer(*halfLine, 5s));
    EXPECT_TRUE(closedByServer(*silent, 5s));
    EXPECT_EQ(server->counts().timedOut, 2);
    lineDone->write("Host: t\r\n\r\n");
    auto r = readResponse(*lineDone);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->status, 200);
    kept->write("rics HTTP/1.1\r\n\r\n");
    r = readResponse(*kept);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->status, 200);
}

TEST_F(ServerTest, CloseAndHttp10EndTheConnectionAfterTheAnswer) {
    start();
    server->publish(test::calmSnapshot());
    const struct {
        QByteArray request;
        int status;
        QByteArray connection;  // the answer's Connection header
        bool closes;
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nConnection: close\r\n\r\n", 200, "close", true},
        {"GET /metrics HTTP/1.1\r\nConnection: keep-alive, Close\r\n\r\n", 200, "close", true},
        {"GET /nothing HTTP/1.1\r\nConnection: close\r\n\r\n", 404, "close", true},
        {"GET /metrics HTTP/1.0\r\n\r\n", 200, "close", true},
        {"HEAD /metrics HTTP/1.0\r\n\r\n", 200, "close", true},
        {"POST /metrics HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", 405, "close", true},
        {"GET /metrics HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", 200, "keep-alive", false},
        {"GET /metrics HTTP/1.1\r\n\r\n", 200, "", false},
    };
    for (const auto& c : cases) {
        const std::string what = c.request.left(c.request.indexOf("\r\n\r\n")).toStdString();
        auto socket = connectClient();
        socket->write(c.request);
        const auto r = readResponse(*socket, c.request.startsWith("HEAD"));
        ASSERT_TRUE(r.has_value()) << what;
        EXPECT_EQ(r->status, c.status) << what;
        EXPECT_EQ(r->headers.value("connection"), c.connection) << what;
        if (c.closes) {
            // Well within the idle time-out: a client reading until the end is not kept waiting.
            EXPECT_TRUE(closedByServer(*socket, 2s)) << what;
        } else {
            socket->write("GET /nothing HTTP/1.1\r\n\r\n");
            const auto next = readResponse(*socket);
            ASSERT_TRUE(next.has_value()) << what << ": still open";
            EXPECT_EQ(next->status, 404) << what;
        }
    }

    // Requests sent after the closing one are not answered.
    auto socket = connectClient();
    socket->write("GET /metrics HTTP/1.1\r\nConnection: close\r\n\r\nGET /nothing HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(readResponse(*socket).has_value());
    QByteArray rest;
    const QDeadlineTimer deadline(2s);
    while (socket->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket->waitForReadyRead(100);
        rest += socket->readAll();
    }
    EXPECT_NE(socket->state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(rest.isEmpty()) << rest.toStdString();
}

TEST_F(ServerTest, AmbiguousFramingIsAnswered400AndClosed) {
    start();
    server->publish(test::calmSnapshot());
    const QByteArray cases[] = {
        "POST /metrics HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
        "POST /metrics HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nabcdef",
        "GET /metrics HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nContent-Length : 0\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n",
        "GET /metrics HTTP/2.0\r\n\r\n",
    };
    for (const QByteArray& bytes : cases) {
        const std::string what = bytes.left(bytes.indexOf("\r\n\r\n")).toStdString();
        auto socket = connectClient();
        socket->write(bytes);
        const auto r = readResponse(*socket);
        ASSERT_TRUE(r.has_value()) << what;
        EXPECT_EQ(r->status, 400) << what;
        EXPECT_EQ(r->headers.value("connection"), "close") << what;
        EXPECT_TRUE(closedByServer(*socket, 2s)) << what;
    }
    EXPECT_EQ(server->counts().rejected, std::size(cases));

    // After a good request in the same write: that one is answered first, then the bad one.
    auto socket = connectClient();
    socket->write("GET /metrics HTTP/1.1\r\n\r\n"
                  "GET /metrics HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n"
                  "GET /metrics HTTP/1.1\r\n\r\n");
    auto r = readResponse(*socket);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->status, 200);
    r = readResponse(*socket);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->status, 400);
    EXPECT_TRUE(closedByServer(*socket, 2s));
    EXPECT_EQ(server->counts().scrapes, 1) << "nothing after the bad request is answered";
}

namespace {

// A hostile peer: `count` connections from `from`, each sending one byte at once and one more
// every second, reconnecting the moment the server drops it. Runs on a thread of its own with
// plain sockets, so it keeps up the pressure while the test thread scrapes.
class Dribblers {
  public:
    Dribblers(quint16 port, const char* from, int count) : fds_(count, -1), last_(count) {
        to_.sin_family = AF_INET;
        to_.sin_port = htons(port);
        to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        from_.sin_family = AF_INET;
        inet_pton(AF_INET, from, &from_.sin_addr);
        thread_ = std::thread([this] { run(); });
    }
    ~Dribblers() {
        stop();
        for (const int fd : fds_)
            if (fd >= 0) ::close(fd);
    }

    // Stops sending and reconnecting; what is open stays open, for the server to close.
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

    int connections() const { return connections_; }

    // Waits (after stop) until the server has closed every connection; false at the deadline.
    bool allClosedWithin(std::chrono::milliseconds within) {
        const QDeadlineTimer deadline(within);
        while (!deadline.hasExpired()) {
            std::vector<pollfd> open;
            for (const int fd : fds_)
                if (fd >= 0) open.push_back({fd, POLLIN, 0});
            if (open.empty()) return true;
            if (::poll(open.data(), open.size(), int(std::max<qint64>(deadline.remainingTime(), 1))) > 0)
                reapClosed(open);
        }
        return std::all_of(fds_.begin(), fds_.end(), [](int fd) { return fd < 0; });
    }

  private:
    void run() {
        const QByteArray request = "GET /metrics HTTP/1.1\r\n";
        qsizetype next = 0;
        while (running_) {
            const auto now = std::chrono::steady_clock::now();
            for (size_t i = 0; i < fds_.size(); ++i) {
                if (fds_[i] < 0) fds_[i] = open();
                if (fds_[i] < 0) continue;
                if (last_[i] == std::chrono::steady_clock::time_point() || now - last_[i] >= 1s) {
                    ::send(fds_[i], request.constData() + next++ % request.size(), 1, MSG_NOSIGNAL);
                    last_[i] = now;
                }
            }
            std::vector<pollfd> open;
            for (const int fd : fds_)
                if (fd >= 0) open.push_back({fd, POLLIN, 0});
            if (::poll(open.data(), open.size(), 20) > 0) reapClosed(open);
        }
    }

    int open() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&from_), sizeof from_) != 0 ||
            ::connect(fd, reinterpret_cast<const sockaddr*>(&to_), sizeof to_) != 0) {
            ::close(fd);
            return -1;
        }
        ++connections_;
        return fd;
    }

    // Closes (on this side) every polled connection the server has closed.
    void reapClosed(const std::vector<pollfd>& polled) {
        for (const pollfd& p : polled) {
            if (!p.revents) continue;
            char byte;
            const ssize_t n = ::recv(p.fd, &byte, 1, MSG_DONTWAIT);
            if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) continue;
            ::close(p.fd);
            const auto slot = std::find(fds_.begin(), fds_.end(), p.fd) - fds_.begin();
            fds_[slot] = -1;
            last_[slot] = {};  // its next connection sends a byte at once
        }
    }

    sockaddr_in to_{}, from_{};
    std::vector<int> fds_;
    std::vector<std::chrono::steady_clock::time_point> last_;
    std::atomic<bool> running_{true};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

}  // namespace

TEST_F(ServerTest, ScrapesGetThroughWhileOnePeerHoldsConnectionsOpen) {
    start();  // the default limits
    server->publish(test::calmSnapshot());
    Dribblers attack(server->port(), "127.0.0.2", 64);

    constexpr int kScrapes = 25;  // one every 200 ms: five seconds of attack
    int inTime = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kScrapes; ++i) {
        // The scraper's pace, as Prometheus keeps it, rather than a wait for something.
        std::this_thread::sleep_until(begin + i * 200ms);
        QElapsedTimer took;
        took.start();
        auto socket = connectClient("127.0.0.1");
        socket->write("GET /metrics HTTP/1.1\r\nHost: t\r\n\r\n");
        const auto r = readResponse(*socket, false, 1s);
        if (r && r->status == 200 && took.elapsed() <= 1000) ++inTime;
    }
    attack.stop();
    EXPECT_GE(inTime, kScrapes * 95 / 100) << "of " << kScrapes << " scrapes, answered within 1 s";
    EXPECT_GT(attack.connections(), 64) << "the server dropped the attacking connections, which came back";
    EXPECT_GT(server->counts().timedOut + server->counts().evicted, 0);
    EXPECT_TRUE(attack.allClosedWithin(3s)) << "every slot is free soon after the attack";
    EXPECT_TRUE(test::waitUntil([&] { return server->counts().open == 0; }, 1s));
}

TEST(PeerKey, AnIPv4AddressOrAnIPv6Slash64) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", "127.0.0.2", false},
        {"10.0.0.1", "::ffff:10.0.0.1", true},  // IPv4 in IPv6 form
        {"2001:db8::1", "2001:db8::2", true},
        {"2001:db8:0:0:ffff:ffff:ffff:ffff", "2001:db8::", true},
        {"2001:db8:0:1::1", "2001:db8::1", false},
        {"::1", "::2", true},
        {"0.0.0.1", "::1", false},  // the same low bits, another family
    };
    for (const auto& c : cases) {
        EXPECT_EQ(peerKeyOf(QHostAddress(QString::fromLatin1(c.a))) ==
                      peerKeyOf(QHostAddress(QString::fromLatin1(c.b))),
                  c.same)
            << c.a << " " << c.b;
    }
}

std::atomic<int> loggedWarnings{0};

TEST_F(ServerTest, MalformedRequestsAreClosedAndLeaveTheServerServing) {
    ServeLimits limits;
    limits.requestTimeout = 500ms;
    start(limits);
    // Odd requests must not reach the log either: a client could fill it with them.
    loggedWarnings = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
            if (type != QtDebugMsg && type != QtInfoMsg) ++loggedWarnings;
        });
    server->publish(test::calmSnapshot());
    const QByteArray junk[] = {
        QByteArray("\x00\x01\x02\xff\r\n\r\n", 8),
        "GET\r\n\r\n",
        "GET /metrics\r\n\r\n",
        "GET /metrics HTTP/9\r\n\r\n",
        "NOT HTTP AT ALL\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nContent-Length: -5\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
        QByteArray(4000, '\xee'),  // no line end at all
    };
    for (const QByteArray& bytes : junk) {
        auto socket = connectClient();
        socket->write(bytes);
        QByteArray received;
        const QDeadlineTimer deadline(10s);
        while (socket->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            socket->waitForReadyRead(100);
            received += socket->readAll();
        }
        EXPECT_NE(socket->state(), QAbstractSocket::ConnectedState) << bytes.toHex().left(40).toStdString();
        EXPECT_FALSE(received.contains("200 OK")) << bytes.toHex().left(40).toStdString();
    }
    // A request to switch protocols is answered like any other, then closed.
    const auto upgrade =
        request("GET /metrics HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n");
    qInstallMessageHandler(previous);
    ASSERT_TRUE(upgrade.has_value());
    EXPECT_EQ(upgrade->status, 200);
    EXPECT_EQ(loggedWarnings, 0);
    const auto r = scrape();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->status, 200);
}

TEST_F(ServerTest, AClientThatNeverReadsIsDropped) {
    ServeLimits limits;
    limits.maxUnsentBytes = 256 * 1024;
    start(limits);
    Snapshot s = test::calmSnapshot();
    for (int i = 0; i < 50; ++i)
        s.processes.push_back({.pid = 1000 + i, .name = QStringLiteral("worker-%1").arg(i), .cpu = 1.0 * i});
    server->publish(s);

    QTcpSocket socket;
    // A small receive window, so the answers back up on the server instead of in this socket.
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), server->port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    const QByteArray one = "GET /metrics HTTP/1.1\r\n\r\n";
    const QDeadlineTimer deadline(20s);
    int sent = 0;
    while (socket.state() == QAbstractSocket::ConnectedState && sent < 5000 && !deadline.hasExpired()) {
        socket.write(one.repeated(100));
        sent += 100;
        socket.waitForBytesWritten(100);
    }
    EXPECT_TRUE(closedByServer(socket, 10s));
    EXPECT_EQ(server->counts().unread, 1);
}

TEST(ListenAddress, ParsesPortsAndAddresses) {
    const struct {
        QString text;
        std::optional<QString> expected;  // ListenAddress::text() of the result
    } cases[] = {
        {"9464", "127.0.0.1:9464"},
        {"0", "127.0.0.1:0"},
        {"127.0.0.1:9464", "127.0.0.1:9464"},
        {"0.0.0.0:80", "0.0.0.0:80"},
        {"192.168.1.20:9100", "192.168.1.20:9100"},
        {"localhost:9464", "127.0.0.1:9464"},
        {"[::1]:9464", "[::1]:9464"},
        {"[::]:9464", "[::]:9464"},
        {"65535", "127.0.0.1:65535"},
        {"", std::nullopt},
        {"65536", std::nullopt},
        {"-1", std::nullopt},
        {"+80", std::nullopt},
        {"9464 ", std::nullopt},
        {"99999999999", std::nullopt},
        {"port", std::nullopt},
        {"127.0.0.1", std::nullopt},
        {"127.0.0.1:", std::nullopt},
        {":9464", std::nullopt},
        {"999.1.1.1:80", std::nullopt},
        {"example.org:80", std::nullopt},
        {"::1:9464", std::nullopt},
        {"[127.0.0.1]:80", std::nullopt},
        {"[fe80::1%eth0]:80", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parsed = parseListenAddress(c.text);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << c.text.toStdString();
        if (parsed) {
            EXPECT_EQ(parsed->text(), *c.expected) << c.text.toStdString();
        }
    }
}

TEST(MetricsServerListen, APortInUseIsAnError) {
    MetricsServer first(test::shapeContext());
    ASSERT_FALSE(first.listen({QHostAddress(QHostAddress::LocalHost), 0}).has_value());
    MetricsServer second(test::shapeContext());
    const auto error = second.listen({QHostAddress(QHostAddress::LocalHost), first.port()});
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, QAbstractSocket::AddressInUseError);
    EXPECT_FALSE(error->text.isEmpty());
    EXPECT_EQ(second.port(), 0);
}
