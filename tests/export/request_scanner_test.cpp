#include "export/request_scanner.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace velmora;

namespace {

struct Scan {
    int requestLines = 0;
    std::vector<RequestScanner::Head> heads;
    std::optional<int> badAt;
    bool stopped = false;
    bool operator==(const Scan&) const = default;
};

// Feeds `bytes` in pieces of `step` bytes (0: all at once) and reads everything back.
Scan scan(const QByteArray& bytes, qsizetype step = 0) {
    RequestScanner scanner;
    if (step == 0) {
        scanner.feed(bytes);
    } else {
        for (qsizetype i = 0; i < bytes.size(); i += step)
            scanner.feed(QByteArrayView(bytes).sliced(i, std::min(step, bytes.size() - i)));
    }
    Scan s;
    s.requestLines = scanner.requestLines();
    while (const auto head = scanner.takeHead())
        s.heads.push_back(*head);
    s.badAt = scanner.badAt();
    s.stopped = scanner.stopped();
    EXPECT_EQ(static_cast<int>(s.heads.size()), scanner.heads());
    return s;
}

std::string show(const QByteArray& bytes) {
    return bytes.toPercentEncoding(" /:.,-;=").toStdString();
}

using Head = RequestScanner::Head;
constexpr Head keep{};
constexpr Head closes{.close = true};
constexpr Head keeps10{.keepAlive = true};

}  // namespace

