#include "ui/common/chart_viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const TimePoint t0 = TimePoint{} + std::chrono::hours(24 * 365 * 50);

TimePoint at(double seconds) {
    return t0 + std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
}

double secondsOf(TimePoint t) {
    return std::chrono::duration<double>(t - t0).count();
}

std::vector<MetricPoint> everySecond(int count, double value = 10) {
    std::vector<MetricPoint> out;
    for (int i = 0; i < count; ++i)
        out.push_back({{}, at(i), value});
    return out;
}

}  // namespace

TEST(ChartViewport, FollowsScrollsBackAndFollowsAgainAtTheRightEdge) {
    // 600 s of data, 300 s visible.
    struct Step {
        double scroll;        // seconds into the past; 0 = only a new data range
        double newest;        // data's newest second after the step
        bool following;
        double right;         // expected right edge, seconds
    };
    const Step steps[] = {
        {0, 599, true, 599},      // starts following
        {60, 599, false, 539},    // scrolled back a minute
        {0, 600, false, 539},     // new data does not move a scrolled view
        {1000, 600, false, 300},  // no further back than the oldest data allows
        {-100, 600, false, 400},  // towards now
        {-500, 600, true, 600},   // past the right edge: following again
        {0, 601, true, 601},      // and moving with new data
    };
    ChartViewport view(300);
    for (const Step& s : steps) {
        view.setDataRange(at(0), at(s.newest));
        view.scrollBy(s.scroll);
        EXPECT_EQ(view.following(), s.following) << "after scrolling " << s.scroll;
        EXPECT_NEAR(secondsOf(view.rightEdge()), s.right, 1e-6) << "after scrolling " << s.scroll;
        EXPECT_NEAR(secondsOf(view.leftEdge()), s.right - 300, 1e-6);
    }
}

TEST(ChartViewport, ScrollingToAPositionKeepsItWithinTheData) {
    // 600 s of data, 300 s visible: right edges from 300 to 600 can be shown.
    struct Case {
        const char* what;
        std::optional<double> to;  // none: follow
        bool following;
        double right;
    };
    const Case cases[] = {
        {"inside the data", 450, false, 450},
        {"just inside the newest", 599.5, false, 599.5},
        {"at the newest: following", 600, true, 600},
        {"past the newest: following", 700, true, 600},
        {"at the earliest right edge", 300, false, 300},
        {"before it: held at it", 299, false, 300},
        {"far before the data", -5000, false, 300},
        {"none: following", std::nullopt, true, 600},
    };
    for (const Case& c : cases) {
        ChartViewport view(300);
        view.setDataRange(at(0), at(600));
        view.scrollTo(c.to ? std::optional<TimePoint>(at(*c.to)) : std::nullopt);
        EXPECT_EQ(view.following(), c.following) << c.what;
        EXPECT_EQ(view.scrollPosition().has_value(), !c.following) << c.what;
        EXPECT_NEAR(secondsOf(view.rightEdge()), c.right, 1e-6) << c.what;
    }

    // A position given before any data is kept, and fitted once the data comes.
    ChartViewport early(300);
    early.scrollTo(at(100));
    EXPECT_FALSE(early.following());
    early.setDataRange(at(0), at(600));
    EXPECT_NEAR(secondsOf(early.rightEdge()), 300, 1e-6);
    ChartViewport late(300);
    late.scrollTo(at(900));
    late.setDataRange(at(0), at(600));
    EXPECT_TRUE(late.following());
}

