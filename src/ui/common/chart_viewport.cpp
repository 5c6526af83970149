#include "ui/common/chart_viewport.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

using Seconds = std::chrono::duration<double>;

TimePoint shifted(TimePoint t, double seconds) {
    return t + std::chrono::duration_cast<TimePoint::duration>(Seconds(seconds));
}

double secondsBetween(TimePoint from, TimePoint to) {
    return std::chrono::duration_cast<Seconds>(to - from).count();
}

}  // namespace

void ChartViewport::setDataRange(TimePoint oldest, TimePoint newest) {
    oldest_ = std::min(oldest, newest);
    newest_ = newest;
    hasData_ = true;
    clamp();
}

void ChartViewport::scrollBy(double seconds) {
    if (!hasData_ || !std::isfinite(seconds) || seconds == 0) return;
    scrollRight_ = shifted(rightEdge(), -seconds);
    clamp();
}

void ChartViewport::scrollTo(std::optional<TimePoint> right) {
    scrollRight_ = right;
    if (hasData_) clamp();
}

void ChartViewport::setVisibleSeconds(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return;
    visible_ = seconds;
    if (hasData_) clamp();
}

void ChartViewport::clamp() {
    if (!scrollRight_) return;
    // The left edge may not pass the oldest data; a history shorter than the span cannot scroll.
    const TimePoint earliestRight = std::min(shifted(oldest_, visible_), newest_);
    if (*scrollRight_ >= newest_) {
        scrollRight_.reset();
        return;
    }
    if (*scrollRight_ < earliestRight) scrollRight_ = earliestRight;
    if (*scrollRight_ >= newest_) scrollRight_.reset();
}

TimePoint ChartViewport::rightEdge() const {
    if (scrollRight_) return *scrollRight_;
    return hasData_ ? newest_ : TimePoint{};
}

TimePoint ChartViewport::leftEdge() const {
    return shifted(rightEdge(), -visible_);
}

double ChartViewport::xFor(TimePoint t, double width) const {
    return width * secondsBetween(leftEdge(), t) / visible_;
}

TimePoint ChartViewport::timeAt(double x, double width) const {
    if (!(width > 0)) return rightEdge();
    return shifted(leftEdge(), visible_ * x / width);
}

std::optional<size_t> nearestPoint(std::span<const MetricPoint> points, TimePoint t) {
    if (points.empty()) return std::nullopt;
    const auto after = std::lower_bound(points.begin(), points.end(), t,
                                        [](const MetricPoint& p, TimePoint at) { return p.time < at; });
    if (after == points.begin()) return 0;
    if (after == points.end()) return points.size() - 1;
    const auto before = std::prev(after);
    // Equal distances go to the earlier point.
    return static_cast<size_t>((after->time - t < t - before->time ? after : before) - points.begin());
}

double niceCeiling(double value, double floor) {
    if (!std::isfinite(value) || value <= floor) return floor;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 5.0, 10.0})
        if (value <= step * power * (1 + 1e-12)) return step * power;
    return 10 * power;
}

void thinForPlot(std::span<const MetricPoint> points, const ChartViewport& view, double width,
                 std::vector<PlotPoint>& out) {
    out.clear();
    if (points.empty() || !(width > 0)) return;
    const TimePoint left = view.leftEdge(), right = view.rightEdge();
    auto first = std::lower_bound(points.begin(), points.end(), left,
                                  [](const MetricPoint& p, TimePoint at) { return p.time < at; });
    auto last = std::upper_bound(points.begin(), points.end(), right,
                                 [](TimePoint at, const MetricPoint& p) { return at < p.time; });
    if (first != points.begin()) --first;  // one beyond each edge, so the curve meets it
    if (last != points.end()) ++last;

    long column = 0;
    bool open = false;
    for (auto it = first; it != last; ++it) {
        if (!std::isfinite(it->value)) continue;
        const double x = view.xFor(it->time, width);
        const long c = std::lround(std::floor(x));
        if (open && c == column && x >= 0 && x <= width) {
            out.back().value = std::max(out.back().value, it->value);
            continue;
        }
        out.push_back({x, it->value});
        column = c;
        open = true;
    }
}

}  // namespace velmora
