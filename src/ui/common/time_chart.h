#pragma once

#include "ui/common/chart_axis.h"
#include "ui/common/chart_viewport.h"

#include <QColor>
#include <QPointer>
#include <QPolygonF>
#include <QStaticText>
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

// Where the run of plotted points that starts at `begin` ends: at the first point with a gap
// (its edges as x, from and to) lying between it and the point before; else at the end.
size_t nextBreak(std::span<const PlotPoint> plot, std::span<const std::pair<double, double>> gapXs, size_t begin);

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
        // How the cursor names this series' value ("Read {0}"); empty: the value alone.
        QString valueLabel{};
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

    // The unit of the values: the top of the vertical axis is written in it ("100%",
    // "2.0 MB/s"), and an automatic top rounds to figures the unit reads well in. None
    // writes no top.
    void setAxisUnit(AxisUnit unit);
    AxisUnit axisUnit() const { return axisUnit_; }
    // The words of the time marks along the bottom; empty texts show none.
    void setTimeMarkTexts(const ChartAxis::TimeMarkTexts& texts);
    // The top label as drawn; empty without a unit.
    QString topLabel() const;
    // The time marks as drawn: each one's offset from the plot's left edge and its text.
    std::vector<std::pair<double, QString>> timeMarks() const;
    // How many axis texts were made: they are kept until what they show changes.
    int axisTextsMade() const { return axisTextsMade_; }

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
    // Spans with no data at all (nothing was recorded): shaded, and no line crosses them.
    void setGaps(std::vector<std::pair<TimePoint, TimePoint>> gaps);
    const std::vector<std::pair<TimePoint, TimePoint>>& gaps() const { return gaps_; }
    // How many seconds the chart shows at a time.
    void setVisibleSeconds(double seconds);

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
    // A horizontal wheel, or Shift with the vertical one, scrolls the time. The plain vertical
    // wheel scrolls the page when the chart sits in a scroll area, else the time.
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void updateRange();
    void scrollBy(double seconds);
    void takeSharedPosition();
    QRectF plotRect() const;
    // The axis texts, each made again only when what it shows changes.
    void paintValueAxis(QPainter& p, const QRectF& plot);
    void paintTimeMarks(QPainter& p, const QRectF& plot);
    bool showsTimeMarks() const { return !markTexts_.now.isEmpty(); }
    double markStep(double plotWidth) const;
    void takeAxisFont();
    // The cached label texts, made when first asked for what they show now.
    const QStaticText& topLabelText() const;
    const QStaticText& markLabel(long k, double step) const;
    // Calls `mark(k, x)` for each mark in sight: k steps before the newest data, x in the plot.
    template <typename F>
    void forEachMark(const QRectF& plot, double step, F&& mark) const;

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
    std::vector<std::pair<TimePoint, TimePoint>> gaps_;
    std::vector<PlotPoint> plot_;  // reused for every series, every frame
    AxisUnit axisUnit_ = AxisUnit::none;
    mutable double topLabelFor_ = -1;  // the top the cached label was made for
    mutable QStaticText topLabel_;
    ChartAxis::TimeMarkTexts markTexts_;
    mutable double markTextsStep_ = 0;  // the step the cached mark texts were made for
    mutable std::vector<QStaticText> markLabels_;  // k steps before the newest data, grown as needed
    static constexpr size_t kKeptMarks = 256;
    mutable QStaticText scratchMark_;
    QFont axisFont_;
    mutable int axisTextsMade_ = 0;
    double markStrip_ = 0;  // the height under the plot that the time marks take
    std::vector<std::pair<double, double>> gapXs_;
    QPolygonF line_;
};

}  // namespace velmora
