#include "ui/common/time_chart.h"

#include "ui/common/accessibility.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace velmora {

size_t nextBreak(std::span<const PlotPoint> plot, std::span<const std::pair<double, double>> gapXs, size_t begin) {
    for (size_t i = begin + 1; i < plot.size(); ++i)
        for (const auto& [x0, x1] : gapXs)
            // Half a pixel of slack: thinning puts a point anywhere in its pixel column.
            if (x1 > x0 && x0 >= plot[i - 1].x - 0.5 && x1 <= plot[i].x + 0.5) return i;
    return plot.size();
}

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
    takeAxisFont();
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
    autoMaxY_ = ChartAxis::niceTop(axisUnit_, top, minimumTop_);
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
    return QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5 - (showsTimeMarks() ? markStrip_ : 0));
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
            parts << (s.valueLabel.isEmpty() ? valueText_(s.points[*i].value)
                                             : QString(s.valueLabel).replace(QStringLiteral("{0}"),
                                                                             valueText_(s.points[*i].value)));
    return parts.join(QStringLiteral(" · "));
}

void TimeChart::setShadedSpans(std::vector<std::pair<TimePoint, TimePoint>> spans) {
    if (spans == shaded_) return;
    shaded_ = std::move(spans);
    update();
}

void TimeChart::setGaps(std::vector<std::pair<TimePoint, TimePoint>> gaps) {
    if (gaps == gaps_) return;
    gaps_ = std::move(gaps);
    update();
}

void TimeChart::setVisibleSeconds(double seconds) {
    view_.setVisibleSeconds(seconds);
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

    // Unknown details lightly, spans with no record at all darker.
    for (const auto& [spans, alpha] : {std::pair{&shaded_, 0.12f}, std::pair{&gaps_, 0.24f}}) {
        QColor shade = grid;
        shade.setAlphaF(alpha);
        for (const auto& [from, to] : *spans) {
            const double x0 = std::max(r.left(), r.left() + view_.xFor(from, r.width()));
            const double x1 = std::min(r.right(), r.left() + view_.xFor(to, r.width()));
            // A single unknown moment still shows, two pixels wide.
            if (x1 >= x0 - 1) p.fillRect(QRectF(x0 - 1, r.top(), std::max(2.0, x1 - x0 + 1), r.height()), shade);
        }
    }
    // A line breaks where a gap lies between two of its points.
    gapXs_.clear();
    for (const auto& [from, to] : gaps_)
        gapXs_.emplace_back(view_.xFor(from, r.width()), view_.xFor(to, r.width()));

    const double top = effectiveMaxY();
    auto yOf = [&](double v) { return r.bottom() - r.height() * std::clamp(v / top, 0.0, 1.0); };
    p.setClipRect(r);
    for (const Series& s : series_) {
        thinForPlot(s.points, view_, r.width(), plot_);
        for (size_t begin = 0, end = 0; begin < plot_.size(); begin = end) {
            end = nextBreak(plot_, gapXs_, begin);
            // Polygons rather than painter paths: the raster engine fills and strokes them
            // without building an outline first.
            line_.clear();
            for (size_t i = begin; i < end; ++i)
                line_.append(QPointF(r.left() + plot_[i].x, yOf(plot_[i].value)));
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
    }

    paintValueAxis(p, r);
    paintTimeMarks(p, r);
    p.setClipRect(r);

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
    // A notch moves a tenth of the span.
    const QPoint delta = event->angleDelta();
    int steps = delta.x();
    if (steps == 0 && delta.y() != 0) {
        QAbstractScrollArea* page = nullptr;
        for (QWidget* w = parentWidget(); w && !page; w = w->parentWidget())
            page = qobject_cast<QAbstractScrollArea*>(w);
        // The page is mostly charts: the plain wheel must move it, or scrolling stalls here.
        // Handed over directly, as Qt passes a wheel event on to the parent only when the
        // window system sent it.
        if (page && !(event->modifiers() & Qt::ShiftModifier)) {
            QWidget* target = page->viewport();
            QWheelEvent forwarded(target->mapFromGlobal(event->globalPosition()), event->globalPosition(),
                                  event->pixelDelta(), event->angleDelta(), event->buttons(), event->modifiers(),
                                  event->phase(), event->inverted(), event->source());
            QCoreApplication::sendEvent(target, &forwarded);
            event->accept();
            return;
        }
        steps = delta.y();
    }
    if (steps == 0) return;
    scrollBy(steps / 120.0 * view_.visibleSeconds() / 10.0);
    event->accept();
}

void TimeChart::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) takeAxisFont();
    QWidget::changeEvent(event);
}

void TimeChart::takeAxisFont() {
    axisFont_ = ViewFonts::caption2(font());
    markStrip_ = QFontMetricsF(axisFont_).height() + 3;
    topLabelFor_ = -1;
    markTextsStep_ = 0;
    markLabels_.clear();
}