TEST(ChartViewport, ShortHistoryNoDataAndClockSteps) {
    ChartViewport view(300);
    view.scrollBy(50);  // nothing to scroll yet
    EXPECT_TRUE(view.following());
    EXPECT_FALSE(view.hasData());

    // 100 s of history cannot be scrolled within a 300 s span.
    view.setDataRange(at(0), at(100));
    view.scrollBy(30);
    EXPECT_TRUE(view.following());

    // Not finite scroll amounts are ignored.
    view.setDataRange(at(0), at(900));
    view.scrollBy(std::numeric_limits<double>::quiet_NaN());
    view.scrollBy(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(view.following());

    // The clock steps back below a scrolled position: the view comes back into the data.
    view.scrollBy(200);
    ASSERT_FALSE(view.following());
    view.setDataRange(at(0), at(500));
    EXPECT_TRUE(view.following());
    EXPECT_NEAR(secondsOf(view.rightEdge()), 500, 1e-6);

    // A newest stamp before the oldest one: a zero-length range, not a negative one.
    view.setDataRange(at(50), at(10));
    view.scrollBy(5);
    EXPECT_NEAR(secondsOf(view.rightEdge()), 10, 1e-6);
}

TEST(ChartViewport, MapsTimeToPixelsAndBack) {
    ChartViewport view(300);
    view.setDataRange(at(0), at(600));
    EXPECT_NEAR(view.xFor(at(600), 300), 300, 1e-6);
    EXPECT_NEAR(view.xFor(at(300), 300), 0, 1e-6);
    EXPECT_NEAR(view.xFor(at(450), 600), 300, 1e-6);
    EXPECT_NEAR(secondsOf(view.timeAt(150, 300)), 450, 1e-6);
    EXPECT_NEAR(secondsOf(view.timeAt(0, 0)), 600, 1e-6);  // no width: the right edge
}

TEST(ChartViewport, NearestPointPrefersTheEarlierOfTwoEquallyClose) {
    const std::vector<MetricPoint> points = {{{}, at(0), 1}, {{}, at(2), 2}, {{}, at(4), 3}};
    struct Case {
        double t;
        std::optional<size_t> index;
    };
    const Case cases[] = {{-5, 0}, {0, 0}, {0.9, 0}, {1, 0}, {1.1, 1}, {3, 1}, {3.5, 2}, {99, 2}};
    for (const Case& c : cases)
        EXPECT_EQ(nearestPoint(points, at(c.t)), c.index) << c.t;
    EXPECT_EQ(nearestPoint({}, at(0)), std::nullopt);
}

TEST(ChartViewport, NiceCeilings) {
    struct Case {
        double value, expected;
    };
    const Case cases[] = {{0, 1},    {-3, 1},   {0.5, 1},        {1, 1},      {1.01, 2}, {2, 2},
                          {2.1, 5},  {5, 5},    {7, 10},         {10, 10},    {11, 20},  {99, 100},
                          {101, 200}, {4.2e6, 5e6}, {std::nan(""), 1}, {INFINITY, 1}};
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(niceCeiling(c.value), c.expected) << c.value;
    EXPECT_DOUBLE_EQ(niceCeiling(0, 100), 100);
}

TEST(ChartViewport, ThinningKeepsOnePeakPerColumnAndReachesBothEdges) {
    ChartViewport view(300);
    std::vector<MetricPoint> points = everySecond(601);
    points[450].value = 90;  // a one-second peak
    points[451].value = std::nan("");
    view.setDataRange(points.front().time, points.back().time);

    std::vector<PlotPoint> plot;
    thinForPlot(points, view, 30, plot);  // ten seconds per pixel
    ASSERT_FALSE(plot.empty());
    EXPECT_LE(plot.size(), 33u);
    EXPECT_LT(plot.front().x, 0.0) << "starts beyond the left edge";
    EXPECT_NEAR(plot.back().x, 30, 1e-6);
    double peak = 0;
    for (const PlotPoint& p : plot) {
        EXPECT_TRUE(std::isfinite(p.value));
        peak = std::max(peak, p.value);
    }
    EXPECT_EQ(peak, 90) << "a short peak survives thinning";

    // Every point is kept where each has a column of its own.
    thinForPlot(points, view, 3000, plot);
    EXPECT_EQ(plot.size(), 301u);  // seconds 299 to 600, less the one not finite

    thinForPlot({}, view, 100, plot);
    EXPECT_TRUE(plot.empty());
    thinForPlot(points, view, 0, plot);
    EXPECT_TRUE(plot.empty());
}
