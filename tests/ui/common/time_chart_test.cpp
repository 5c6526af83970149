#include "ui/common/time_chart.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora;

namespace {

const TimePoint t0 = TimePoint{} + std::chrono::hours(24 * 365 * 50);

TimePoint at(double seconds) {
    return t0 + std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
}

std::vector<MetricPoint> ramp(int seconds, double start = 0, double step = 1) {
    std::vector<MetricPoint> out;
    for (int i = 0; i < seconds; ++i)
        out.push_back({{}, at(i), start + i * step});
    return out;
}

void send(QWidget& w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, pos, w.mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

// Pixel columns of `image` that hold a green-tinted pixel (the background and the grid are
// grey): how far a green curve reaches.
std::pair<int, int> greenColumns(const QImage& image) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > c.red() + 20 && c.green() > c.blue() + 20) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    return {first, last};
}

}  // namespace

TEST(TimeChart, DraggingAndWheelScrollBackThenTheRightEdgeFollowsAgain) {
    TimeChart chart(nullptr, 300);
    chart.resize(300, 100);
    chart.setSeries({{ramp(600), Qt::red, true}});
    std::vector<bool> following;
    QObject::connect(&chart, &TimeChart::followingChanged, [&](bool on) { following.push_back(on); });
    ASSERT_TRUE(chart.viewport().following());

    // Dragging 100 px to the right over a 300 px plot pulls 100 s of older data into view.
    send(chart, QEvent::MouseButtonPress, {100, 50}, Qt::LeftButton, Qt::LeftButton);
    send(chart, QEvent::MouseMove, {200, 50}, Qt::NoButton, Qt::LeftButton);
    send(chart, QEvent::MouseButtonRelease, {200, 50}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(chart.viewport().following());
    EXPECT_NEAR(std::chrono::duration<double>(chart.viewport().rightEdge() - at(0)).count(), 499, 0.5);
    EXPECT_EQ(following, std::vector<bool>{false});

    // A new point does not move the scrolled view.
    chart.setSeries({{ramp(601), Qt::red, true}});
    EXPECT_NEAR(std::chrono::duration<double>(chart.viewport().rightEdge() - at(0)).count(), 499, 0.5);

    // Wheel towards now: a notch is a tenth of the span; five notches pass the right edge.
    QWheelEvent wheel(QPointF(150, 50), chart.mapToGlobal(QPointF(150, 50)), {}, QPoint(0, -120 * 5),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &wheel);
    EXPECT_TRUE(chart.viewport().following());
    EXPECT_EQ(following, (std::vector<bool>{false, true}));
}

TEST(TimeChart, CursorShowsEachSeriesValueUnderThePointer) {
    TimeChart chart(nullptr, 300);
    chart.resize(300, 100);
    chart.setSeries({{ramp(600), Qt::red, true}, {ramp(600, 1000, 0), Qt::blue, false}});
    chart.setValueText([](double v) { return QStringLiteral("%1%").arg(v, 0, 'f', 0); });
    EXPECT_TRUE(chart.cursorText().isEmpty()) << "no cursor before the pointer arrives";

    // x = 150 of 300 is the middle of seconds 299..599.
    send(chart, QEvent::MouseMove, {150, 50}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(chart.cursorText(), QStringLiteral("449% · 1000%"));

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&chart, &leave);
    EXPECT_FALSE(chart.cursorTime().has_value());
}

TEST(TimeChart, DoubleClickAsksForAnalysis) {
    TimeChart chart;
    chart.resize(200, 80);
    int analyse = 0;
    QObject::connect(&chart, &TimeChart::analyseRequested, [&] { ++analyse; });
    send(chart, QEvent::MouseButtonDblClick, {50, 40}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(analyse, 1);
    send(chart, QEvent::MouseButtonDblClick, {50, 40}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(analyse, 1);
}

TEST(TimeChart, ScaleFixedOrFromTheDataAndCurvesThatSpanOnlyTheirHistory) {
    TimeChart chart(nullptr, 300);
    chart.resize(300, 100);
    const QColor curve(0x20, 0xA0, 0x20);

    // 60 s of history in a 300 s span: the curve covers only the rightmost fifth.
    chart.setSeries({{ramp(60, 10, 0), curve, false}});
    EXPECT_DOUBLE_EQ(chart.effectiveMaxY(), 10);
    chart.setMaxY(100.0);
    EXPECT_DOUBLE_EQ(chart.effectiveMaxY(), 100);
    const QImage image = chart.grab().toImage();
    const auto [first, last] = greenColumns(image);
    EXPECT_GE(first, 235);
    EXPECT_GE(last, 295);

    chart.setMaxY(std::nan(""));
    EXPECT_DOUBLE_EQ(chart.effectiveMaxY(), 10) << "a top that is not a number scales to the data";
    chart.setMaxY(std::nullopt);

    // Values not finite and an empty series draw nothing and break nothing.
    std::vector<MetricPoint> broken = ramp(10);
    for (MetricPoint& p : broken)
        p.value = std::nan("");
    chart.setSeries({{broken, curve, true}, {{}, Qt::blue, true}});
    EXPECT_EQ(greenColumns(chart.grab().toImage()).first, -1);
    EXPECT_DOUBLE_EQ(chart.effectiveMaxY(), 1);
}

TEST(TimeChart, AClickPicksAMomentAndADragDoesNot) {
    TimeChart chart(nullptr, 300);
    chart.resize(300, 100);
    chart.setSeries({{ramp(600), Qt::red, true}});
    std::vector<double> picked;
    QObject::connect(&chart, &TimeChart::timeClicked,
                     [&](TimePoint t) { picked.push_back(std::chrono::duration<double>(t - at(0)).count()); });

    send(chart, QEvent::MouseButtonPress, {150, 50}, Qt::LeftButton, Qt::LeftButton);
    send(chart, QEvent::MouseMove, {152, 50}, Qt::NoButton, Qt::LeftButton);  // a hand's tremor
    send(chart, QEvent::MouseButtonRelease, {152, 50}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(picked.size(), 1u);
    EXPECT_NEAR(picked[0], 449, 0.6) << "the moment pressed: a small drag carries the data along";

    send(chart, QEvent::MouseButtonPress, {100, 50}, Qt::LeftButton, Qt::LeftButton);
    send(chart, QEvent::MouseMove, {160, 50}, Qt::NoButton, Qt::LeftButton);
    send(chart, QEvent::MouseButtonRelease, {160, 50}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(picked.size(), 1u) << "a drag scrolls and picks nothing";

    // An empty chart has no moments to pick.
    TimeChart empty;
    empty.resize(100, 40);
    int clicks = 0;
    QObject::connect(&empty, &TimeChart::timeClicked, [&] { ++clicks; });
    send(empty, QEvent::MouseButtonPress, {50, 20}, Qt::LeftButton, Qt::LeftButton);
    send(empty, QEvent::MouseButtonRelease, {50, 20}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicks, 0);
}