TEST(RequestScanner, HeadsAndWhatTheyAskOfTheConnection) {
    const struct {
        QByteArray bytes;
        int requestLines;
        std::vector<Head> heads;
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", 1, {keep}},
        {"GET /metrics HTTP/1.1\n\n", 1, {keep}},  // bare line feeds, as the module allows
        {"\r\n\r\nGET / HTTP/1.1\r\n\r\n", 1, {keep}},  // empty lines before a request
        {"GET / HTTP/1.1\r\n\r\nHEAD / HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\n", 3, {keep, keep}},
        {"GET / HTTP/1.1\r\nHost: a\r\n", 1, {}},  // no end of head yet
        {"GET / HTTP/1.1", 0, {}},                 // no end of line yet
        // Connection: close, in any case and among other options; what follows is not read.
        {"GET / HTTP/1.1\r\nConnection: close\r\n\r\nGET / HTTP/1.1\r\n\r\n", 1, {closes}},
        {"GET / HTTP/1.1\r\nconnection: TE, Close\r\n\r\n", 1, {closes}},
        {"GET / HTTP/1.1\r\nConnection: closed\r\n\r\n", 1, {keep}},
        {"GET / HTTP/1.1\r\nConnection: keep-alive\r\n\r\n", 1, {keep}},
        // HTTP/1.0 closes unless it asks to keep the connection.
        {"GET / HTTP/1.0\r\n\r\n", 1, {closes}},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", 1, {keeps10}},
        {"GET / HTTP/1.0\r\nConnection: keep-alive, close\r\n\r\n", 1, {closes}},
        {"GET / HTTP/1.9\r\n\r\n", 1, {keep}},  // a later 1.x is read as 1.1
        // A body closes the connection after the answer; a zero length is no body.
        {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET / HTTP/1.1\r\n\r\n", 1, {closes}},
        {"POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\nGET / HTTP/1.1\r\n\r\n", 2, {keep, keep}},
        {"POST / HTTP/1.1\r\nContent-Length: 7\r\ncontent-length: 7\r\n\r\n", 1, {closes}},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: Chunked\r\n\r\n", 1, {closes}},
    };
    for (const auto& c : cases) {
        for (const qsizetype step : {0, 1, 2, 5}) {
            const Scan s = scan(c.bytes, step);
            EXPECT_EQ(s.requestLines, c.requestLines) << show(c.bytes) << " step " << step;
            EXPECT_EQ(s.heads, c.heads) << show(c.bytes) << " step " << step;
            EXPECT_FALSE(s.badAt.has_value()) << show(c.bytes) << " step " << step;
            EXPECT_EQ(s.stopped, !s.heads.empty() && s.heads.back().close) << show(c.bytes);
        }
    }
}

TEST(RequestScanner, InvalidOrAmbiguousFramingIsBad) {
    const QByteArray good = "GET / HTTP/1.1\r\n\r\n";
    const struct {
        const char* what;
        QByteArray head;
    } cases[] = {
        {"a length and a chunked body", "POST / HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n"},
        {"chunked then a length", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 0\r\n\r\n"},
        {"two different lengths", "POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n"},
        {"a list of lengths", "POST / HTTP/1.1\r\nContent-Length: 5, 5\r\n\r\n"},
        {"a negative length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n"},
        {"a signed length", "POST / HTTP/1.1\r\nContent-Length: +5\r\n\r\n"},
        {"an empty length", "POST / HTTP/1.1\r\nContent-Length:\r\n\r\n"},
        {"a length in hex", "POST / HTTP/1.1\r\nContent-Length: 0x10\r\n\r\n"},
        {"a length past 64 bits", "POST / HTTP/1.1\r\nContent-Length: 1234567890123456789\r\n\r\n"},
        {"an unknown coding", "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n"},
        {"chunked twice", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked, chunked\r\n\r\n"},
        {"chunked in two fields", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n"},
        {"a coding in HTTP/1.0", "POST / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n"},
        {"space before the colon", "POST / HTTP/1.1\r\nContent-Length : 5\r\n\r\n"},
        {"a folded line", "GET / HTTP/1.1\r\nX-A: b\r\n c\r\n\r\n"},
        {"a line without a colon", "GET / HTTP/1.1\r\nX-A b\r\n\r\n"},
        {"an empty field name", "GET / HTTP/1.1\r\n: b\r\n\r\n"},
        {"a bare CR in a value", "GET / HTTP/1.1\r\nX-A: b\rc\r\n\r\n"},
        {"a NUL in a value", QByteArray("GET / HTTP/1.1\r\nX-A: b") + '\0' + "c\r\n\r\n"},
        {"a CR line in the head", "GET / HTTP/1.1\r\nX-A: b\r\n\r\r\n"},
        {"no version", "GET /metrics\r\n\r\n"},
        {"HTTP/2", "GET / HTTP/2.0\r\n\r\n"},
        {"HTTP/9", "GET / HTTP/9\r\n\r\n"},
        {"a version with more digits", "GET / HTTP/1.10\r\n\r\n"},
        {"two spaces", "GET  / HTTP/1.1\r\n\r\n"},
        {"a leading space", " GET / HTTP/1.1\r\n\r\n"},
        {"a space in the target", "GET /a b HTTP/1.1\r\n\r\n"},
        {"a byte past ASCII in the target", "GET /\xc3\xa9 HTTP/1.1\r\n\r\n"},
        {"junk", "NOT HTTP AT ALL\r\n\r\n"},
        {"binary", QByteArray("\x00\x01\x02\xff\r\n\r\n", 8)},
        {"a method with a slash", "GE/T / HTTP/1.1\r\n\r\n"},
    };
    for (const auto& c : cases) {
        for (const qsizetype step : {0, 1, 3}) {
            // Alone, it is the first request; after a good one, the second.
            Scan s = scan(c.head, step);
            EXPECT_EQ(s.badAt, 0) << c.what << " step " << step;
            EXPECT_TRUE(s.heads.empty()) << c.what;
            EXPECT_TRUE(s.stopped) << c.what;
            s = scan(good + c.head + good, step);
            EXPECT_EQ(s.badAt, 1) << c.what << " step " << step;
            EXPECT_EQ(s.heads, std::vector<Head>{keep}) << c.what << ": only the request before it";
        }
    }
}

TEST(RequestScanner, FieldCountAtTheModulesLimit) {
    const auto request = [](int fields) {
        return "GET / HTTP/1.1\r\n" + QByteArray("X-A: b\r\n").repeated(fields) + "\r\n";
    };
    EXPECT_EQ(scan(request(99)).heads.size(), 1u);
    EXPECT_EQ(scan(request(100)).heads.size(), 1u);
    EXPECT_EQ(scan(request(101)).badAt, 0) << "past it the module drops fields this scanner reads";
}

TEST(RequestScanner, AnEndlessLineStaysBounded) {
    RequestScanner scanner;
    const QByteArray chunk(4096, 'a');
    for (int i = 0; i < 15; ++i)
        scanner.feed(chunk);
    EXPECT_FALSE(scanner.badAt().has_value()) << "60 KiB without a line end: still waiting";
    for (int i = 0; i < 2; ++i)
        scanner.feed(chunk);
    EXPECT_EQ(scanner.badAt(), 0) << "past 64 KiB the line is given up";
    scanner.feed("\r\n\r\nGET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(scanner.heads(), 0) << "nothing is read after a bad head";
}
