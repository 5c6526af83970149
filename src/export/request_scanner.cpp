#include "export/request_scanner.h"

namespace velmora {

namespace {

// One line may not grow past this without ending; the server cuts a request off far sooner
// (its size limit), this only keeps the scanner bounded on its own.
constexpr qsizetype kMaxLine = 64 * 1024;
// The module's header parser stops at this many fields and drops the rest, so a length after
// them would be read by this scanner and not by the module.
constexpr int kMaxFields = 100;
constexpr int kMaxLengthDigits = 18;  // fits a qint64

bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
        case '-': case '.': case '^': case '_': case '`': case '|': case '~':
            return true;
        default:
            return false;
    }
}

bool isToken(QByteArrayView text) {
    if (text.isEmpty()) return false;
    for (const char c : text)
        if (!isTokenChar(c)) return false;
    return true;
}

QByteArrayView trimmed(QByteArrayView text) {
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Calls `each` with every trimmed element of a comma-separated list, empty ones included.
template <typename F>
void forEachListElement(QByteArrayView list, F each) {
    while (true) {
        const qsizetype comma = list.indexOf(',');
        each(trimmed(comma < 0 ? list : list.first(comma)));
        if (comma < 0) return;
        list = list.sliced(comma + 1);
    }
}

}  // namespace

void RequestScanner::feed(QByteArrayView bytes) {
    while (!bytes.isEmpty() && state_ != State::stopped) {
        const qsizetype end = bytes.indexOf('\n');
        if (end < 0) {
            partial_.append(bytes);
            if (partial_.size() > kMaxLine) fail();
            return;
        }
        QByteArrayView text = bytes.first(end);
        bytes = bytes.sliced(end + 1);
        if (!partial_.isEmpty()) {
            partial_.append(text);
            text = partial_;
        }
        if (text.endsWith('\r')) text.chop(1);
        line(text);
        partial_.resize(0);  // keeps its capacity for the next line
    }
}

std::optional<RequestScanner::Head> RequestScanner::takeHead() {
    if (pending_.empty()) return std::nullopt;
    const Head head = pending_.front();
    pending_.pop_front();
    return head;
}

void RequestScanner::line(QByteArrayView text) {
    switch (state_) {
        case State::beforeRequest:
            // Empty lines between requests are tolerated, as HTTP asks.
            if (text.isEmpty()) return;
            if (!requestLine(text)) return fail();
            ++requestLines_;
            state_ = State::fields;
            return;
        case State::fields:
            if (text.isEmpty()) return endOfHead();
            if (!field(text)) return fail();
            return;
        case State::stopped:
            return;
    }
}

// method SP request-target SP HTTP/1.x, nothing more and nothing less.
bool RequestScanner::requestLine(QByteArrayView text) {
    const qsizetype first = text.indexOf(' ');
    if (first < 0 || !isToken(text.first(first))) return false;
    const QByteArrayView rest = text.sliced(first + 1);
    const qsizetype second = rest.indexOf(' ');
    if (second <= 0) return false;
    for (const char c : rest.first(second))
        if (c <= ' ' || c >= 0x7f) return false;
    const QByteArrayView version = rest.sliced(second + 1);
    if (version.size() != 8 || !version.startsWith("HTTP/1.") || version[7] < '0' || version[7] > '9')
        return false;

    http10_ = version[7] == '0';
    fields_ = 0;
    closeToken_ = false;
    keepAliveToken_ = false;
    contentLength_.reset();
    transferEncoding_ = false;
    lengthsDisagree_ = false;
    codingUnknown_ = false;
    return true;
}

bool RequestScanner::field(QByteArrayView text) {
    // A line that begins with white space continues the previous one (obsolete folding):
    // refused, as parsers disagree on it.
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0 || !isToken(text.first(colon))) return false;
    if (++fields_ > kMaxFields) return false;
    const QByteArrayView name = text.first(colon);
    const QByteArrayView value = trimmed(text.sliced(colon + 1));
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) return false;  // a bare CR, NUL, ...
    }

    if (equalsIgnoringCase(name, "content-length")) {
        // One number, the same in every Content-Length field. A list ("5, 5") is refused too:
        // the module would not read it as a length at all.
        if (value.isEmpty() || value.size() > kMaxLengthDigits) return false;
        for (const char c : value)
            if (c < '0' || c > '9') return false;
        const qint64 length = value.toLongLong();
        if (contentLength_ && *contentLength_ != length) lengthsDisagree_ = true;
        contentLength_ = length;
    } else if (equalsIgnoringCase(name, "transfer-encoding")) {
        // Only "chunked", once: any other coding leaves the body's end unknown to us.
        forEachListElement(value, [this](QByteArrayView coding) {
            if (transferEncoding_ || !equalsIgnoringCase(coding, "chunked")) codingUnknown_ = true;
            transferEncoding_ = true;
        });
    } else if (equalsIgnoringCase(name, "connection")) {
        forEachListElement(value, [this](QByteArrayView option) {
            if (equalsIgnoringCase(option, "close")) closeToken_ = true;
            if (equalsIgnoringCase(option, "keep-alive")) keepAliveToken_ = true;
        });
    }
    return true;
}

void RequestScanner::endOfHead() {
    // A transfer coding with a length, in HTTP/1.0, or other than chunked; two lengths.
    if (lengthsDisagree_ || (transferEncoding_ && (contentLength_ || http10_ || codingUnknown_)))
        return fail();
    const bool body = transferEncoding_ || contentLength_.value_or(0) > 0;
    Head head;
    head.close = body || closeToken_ || (http10_ && !keepAliveToken_);
    head.keepAlive = http10_ && !head.close;
    pending_.push_back(head);
    ++heads_;
    state_ = head.close ? State::stopped : State::beforeRequest;
}

void RequestScanner::fail() {
    if (state_ == State::stopped) return;
    badAt_ = heads_;
    state_ = State::stopped;
    partial_ = QByteArray();
}

}  // namespace velmora
