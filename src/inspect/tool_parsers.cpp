#include "inspect/tool_parsers.h"

#include "inspect/run_tool.h"

#include <QRegularExpression>
#include <QUuid>

#include <algorithm>

namespace velmora {

std::optional<QString> NetConnection::remoteIP() const {
    QString ip;
    if (remoteAddr.startsWith(u'[')) {
        const qsizetype close = remoteAddr.indexOf(u']');
        ip = close < 0 ? remoteAddr.mid(1) : remoteAddr.mid(1, close - 1);
    } else {
        const qsizetype colon = remoteAddr.lastIndexOf(u':');
        ip = colon < 0 ? remoteAddr : remoteAddr.left(colon);
    }
    if (ip.isEmpty() || ip == u"*") return std::nullopt;
    return ip;
}

std::optional<QString> lastComponent(const QString& s, QChar separator) {
    const qsizetype at = s.lastIndexOf(separator);
    if (at < 0) return std::nullopt;
    const QString tail = s.mid(at + 1);
    if (tail.isEmpty()) return std::nullopt;
    for (QChar c : tail)
        if (c < u'0' || c > u'9') return std::nullopt;
    return tail;
}

namespace {

QStringList nonEmptyLines(const QString& text) {
    return text.split(u'\n', Qt::SkipEmptyParts);
}

QStringList splitBlanks(const QString& line) {
    static const QRegularExpression blanks(QStringLiteral("[ \t]+"));
    return line.split(blanks, Qt::SkipEmptyParts);
}

std::optional<int> parseRegions(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);  // accepts one leading sign, nothing else around
    if (!ok || text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return std::nullopt;
    return v;
}

std::optional<uint64_t> parseCount(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9') return std::nullopt;
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return static_cast<uint64_t>(v);
}

}  // namespace

std::optional<MemoryFootprint> parseFootprintOutput(const QString& output) {
    MemoryFootprint fp;
    for (const QString& line : nonEmptyLines(output)) {
        if (fp.totalBytes == 0) {
            const qsizetype at = line.indexOf(QLatin1String("Footprint:"));
            if (at >= 0) {
                const QStringList pieces = line.mid(at + 10).split(u' ', Qt::SkipEmptyParts);
                if (pieces.size() >= 2) fp.totalBytes = parseSize(pieces[0], pieces[1]).value_or(0);
                continue;
            }
        }
        const QStringList p = splitBlanks(line);
        if (p.size() < 8) continue;
        const auto dirty = parseSize(p[0], p[1]);
        const auto clean = parseSize(p[2], p[3]);
        const auto reclaimable = parseSize(p[4], p[5]);
        const auto regions = parseRegions(p[6]);
        if (!dirty || !clean || !reclaimable || !regions) continue;
        fp.categories.push_back({p.mid(7).join(u' '), *dirty, *clean, *reclaimable, *regions});
    }
    if (fp.totalBytes == 0 && fp.categories.empty()) return std::nullopt;
    std::stable_sort(fp.categories.begin(), fp.categories.end(),
                     [](const MemCategory& a, const MemCategory& b) { return a.dirty > b.dirty; });
    return fp;
}

OpenFilesResult parseLsofFieldOutput(const QString& output, const std::optional<QString>& errors) {
    OpenFilesResult r;
    r.permissionLimited = errors && errors->toLower().contains(QLatin1String("permission"));
    QString type;
    int total = 0;
    for (const QString& line : nonEmptyLines(output)) {
        const QChar tag = line.front();
        if (tag == u't') {
            type = line.mid(1);
        } else if (tag == u'n') {
            QStringList* list = nullptr;
            if (type.startsWith(QLatin1String("IPv")))
                list = &r.connections;
            else if (type == u"REG" || type == u"DIR")
                list = &r.files;
            if (!list) continue;
            ++total;
            if (list->size() < kOpenFileNamesKept) list->append(line.mid(1));
        }
    }
    r.totalCount = total;
    return r;
}

QHash<QString, PortTraffic> parseNettopOutput(const QString& output) {
    QHash<QString, PortTraffic> map;
    for (const QString& line : nonEmptyLines(output)) {
        if (!line.contains(QLatin1String("<->"))) continue;
        const QStringList p = splitBlanks(line);
        if (p.size() < 4) continue;
        const auto in = parseCount(p[p.size() - 2]);
        const auto out = parseCount(p[p.size() - 1]);
        if (!in || !out) continue;
        const QString local = p[1].left(p[1].indexOf(QLatin1String("<->")));
        const QChar separator = p[0].endsWith(u'6') ? u'.' : u':';
        if (const auto port = lastComponent(local, separator)) map.insert(*port, {*in, *out});
    }
    return map;
}

std::vector<NetConnection> parseLsofConnections(
    const QString& output, const QHash<QString, PortTraffic>& traffic,
    const std::function<std::optional<QString>(const QString&)>& hostFor) {
    std::vector<NetConnection> list;
    for (const QString& line : nonEmptyLines(output)) {
        if (line.startsWith(QLatin1String("COMMAND"))) continue;
        const QStringList cols = line.split(u' ', Qt::SkipEmptyParts);
        qsizetype protoAt = -1;
        for (qsizetype i = 0; i < cols.size() && protoAt < 0; ++i)
            if (cols[i] == u"TCP" || cols[i] == u"UDP") protoAt = i;
        if (protoAt < 0 || protoAt + 1 >= cols.size()) continue;
        QString digit;
        for (const QString& c : cols) {
            if (!c.startsWith(QLatin1String("IPv"))) continue;
            if (c == u"IPv6")
                digit = QStringLiteral("6");
            else if (c == u"IPv4")
                digit = QStringLiteral("4");
            break;
        }
        NetConnection c;
        c.proto = cols[protoAt] + digit;
        const QString& address = cols[protoAt + 1];
        if (cols.back().startsWith(u'(')) {
            QString state = cols.back();
            while (state.startsWith(u'(') || state.startsWith(u')'))
                state.remove(0, 1);
            while (state.endsWith(u'(') || state.endsWith(u')'))
                state.chop(1);
            c.state = state;
        }
        const qsizetype arrow = address.indexOf(QLatin1String("->"));
        c.localAddr = arrow < 0 ? address : address.left(arrow);
        const QString remote = arrow < 0 ? QString() : address.mid(arrow + 2);
        c.remoteAddr = remote.isEmpty() ? QStringLiteral("*:*") : remote;
        if (const auto port = lastComponent(c.localAddr, u':')) {
            if (const auto it = traffic.constFind(*port); it != traffic.constEnd()) {
                c.inBytes = it->in;
                c.outBytes = it->out;
            }
        }
        c.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (const auto ip = c.remoteIP(); ip && hostFor) c.host = hostFor(*ip);
        list.push_back(std::move(c));
    }
    sortConnections(list);
    return list;
}

void sortConnections(std::vector<NetConnection>& connections) {
    std::stable_sort(connections.begin(), connections.end(),
                     [](const NetConnection& a, const NetConnection& b) {
                         const uint64_t ta = a.totalBytes();
                         const uint64_t tb = b.totalBytes();
                         if (ta != tb) return ta > tb;
                         return a.state == u"ESTABLISHED" && b.state != u"ESTABLISHED";
                     });
}

}  // namespace velmora
