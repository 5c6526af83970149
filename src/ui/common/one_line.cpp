#include "ui/common/one_line.h"

#include <QTextDocument>

namespace velmora {

namespace {

bool breaksTheLine(char16_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;  // C0, DEL, C1
    if (c == 0x2028 || c == 0x2029) return true;             // line and paragraph separators
    if (c >= 0x202A && c <= 0x202E) return true;             // bidi embeddings and overrides
    if (c >= 0x2066 && c <= 0x2069) return true;             // bidi isolates
    return false;
}

}  // namespace

QString oneLine(QString text) {
    for (QChar& c : text)
        if (breaksTheLine(c.unicode())) c = QChar::ReplacementCharacter;
    return text;
}

QString elideMiddle(const QString& text, int maxChars) {
    if (text.size() <= maxChars) return text;
    if (maxChars < 1) return {};
    const QString ellipsis = QStringLiteral("…");
    qsizetype head = maxChars / 2;
    qsizetype tail = maxChars - 1 - head;
    if (head > 0 && text.at(head - 1).isHighSurrogate()) --head;
    qsizetype tailStart = text.size() - tail;
    if (tail > 0 && text.at(tailStart).isLowSurrogate()) ++tailStart;
    return text.left(head) + ellipsis + text.mid(tailStart);
}

QString plainToolTip(const QString& text) {
    if (text.isEmpty()) return {};
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

}  // namespace velmora