void TimeChart::setAxisUnit(AxisUnit unit) {
    if (unit == axisUnit_) return;
    axisUnit_ = unit;
    topLabelFor_ = -1;
    updateRange();
    update();
}

void TimeChart::setTimeMarkTexts(const ChartAxis::TimeMarkTexts& texts) {
    if (texts == markTexts_) return;
    markTexts_ = texts;
    markTextsStep_ = 0;
    markLabels_.clear();
    update();
}

QString TimeChart::topLabel() const {
    return axisUnit_ == AxisUnit::none ? QString() : topLabelText().text();
}

const QStaticText& TimeChart::topLabelText() const {
    const double top = effectiveMaxY();
    if (top != topLabelFor_) {
        topLabel_.setText(ChartAxis::topText(axisUnit_, top));
        topLabel_.prepare(QTransform(), axisFont_);
        topLabelFor_ = top;
        ++axisTextsMade_;
    }
    return topLabel_;
}

const QStaticText& TimeChart::markLabel(long k, double step) const {
    if (step != markTextsStep_) {
        markLabels_.clear();
        markTextsStep_ = step;
    }
    const auto i = static_cast<size_t>(std::max(0L, k));
    // Far back in a long history: made for this frame only, so the kept ones stay few.
    if (i >= kKeptMarks) {
        scratchMark_.setText(ChartAxis::timeMarkText(static_cast<double>(i) * step, step, markTexts_));
        scratchMark_.prepare(QTransform(), axisFont_);
        ++axisTextsMade_;
        return scratchMark_;
    }
    while (markLabels_.size() <= i) {
        QStaticText label(ChartAxis::timeMarkText(static_cast<double>(markLabels_.size()) * step, step, markTexts_));
        label.prepare(QTransform(), axisFont_);
        markLabels_.push_back(std::move(label));
        ++axisTextsMade_;
    }
    return markLabels_[i];
}

double TimeChart::markStep(double plotWidth) const {
    // Room for a label such as "−2.5 min" between two marks.
    const int room = static_cast<int>(plotWidth / 70);
    return ChartAxis::timeStep(view_.visibleSeconds(), std::clamp(room, 1, 4));
}

template <typename F>
void TimeChart::forEachMark(const QRectF& plot, double step, F&& mark) const {
    if (!view_.hasData() || !(step > 0) || !(plot.width() > 0)) return;
    // Marks count back from the newest data, so a scrolled chart shows how long ago it is.
    const double behind = std::max(0.0, std::chrono::duration<double>(view_.newest() - view_.rightEdge()).count());
    const auto first = static_cast<long>(std::ceil(behind / step - 1e-9));
    const auto last = static_cast<long>(std::floor((behind + view_.visibleSeconds()) / step + 1e-9));
    for (long k = last; k >= first; --k) {  // left to right
        const TimePoint t =
            view_.newest() - std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(k * step));
        mark(k, view_.xFor(t, plot.width()));
    }
}

std::vector<std::pair<double, QString>> TimeChart::timeMarks() const {
    std::vector<std::pair<double, QString>> out;
    if (!showsTimeMarks()) return out;
    const QRectF r = plotRect();
    const double step = markStep(r.width());
    forEachMark(r, step, [&](long k, double x) { out.emplace_back(x, markLabel(k, step).text()); });
    return out;
}

void TimeChart::paintValueAxis(QPainter& p, const QRectF& plot) {
    if (axisUnit_ == AxisUnit::none) return;
    const QStaticText& label = topLabelText();
    // In the top left corner, on a veil so a curve under it does not hide it.
    const QSizeF size = label.size();
    const QRectF box(plot.left() + 2, plot.top() + 1, size.width() + 4, size.height());
    QColor back = palette().color(QPalette::Base);
    back.setAlphaF(0.6f);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRect(box);
    p.setFont(axisFont_);
    p.setPen(SystemColor::secondary(palette()));
    p.drawStaticText(QPointF(box.left() + 2, box.top()), label);
}

void TimeChart::paintTimeMarks(QPainter& p, const QRectF& plot) {
    if (!showsTimeMarks()) return;
    p.setClipping(false);
    const double step = markStep(plot.width());
    const QColor secondary = SystemColor::secondary(palette());
    p.setFont(axisFont_);
    forEachMark(plot, step, [&](long k, double x) {
        const QStaticText& label = markLabel(k, step);
        const double at = plot.left() + x;
        p.setPen(secondary);
        p.drawLine(QPointF(at, plot.bottom()), QPointF(at, plot.bottom() + 2));
        // Centred on its mark, but kept inside the chart at either end.
        const double w = label.size().width();
        const double left = std::clamp(at - w / 2, plot.left(), std::max(plot.left(), plot.right() - w));
        p.drawStaticText(QPointF(left, plot.bottom() + 2), label);
    });
}

void TimeChart::leaveEvent(QEvent* event) {
    hoverX_.reset();
    dragX_.reset();
    update();
    QWidget::leaveEvent(event);
}

}  // namespace velmora
