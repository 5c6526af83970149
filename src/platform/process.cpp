#include "platform/process.h"

#include <QList>
#include <QStringDecoder>

#include <cmath>

namespace velmora::platform {

QString pidName(int32_t pid) {
    return QStringLiteral("pid ") + QString::number(pid);
}

namespace {
void replaceControls(QString& name) {
    for (QChar& c : name)
        if (c.category() == QChar::Other_Control) c = u'?';
}
}  // namespace

QString displayProcessName(QByteArrayView raw, int32_t pid) {
    if (raw.isEmpty()) return pidName(pid);
    QString name = QString::fromUtf8(raw);
    replaceControls(name);
    return name;
}

std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

QString decodeLinesLossy(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    const QByteArrayView all(bytes);
    qsizetype start = 0;
    while (start < all.size()) {
        const qsizetype newline = all.indexOf('\n', start);
        const qsizetype end = newline < 0 ? all.size() : newline;
        text += QString::fromUtf8(all.sliced(start, end - start));
        if (newline < 0) break;
        text += u'\n';
        start = newline + 1;
    }
    return text;
}

QProcessEnvironment toolEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return env;
}

namespace SystemProcHelper {

std::map<int32_t, Row> parse(const QString& text) {
    std::map<int32_t, Row> rows;
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        const QList<QStringView> pieces = line.split(u' ', Qt::SkipEmptyParts);
        if (pieces.size() < 4) continue;
        bool pidOk = false, cpuOk = false, rssOk = false;
        const int32_t pid = pieces[0].toInt(&pidOk);
        const double cpu = pieces[1].toDouble(&cpuOk);
        const uint64_t kilobytes = pieces[2].toULongLong(&rssOk);
        if (!pidOk || !cpuOk || !rssOk || !std::isfinite(cpu)) continue;
        if (!(cpu > 0.05)) continue;
        if (kilobytes > UINT64_MAX / 1024) continue;  // no real process is that large
        Row row;
        row.pid = pid;
        row.cpu = cpu;
        row.rss = kilobytes * 1024;
        for (qsizetype i = 3; i < pieces.size(); ++i) {
            if (i > 3) row.name += u' ';
            row.name += pieces[i];
        }
        replaceControls(row.name);
        rows[pid] = std::move(row);
    }
    return rows;
}

}  // namespace SystemProcHelper

}  // namespace velmora::platform
