#include "export/metrics_server.h"

#include "export/snapshot_shapes.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

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
std::optional<Response> readResponse(QTcpSocket& socket, bool head = false) {
    QByteArray buf;
    const QDeadlineTimer deadline(10s);
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

    std::unique_ptr<QTcpSocket> connectClient() {
        auto socket = std::make_unique<QTcpSocket>();
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
        {"many headers", "GET /metrics HTTP/1.1\r\n" + QByteArray("X-A: b\r\n").repeated(1200)},
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

    // 200 connections each in the middle of a request: none is idle, so newcomers are refused
    // until the request time-out frees the slots.
    for (int i = 0; i < 200; ++i) {
        flood.push_back(connectClient());
        flood.back()->write("GET /metrics HTTP/1.1\r\nX-Never: ends");
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
