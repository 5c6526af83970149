#pragma once

#include "ui/common/chart_viewport.h"

#include <QColor>
#include <QPointer>
#include <QPolygonF>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace velmora {

// One scroll position for several charts, so they show the same stretch of time: either
// following the newest data or scrolled back to a right edge. A chart the user drags or
// wheels moves every chart that shares it; reaching the right edge makes all follow again.
class ChartScroll : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    bool follow() const { return follow_; }
    // The charts' right edge while they do not follow.
    TimePoint scrollX() const { return scrollX_; }
    // The right edge while scrolled back; none while following.
    std::optional<TimePoint> position() const {
        return follow_ ? std::nullopt : std::optional<TimePoint>(scrollX_);
    }
    // Scrolls to `rightEdge`; none follows the newest data.
    void scrollTo(std::optional<TimePoint> rightEdge);
    // The newest data is at `newest`: a position at or past it (the clock stepped back)
    // follows again, so the charts do not jump back once the clock passes it.
    void settle(TimePoint newest);

  signals:
    void moved();

  private:
    TimePoint scrollX_{};
    bool follow_ = true;
};

// A chart of one or more series over time, drawn with QPainter: areas or lines, a fixed or
// automatic top, the last `visibleSeconds` of the data, following the newest point until the
// user drags or scrolls back. Hovering shows a time cursor with the values under it; a double
// click asks for analysis. Nothing is drawn while the widget is hidden.
class TimeChart : public QWidget {
    Q_OBJECT
  public:
    struct Series {
        std::vector<MetricPoint> points;
        QColor color;
        bool area = true;
        double lineWidth = 1.0;  // wider lines cost about three times as much to draw
    };

    explicit TimeChart(QWidget* parent = nullptr, double visibleSeconds = 300);

    // Replaces the data; the view keeps its scroll position unless it follows.
    void setSeries(std::vector<Series> series);
    const std::vector<Series>& series() const { return series_; }
    // A fixed top (100 for percentages); none scales to the data.
    void setMaxY(std::optional<double> maxY);
    // The least top an automatic scale takes (1 unless set), so a quiet series is not
    // stretched to fill the chart.
    void setMinimumTop(double top);
    double effectiveMaxY() const;
    // How a value under the cursor is written ("42%", "3.1 MB/s").
    void setValueText(std::function<QString(double)> format);
    QString valueText(double value) const { return valueText_(value); }

    // Scrolls with every chart that shares `scroll` (none: on its own). A move of the shared
    // position repaints only the charts in sight; the others draw it when they come back.
    void setScroll(ChartScroll* scroll);
    ChartScroll* scroll() const { return shared_; }

    ChartViewport& viewport() { return view_; }
    const ChartViewport& viewport() const { return view_; }
    // A moment marked with a rule line (the one picked for analysis); none hides it.
    void setMarker(std::optional<TimePoint> at);
    std::optional<TimePoint> marker() const { return marker_; }
    // Spans drawn shaded behind the series (the moments whose details are unknown).
    void setShadedSpans(std::vector<std::pair<TimePoint, TimePoint>> spans);
    const std::vector<std::pair<TimePoint, TimePoint>>& shadedSpans() const { return shaded_; }

    // The cursor's time, while the pointer is over the chart.
    std::optional<TimePoint> cursorTime() const;
    // The text the cursor shows: each series' value nearest the cursor, joined.
    QString cursorText() const;

    QSize sizeHint() const override { return {320, 96}; }
    QSize minimumSizeHint() const override { return {120, 40}; }

  signals:
    void analyseRequested();
    // A click that did not drag: the moment under the pointer.
    void timeClicked(TimePoint at);
    void followingChanged(bool following);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void updateRange();
    void scrollBy(double seconds);
    void takeSharedPosition();
    QRectF plotRect() const;

    ChartViewport view_;
    QPointer<ChartScroll> shared_;
    std::vector<Series> series_;
    std::optional<double> fixedMaxY_;
    double autoMaxY_ = 1;
    double minimumTop_ = 1;
    std::function<QString(double)> valueText_;
    std::optional<double> hoverX_;
    std::optional<double> dragX_;
    double dragDistance_ = 0;  // how far the pointer moved since the press
    std::optional<TimePoint> marker_;
    std::vector<std::pair<TimePoint, TimePoint>> shaded_;
    std::vector<PlotPoint> plot_;  // reused for every series, every frame
    QPolygonF line_;
};

}  // namespace velmora
