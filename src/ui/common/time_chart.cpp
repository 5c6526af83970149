#include "ui/common/time_chart.h"

#include "ui/common/accessibility.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace velmora {

void ChartScroll::scrollTo(std::optional<TimePoint> rightEdge) {
    const bool follow = !rightEdge.has_value();
    if (follow == follow_ && (follow || *rightEdge == scrollX_)) return;
    follow_ = follow;
    if (rightEdge) scrollX_ = *rightEdge;
    emit moved();
}

void ChartScroll::settle(TimePoint newest) {
    if (!follow_ && scrollX_ >= newest) scrollTo(std::nullopt);
}

TimeChart::TimeChart(QWidget* parent, double visibleSeconds) : QWidget(parent), view_(visibleSeconds) {
    Accessibility::install();
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    valueText_ = [](double v) { return QString::number(v, 'f', 0); };
}

void TimeChart::setSeries(std::vector<Series> series) {
    series_ = std::move(series);
    updateRange();
    update();
}

void TimeChart::setScroll(ChartScroll* scroll) {
    if (shared_ == scroll) return;
    if (shared_) disconnect(shared_, nullptr, this, nullptr);
    shared_ = scroll;
    if (!shared_) return;
    connect(shared_, &ChartScroll::moved, this, &TimeChart::takeSharedPosition);
    takeSharedPosition();
}

void TimeChart::takeSharedPosition() {
    const bool wasFollowing = view_.following();
    view_.scrollTo(shared_->position());
    if (view_.following() != wasFollowing) emit followingChanged(view_.following());
    // A chart out of sight keeps the position without painting it now.
    if (isVisible() && !visibleRegion().isEmpty()) update();
}

void TimeChart::setMaxY(std::optional<double> maxY) {
    fixedMaxY_ = maxY && std::isfinite(*maxY) && *maxY > 0 ? maxY : std::nullopt;
    update();
}

void TimeChart::setMarker(std::optional<TimePoint> at) {
    marker_ = at;
    update();
}

void TimeChart::setMinimumTop(double top) {
    if (std::isfinite(top) && top > 0) minimumTop_ = top;
    updateRange();
    update();
}

void TimeChart::setValueText(std::function<QString(double)> format) {
    if (format) valueText_ = std::move(format);
}

double TimeChart::effectiveMaxY() const {
    return fixedMaxY_ ? *fixedMaxY_ : autoMaxY_;
}

void TimeChart::updateRange() {
    bool any = false;
    TimePoint oldest{}, newest{};
    double top = 0;
    for (const Series& s : series_) {
        if (s.points.empty()) continue;
        const TimePoint first = s.points.front().time, last = s.points.back().time;
        oldest = any ? std::min(oldest, first) : first;
        newest = any ? std::max(newest, last) : last;
        any = true;
        for (const MetricPoint& p : s.points)
            if (std::isfinite(p.value)) top = std::max(top, p.value);
    }
    autoMaxY_ = niceCeiling(top, minimumTop_);
    if (!any) return;
    const bool wasFollowing = view_.following();
    // The shared position is clamped into each chart's own data, never written back: a chart
    // with a shorter history must not move the others.
    if (shared_) view_.scrollTo(shared_->position());
    view_.setDataRange(oldest, newest);
    if (view_.following() != wasFollowing) emit followingChanged(view_.following());
}

void TimeChart::scrollBy(double seconds) {
    const bool wasFollowing = view_.following();
    view_.scrollBy(seconds);
    if (view_.following() != wasFollowing) emit followingChanged(view_.following());
    update();
    if (shared_) shared_->scrollTo(view_.scrollPosition());
}

QRectF TimeChart::plotRect() const {
    return QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
}

std::optional<TimePoint> TimeChart::cursorTime() const {
    if (!hoverX_ || !view_.hasData()) return std::nullopt;
    const QRectF r = plotRect();
    return view_.timeAt(*hoverX_ - r.left(), r.width());
}

QString TimeChart::cursorText() const {
    const auto at = cursorTime();
    if (!at) return {};
    QStringList parts;
    for (const Series& s : series_)
        if (const auto i = nearestPoint(s.points, *at); i && std::isfinite(s.points[*i].value))
            parts << valueText_(s.points[*i].value);
    return parts.join(QStringLiteral(" · "));
}

void TimeChart::setShadedSpans(std::vector<std::pair<TimePoint, TimePoint>> spans) {
    if (spans == shaded_) return;
    shaded_ = std::move(spans);
    update();
}

void TimeChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = plotRect();
    const QColor grid = SystemColor::secondary(palette());

    QColor gridLine = grid;
    gridLine.setAlphaF(0.15f);
    p.setPen(QPen(gridLine, 1));
    for (int i = 1; i < 4; ++i) {
        const double y = r.top() + r.height() * i / 4.0;
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    if (!view_.hasData()) return;

    if (!shaded_.empty()) {
        QColor shade = grid;
        shade.setAlphaF(0.12f);
        for (const auto& [from, to] : shaded_) {
            const double x0 = std::max(r.left(), r.left() + view_.xFor(from, r.width()));
            const double x1 = std::min(r.right(), r.left() + view_.xFor(to, r.width()));
            // A single unknown moment still shows, two pixels wide.
            if (x1 >= x0 - 1) p.fillRect(QRectF(x0 - 1, r.top(), std::max(2.0, x1 - x0 + 1), r.height()), shade);
        }
    }

    const double top = effectiveMaxY();
    auto yOf = [&](double v) { return r.bottom() - r.height() * std::clamp(v / top, 0.0, 1.0); };
    p.setClipRect(r);
    for (const Series& s : series_) {
        thinForPlot(s.points, view_, r.width(), plot_);
        if (plot_.empty()) continue;
        // Polygons rather than painter paths: the raster engine fills and strokes them
        // without building an outline first.
        line_.clear();
        for (const PlotPoint& pt : plot_)
            line_.append(QPointF(r.left() + pt.x, yOf(pt.value)));
        if (s.area) {
            QColor shade = s.color;
            shade.setAlphaF(0.25f);
            line_.append(QPointF(line_.back().x(), r.bottom()));
            line_.append(QPointF(line_.front().x(), r.bottom()));
            p.setPen(Qt::NoPen);
            p.setBrush(shade);
            // The fill's edge lies under the smoothed line drawn next, so it needs no
            // smoothing of its own: a quarter of the frame's cost.
            p.setRenderHint(QPainter::Antialiasing, false);
            p.drawPolygon(line_);
            p.setRenderHint(QPainter::Antialiasing, true);
            line_.resize(line_.size() - 2);
        }
        // One pixel wide unless asked: the raster engine's fast stroker; wider lines are
        // outlined and filled, three times the cost of the whole rest of the frame.
        p.setPen(QPen(s.color, s.lineWidth));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(line_);
    }

    if (marker_) {
        const double x = r.left() + view_.xFor(*marker_, r.width());
        p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
    }

    if (const auto at = cursorTime()) {
        const double x = r.left() + view_.xFor(*at, r.width());
        p.setPen(QPen(grid, 1));
        p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
        for (const Series& s : series_) {
            const auto i = nearestPoint(s.points, *at);
            if (!i || !std::isfinite(s.points[*i].value)) continue;
            const QPointF dot(r.left() + view_.xFor(s.points[*i].time, r.width()), yOf(s.points[*i].value));
            p.setPen(Qt::NoPen);
            p.setBrush(s.color);
            p.drawEllipse(dot, 2.5, 2.5);
        }
        const QString text = cursorText();
        if (!text.isEmpty()) {
            p.setFont(ViewFonts::caption2(font()));
            const QRectF box = p.fontMetrics().boundingRect(text).adjusted(-3, -1, 3, 1);
            // Beside the cursor, on whichever side has room.
            const double left = x + 4 + box.width() <= r.right() ? x + 4 : x - 4 - box.width();
            const QRectF label(left, r.top() + 2, box.width(), box.height());
            QColor back = palette().color(QPalette::Base);
            back.setAlphaF(0.85f);
            p.setPen(Qt::NoPen);
            p.setBrush(back);
            p.drawRoundedRect(label, 3, 3);
            p.setPen(palette().color(QPalette::Text));
            p.drawText(label, Qt::AlignCenter, text);
        }
    }
}

void TimeChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragX_ = event->position().x();
        dragDistance_ = 0;
    }
    QWidget::mousePressEvent(event);
}

void TimeChart::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (dragX_ && (event->buttons() & Qt::LeftButton)) {
        const double width = plotRect().width();
        // Dragging right pulls older data into view.
        if (width > 0) scrollBy((x - *dragX_) * view_.visibleSeconds() / width);
        dragDistance_ += std::abs(x - *dragX_);
        dragX_ = x;
    }
    hoverX_ = x;
    update();
}

void TimeChart::mouseReleaseEvent(QMouseEvent* event) {
    // A press and release within a few pixels is a click, not a drag.
    if (event->button() == Qt::LeftButton && dragX_ && dragDistance_ < 4 && view_.hasData()) {
        const QRectF r = plotRect();
        emit timeClicked(view_.timeAt(event->position().x() - r.left(), r.width()));
    }
    dragX_.reset();
    QWidget::mouseReleaseEvent(event);
}

void TimeChart::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit analyseRequested();
}

void TimeChart::wheelEvent(QWheelEvent* event) {
    // A notch moves a tenth of the span; either wheel direction works, horizontal first.
    const QPoint delta = event->angleDelta();
    const int steps = delta.x() != 0 ? delta.x() : delta.y();
    if (steps == 0) return;
    scrollBy(steps / 120.0 * view_.visibleSeconds() / 10.0);
    event->accept();
}

void TimeChart::leaveEvent(QEvent* event) {
    hoverX_.reset();
    dragX_.reset();
    update();
    QWidget::leaveEvent(event);
}

}  // namespace velmora
