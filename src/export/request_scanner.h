#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <deque>
#include <optional>

namespace velmora {

// Follows the requests on one connection as their bytes arrive, ahead of the HTTP module, and
// tells where each request head (request line and header fields) ends and what it asks of the
// connection. It is stricter than the module: a head whose framing two parsers could read
// differently (a length beside a chunked body, two lengths, a negative one, space before a
// field's colon, a folded line, a bare CR) is marked bad, to be refused before the module
// parses it, so the module never frames a request differently from this scanner.
// A request with a body ends the scan: the connection closes after its answer, so nothing
// after the body ever needs framing. A bad head ends it too.
class RequestScanner {
  public:
    // What one complete, well-formed head asks of the connection.
    struct Head {
        bool close = false;      // the connection closes after this request's answer
        bool keepAlive = false;  // HTTP/1.0 asking to keep it: the answer must say it does
        bool operator==(const Head&) const = default;
    };

    void feed(QByteArrayView bytes);

    // Complete request lines and complete well-formed heads seen so far, on this connection.
    int requestLines() const { return requestLines_; }
    int heads() const { return heads_; }
    // The index (counting from 0 on this connection) of the request whose head is bad; every
    // request before it is well-formed and in `pending`.
    std::optional<int> badAt() const { return badAt_; }
    // True once nothing more is scanned: a bad head, or a head after which the connection closes.
    bool stopped() const { return state_ == State::stopped; }

    // Heads seen and not yet taken, oldest first: one per request the module will hand over.
    std::optional<Head> takeHead();
    bool hasPendingHead() const { return !pending_.empty(); }

  private:
    enum class State { beforeRequest, fields, stopped };

    void line(QByteArrayView text);
    bool requestLine(QByteArrayView text);
    bool field(QByteArrayView text);
    void endOfHead();
    void fail();

    State state_ = State::beforeRequest;
    QByteArray partial_;  // a line begun in an earlier feed
    int requestLines_ = 0;
    int heads_ = 0;
    std::optional<int> badAt_;
    std::deque<Head> pending_;

    // The head being read.
    bool http10_ = false;
    int fields_ = 0;
    bool closeToken_ = false;
    bool keepAliveToken_ = false;
    std::optional<qint64> contentLength_;
    bool transferEncoding_ = false;
    bool lengthsDisagree_ = false;
    bool codingUnknown_ = false;
};

}  // namespace velmora
