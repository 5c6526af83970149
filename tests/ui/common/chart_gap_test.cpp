// A chart over a remembered range: gaps break its lines and are shaded; the span it shows
// can be set.
#include "ui/common/time_chart.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const TimePoint t0 = TimePoint{} + std::chrono::hours(24 * 365 * 50);

TimePoint at(double seconds) {
    return t0 + std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
}

// A flat line at 50 % with a point every second over [from, to].
std::vector<MetricPoint> flat(int from, int to) {
    std::vector<MetricPoint> out;
    for (int i = from; i <= to; ++i) out.push_back({{}, at(i), 50});
    return out;
}

bool redAt(const QImage& image, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy) {
        const QColor c = image.pixelColor(x, y + dy);
        if (c.red() > c.green() + 60 && c.red() > c.blue() + 60) return true;
    }
    return false;
}

}  // namespace

TEST(ChartGaps, ALineBreaksOnlyWhereAGapLiesBetweenTwoPoints) {
    const std::vector<PlotPoint> plot = {{0, 1}, {10, 1}, {20, 1}, {30, 1}};
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> gaps;
        size_t from;
        size_t end;
    };
    const Case cases[] = {
        {"no gap", {}, 0, 4},
        {"inside", {{12, 18}}, 0, 2},
        {"at both points", {{10, 20}}, 0, 2},
        {"half a pixel past each point", {{9.5, 20.5}}, 0, 2},
        {"further past the left point", {{9.4, 18}}, 0, 4},
        {"further past the right point", {{12, 20.6}}, 0, 4},
        {"empty", {{15, 15}}, 0, 4},
        {"before the run's start", {{2, 8}}, 1, 4},
        {"two gaps, the next one", {{2, 8}, {22, 28}}, 1, 3},
    };
    for (const Case& c : cases) EXPECT_EQ(nextBreak(plot, c.gaps, c.from), c.end) << c.name;
}

TEST(ChartGaps, NoLineIsDrawnAcrossAGapAndOneIsWithoutIt) {
    TimeChart chart(nullptr, 100);
    chart.resize(200, 100);
    chart.setMaxY(100);
    std::vector<MetricPoint> points = flat(0, 39);
    for (const MetricPoint& p : flat(61, 100)) points.push_back(p);
    chart.setSeries({{points, Qt::red, false}});
    chart.show();
    const int y = 50;
    auto xOf = [](double seconds) { return static_cast<int>(seconds * 2); };

    const QImage joined = chart.grab().toImage();
    EXPECT_TRUE(redAt(joined, xOf(50), y)) << "without a gap the line joins its two sides";

    chart.setGaps({{at(39.5), at(60.5)}});
    const QImage broken = chart.grab().toImage();
    for (const double t : {41.0, 50.0, 59.0}) EXPECT_FALSE(redAt(broken, xOf(t), y)) << t;
    for (const double t : {20.0, 38.0, 62.0, 80.0}) EXPECT_TRUE(redAt(broken, xOf(t), y)) << t;
    // The gap is shaded: darker than the plot beside it.
    EXPECT_LT(broken.pixelColor(xOf(50), 10).lightness(), broken.pixelColor(xOf(20), 10).lightness());
}

TEST(ChartGaps, TheSpanShownCanBeSet) {
    TimeChart chart(nullptr, 300);
    chart.resize(200, 100);
    chart.setSeries({{flat(0, 3600), Qt::red, false}});
    EXPECT_EQ(chart.viewport().leftEdge(), at(3300));
    chart.setVisibleSeconds(3600);
    EXPECT_EQ(chart.viewport().leftEdge(), at(0));
    chart.setVisibleSeconds(0);  // refused: the span stays
    chart.setVisibleSeconds(-5);
    EXPECT_DOUBLE_EQ(chart.viewport().visibleSeconds(), 3600);
}
