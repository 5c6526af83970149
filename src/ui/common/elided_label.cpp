#include "ui/common/elided_label.h"

#include "ui/common/one_line.h"

#include <QPainter>

#include <algorithm>

namespace velmora {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    const QString line = oneLine(text);
    if (line == QLabel::text()) return;
    setText(line);
    setToolTip(plainToolTip(line));
    updateGeometry();
}

void ElidedLabel::setMono(bool mono) {
    QFont f = font();
    f.setStyleHint(mono ? QFont::Monospace : QFont::AnyStyle);
    if (mono) f.setFamily(QStringLiteral("monospace"));
    setFont(f);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), mode_, std::max(0, contentsRect().width()));
}

QSize ElidedLabel::sizeHint() const {
    return {std::min(fontMetrics().horizontalAdvance(text()), 400), QLabel::sizeHint().height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    p.setFont(font());
    // Left-to-right isolation: a right-to-left name keeps to the leading edge.
    p.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextForceLeftToRight, shownText());
}

}  // namespace velmora
