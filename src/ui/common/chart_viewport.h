#pragma once

#include "core/snapshot.h"

#include <optional>
#include <span>
#include <vector>

namespace velmora {

// Which stretch of a time series a chart shows. It follows the newest data until the user
// scrolls back, and follows again once scrolled to the right edge. Pure arithmetic, so the
// widget's behaviour can be checked without painting.
class ChartViewport {
  public:
    explicit ChartViewport(double visibleSeconds = 300) : visible_(visibleSeconds > 0 ? visibleSeconds : 300) {}

    // The time stamps of the oldest and newest data. A newest stamp earlier than before (the
    // wall clock stepped back) is taken as it is: a scrolled view is clamped into the new range.
    void setDataRange(TimePoint oldest, TimePoint newest);
    bool hasData() const { return hasData_; }
    TimePoint newest() const { return newest_; }

    bool following() const { return !scrollRight_.has_value(); }
    void follow() { scrollRight_.reset(); }
    // Moves the view `seconds` into the past (negative: towards now). Never before the oldest
    // data; reaching the newest returns to following.
    void scrollBy(double seconds);
    // Puts the right edge at `right` (none: follow), kept within the data as a scroll is.
    void scrollTo(std::optional<TimePoint> right);
    // The right edge while scrolled back; none while following.
    std::optional<TimePoint> scrollPosition() const { return scrollRight_; }

    double visibleSeconds() const { return visible_; }
    // Shows `seconds` at a time from now on (a longer stretch of a remembered record).
    void setVisibleSeconds(double seconds);
    TimePoint rightEdge() const;
    TimePoint leftEdge() const;

    // Horizontal position of `t` in a plot `width` wide, and back.
    double xFor(TimePoint t, double width) const;
    TimePoint timeAt(double x, double width) const;

  private:
    void clamp();

    double visible_;
    bool hasData_ = false;
    TimePoint oldest_{}, newest_{};
    std::optional<TimePoint> scrollRight_;  // the right edge while scrolled back
};

// Index of the point closest in time to `t` (the earlier of two equally close ones); none
// for an empty series. The points are in time order.
std::optional<size_t> nearestPoint(std::span<const MetricPoint> points, TimePoint t);

// A rounded ceiling for an automatic vertical scale: 1, 2 or 5 times a power of ten at or
// above `value`; `floor` for no data, zero or anything not finite.
double niceCeiling(double value, double floor = 1.0);

// The points of `points` that a plot `width` pixels wide shows between the viewport's edges,
// one per pixel column (the column's highest value, so short peaks stay visible), plus the
// nearest point outside each edge so the curve reaches the border. Not-finite values are
// left out. x in pixels, y as the value.
struct PlotPoint {
    double x = 0;
    double value = 0;
};
void thinForPlot(std::span<const MetricPoint> points, const ChartViewport& view, double width,
                 std::vector<PlotPoint>& out);

}  // namespace velmora
