#include "ui/common/gauge_row.h"

#include "ui/common/accessibility.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {
constexpr int kGap = 8;
constexpr int kHintInset = 4;
}  // namespace

GaugeRow::GaugeRow(QWidget* parent) : QWidget(parent) {
    Accessibility::install();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QColor GaugeRow::fillColor(double v) {
    if (v >= 90) return SystemColor::red();
    if (v >= 70) return SystemColor::orange();
    if (v >= 49) return SystemColor::yellow();
    return SystemColor::green();
}

void GaugeRow::set(const QString& label, double value, const QString& detail,
                   const std::optional<QString>& scaleHint) {
    if (!std::isfinite(value)) value = 0;
    if (label == label_ && value == value_ && detail == detail_ && scaleHint == scaleHint_) return;
    const bool resized = scaleHint.has_value() != scaleHint_.has_value();
    label_ = label;
    value_ = value;
    detail_ = detail;
    scaleHint_ = scaleHint;
    if (resized) updateGeometry();
    update();
}

QFont GaugeRow::labelFont() const {
    return ViewFonts::caption(font());
}
QFont GaugeRow::detailFont() const {
    return ViewFonts::caption2Mono(font());
}
QFont GaugeRow::hintFont() const {
    return ViewFonts::monoDigits(font(), 8);
}

QSize GaugeRow::sizeHint() const {
    const double text = std::max(QFontMetricsF(labelFont()).height(), QFontMetricsF(detailFont()).height());
    const int bar = scaleHint_ ? scaledBarHeight : barHeight;
    return {labelWidth + detailWidth + 2 * kGap + 60,
            static_cast<int>(std::ceil(std::max<double>(text, bar)))};
}

QRectF GaugeRow::barRect() const {
    const double h = scaleHint_ ? scaledBarHeight : barHeight;
    const double left = labelWidth + kGap;
    const double width =
        std::max(0.0, static_cast<double>(this->width()) - labelWidth - detailWidth - 2 * kGap);
    return {left, (height() - h) / 2.0, width, h};
}

QRectF GaugeRow::fillRect() const {
    QRectF bar = barRect();
    bar.setWidth(bar.width() * std::clamp(value_, 0.0, 100.0) / 100.0);
    return bar;
}

void GaugeRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor secondary = SystemColor::secondary(palette());

    // Long translations shrink a little before they are shortened.
    QFont label = labelFont();
    for (int px = label.pixelSize(); px > 9 && QFontMetricsF(label).horizontalAdvance(label_) > labelWidth;
         --px)
        label.setPixelSize(px - 1);
    p.setFont(label);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRectF(0, 0, labelWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(label).elidedText(label_, Qt::ElideRight, labelWidth));

    const QRectF bar = barRect();
    QColor track = secondary;
    track.setAlphaF(0.15f);
    p.setPen(Qt::NoPen);
    p.setBrush(track);
    p.drawRoundedRect(bar, cornerRadius, cornerRadius);
    const QRectF fill = fillRect();
    if (fill.width() > 0) {
        p.setBrush(fillColor(value_));
        p.drawRoundedRect(fill, std::min(cornerRadius, fill.width() / 2), cornerRadius);
    }
    if (scaleHint_) {
        p.setFont(hintFont());
        p.setPen(secondary);
        p.drawText(bar.adjusted(0, 0, -kHintInset, 0), Qt::AlignRight | Qt::AlignVCenter, *scaleHint_);
    }

    p.setFont(detailFont());
    p.setPen(secondary);
    const QRectF detail(width() - detailWidth, 0, detailWidth, height());
    p.drawText(detail, Qt::AlignRight | Qt::AlignVCenter,
               QFontMetricsF(detailFont()).elidedText(detail_, Qt::ElideLeft, detailWidth));
}

void GaugeRow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        updateGeometry();
        update();
    }
    QWidget::changeEvent(event);
}

}  // namespace velmora
