#include "ui/common/time_chart.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>

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

    // Named series say which value is which; the others stay bare.
    chart.setSeries({{ramp(600), Qt::red, true, 1.0, QStringLiteral("Read {0}")}, {ramp(600, 1000, 0), Qt::blue, false}});
    EXPECT_EQ(chart.cursorText(), QStringLiteral("Read 449% · 1000%"));

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

namespace {

double rightOf(const TimeChart& chart) {
    return std::chrono::duration<double>(chart.viewport().rightEdge() - at(0)).count();
}

void drag(TimeChart& chart, double fromX, double toX) {
    send(chart, QEvent::MouseButtonPress, {fromX, 50}, Qt::LeftButton, Qt::LeftButton);
    send(chart, QEvent::MouseMove, {toX, 50}, Qt::NoButton, Qt::LeftButton);
    send(chart, QEvent::MouseButtonRelease, {toX, 50}, Qt::LeftButton, Qt::NoButton);
}

void wheel(TimeChart& chart, int notches) {
    QWheelEvent e(QPointF(150, 50), chart.mapToGlobal(QPointF(150, 50)), {}, QPoint(0, 120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &e);
}

}  // namespace

TEST(TimeChart, ChartsSharingAScrollMoveTogetherAndFollowTogether) {
    ChartScroll scroll;
    std::vector<std::unique_ptr<TimeChart>> charts;
    for (int i = 0; i < 3; ++i) {
        charts.push_back(std::make_unique<TimeChart>(nullptr, 300));
        charts.back()->resize(300, 100);
        charts.back()->setSeries({{ramp(600), Qt::red, true}});
        charts.back()->setScroll(&scroll);
    }
    TimeChart& a = *charts[0];
    TimeChart& b = *charts[1];
    TimeChart& c = *charts[2];
    int moves = 0;
    QObject::connect(&scroll, &ChartScroll::moved, [&] { ++moves; });
    std::vector<bool> bFollowing;
    QObject::connect(&b, &TimeChart::followingChanged, [&](bool on) { bFollowing.push_back(on); });

    // Dragging one chart 100 px right moves every chart 100 s into the past.
    drag(a, 100, 200);
    EXPECT_FALSE(scroll.follow());
    for (const auto& chart : charts) {
        EXPECT_FALSE(chart->viewport().following());
        EXPECT_NEAR(rightOf(*chart), 499, 0.5);
    }
    EXPECT_EQ(bFollowing, std::vector<bool>{false}) << "a chart moved by another says so too";

    // Wheeling another chart moves them all again: two notches back is 60 s.
    wheel(c, 2);
    for (const auto& chart : charts)
        EXPECT_NEAR(rightOf(*chart), 439, 0.5);

    // New data leaves the scrolled charts where they are.
    b.setSeries({{ramp(620), Qt::red, true}});
    EXPECT_NEAR(rightOf(b), 439, 0.5);

    // Wheeling past the right edge of any chart makes all of them follow the newest data.
    const int before = moves;
    wheel(b, -10);
    EXPECT_TRUE(scroll.follow());
    EXPECT_EQ(moves, before + 1);
    for (const auto& chart : charts)
        EXPECT_TRUE(chart->viewport().following());
    EXPECT_NEAR(rightOf(b), 619, 0.5) << "following its own newest point";
    EXPECT_EQ(bFollowing, (std::vector<bool>{false, true}));

    // A chart that no longer shares the position scrolls alone.
    c.setScroll(nullptr);
    drag(c, 100, 150);
    EXPECT_FALSE(c.viewport().following());
    EXPECT_TRUE(scroll.follow());
    EXPECT_TRUE(a.viewport().following());
}

TEST(TimeChart, AChartWithAShorterHistoryShowsWhatItHasAndDoesNotMoveTheOthers) {
    ChartScroll scroll;
    TimeChart full(nullptr, 300), recent(nullptr, 300);
    for (TimeChart* chart : {&full, &recent}) {
        chart->resize(300, 100);
        chart->setScroll(&scroll);
    }
    full.setSeries({{ramp(600), Qt::red, true}});
    std::vector<MetricPoint> tail;  // seconds 200..599 only
    for (const MetricPoint& p : ramp(600))
        if (p.time >= at(200)) tail.push_back(p);
    recent.setSeries({{tail, Qt::red, true}});

    // About 250 s back (250 px of a 299 px plot): the full chart goes there; the other stops at its oldest data.
    drag(full, 0, 250);
    EXPECT_NEAR(rightOf(full), 348.2, 0.5);
    EXPECT_NEAR(rightOf(recent), 500, 0.5);
    ASSERT_TRUE(scroll.position().has_value());
    EXPECT_NEAR(std::chrono::duration<double>(*scroll.position() - at(0)).count(), 348.2, 0.5)
        << "the shorter chart's limit is its own";

    // Its next data keeps it clamped while the shared position stays.
    recent.setSeries({{tail, Qt::red, true}});
    EXPECT_NEAR(rightOf(recent), 500, 0.5);
    EXPECT_NEAR(rightOf(full), 348.2, 0.5);

    // A chart that joins later takes the shared position at once.
    TimeChart late(nullptr, 300);
    late.resize(300, 100);
    late.setSeries({{ramp(600), Qt::red, true}});
    late.setScroll(&scroll);
    EXPECT_NEAR(rightOf(late), 348.2, 0.5);
}

TEST(ChartScroll, SettlesBackToFollowingWhenTheClockPassesBehindIt) {
    struct Case {
        const char* what;
        std::optional<double> position;  // none: following
        double newest;
        bool follows;
        int moves;
    };
    const Case cases[] = {
        {"behind the newest data: kept", 400, 401, false, 0},
        {"at the newest data: follows", 400, 400, true, 1},
        {"past it (the clock stepped back): follows", 400, 100, true, 1},
        {"following already: nothing to say", std::nullopt, 100, true, 0},
    };
    for (const Case& c : cases) {
        ChartScroll scroll;
        scroll.scrollTo(c.position ? std::optional<TimePoint>(at(*c.position)) : std::nullopt);
        int moves = 0;
        QObject::connect(&scroll, &ChartScroll::moved, [&] { ++moves; });
        scroll.settle(at(c.newest));
        EXPECT_EQ(scroll.follow(), c.follows) << c.what;
        EXPECT_EQ(moves, c.moves) << c.what;
    }

    // Moving to where it already is announces nothing.
    ChartScroll scroll;
    int moves = 0;
    QObject::connect(&scroll, &ChartScroll::moved, [&] { ++moves; });
    scroll.scrollTo(std::nullopt);
    scroll.scrollTo(at(10));
    scroll.scrollTo(at(10));
    scroll.scrollTo(at(11));
    EXPECT_EQ(moves, 2);
    EXPECT_EQ(scroll.scrollX(), at(11));
}

namespace {

const ChartAxis::TimeMarkTexts markWords{QStringLiteral("now"), QStringLiteral("−{0} s"),
                                         QStringLiteral("−{0} min"), QStringLiteral("−{0} h")};

std::vector<MetricPoint> flat(int seconds, double value) {
    std::vector<MetricPoint> out;
    for (int i = 0; i < seconds; ++i)
        out.push_back({{}, at(i), value});
    return out;
}

QStringList markTexts(const TimeChart& chart) {
    QStringList out;
    for (const auto& [x, text] : chart.timeMarks())
        out << text;
    return out;
}

void wheelWith(TimeChart& chart, QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPointF pos(chart.width() / 2.0, chart.height() / 2.0);
    QWheelEvent e(pos, chart.mapToGlobal(pos), {}, angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &e);
}

}  // namespace

TEST(TimeChartAxis, TopLabelNamesTheScaleOfEachUnit) {
    constexpr double MiB = 1024.0 * 1024.0;
    struct Case {
        AxisUnit unit;
        std::optional<double> fixedTop;
        double minimumTop;
        double peak;
        const char* label;
    };
    const Case cases[] = {
        {AxisUnit::percent, 100, 1, 42, "100%"},
        {AxisUnit::percent, std::nullopt, 1, 42, "50%"},
        {AxisUnit::bytesPerSecond, std::nullopt, MiB, 1000, "1.0 MB/s"},          // below the floor
        {AxisUnit::bytesPerSecond, std::nullopt, MiB, MiB, "1.0 MB/s"},           // at it
        {AxisUnit::bytesPerSecond, std::nullopt, MiB, MiB + 1, "2.0 MB/s"},       // above it
        {AxisUnit::bytesPerSecond, std::nullopt, 1024, 1023, "1.0 KB/s"},
        {AxisUnit::bytesPerSecond, std::nullopt, 1024, 1025, "2.0 KB/s"},
        {AxisUnit::bytesPerSecond, std::nullopt, 1024, 600.0 * 1024, "1000 KB/s"},
        {AxisUnit::bytesPerSecond, std::nullopt, 1024, 1010.0 * 1024, "1.0 MB/s"},
        {AxisUnit::celsius, 110, 1, 60, "110°C"},
        {AxisUnit::none, std::nullopt, 1, 3, ""},
    };
    for (const Case& c : cases) {
        TimeChart chart(nullptr, 300);
        chart.resize(300, 100);
        chart.setAxisUnit(c.unit);
        chart.setMinimumTop(c.minimumTop);
        chart.setMaxY(c.fixedTop);
        chart.setSeries({{flat(10, c.peak), Qt::red, true}});
        EXPECT_EQ(chart.topLabel(), QString::fromUtf8(c.label)) << c.label << " for " << c.peak;
    }
}

TEST(TimeChartAxis, LabelsAreMadeOnlyWhenTheScaleOrTheWordsChange) {
    TimeChart chart(nullptr, 300);
    chart.resize(400, 100);
    chart.setAxisUnit(AxisUnit::bytesPerSecond);
    chart.setTimeMarkTexts(markWords);
    chart.setSeries({{flat(600, 3000), Qt::red, true}});
    QImage frame(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&frame);
    const int made = chart.axisTextsMade();
    EXPECT_GT(made, 0);
    EXPECT_EQ(chart.topLabel(), QStringLiteral("5.0 KB/s"));

    // New data on the same scale, and more frames: nothing made again.
    for (int i = 0; i < 5; ++i) {
        chart.setSeries({{flat(601 + i, 4000), Qt::red, true}});
        chart.render(&frame);
    }
    EXPECT_EQ(chart.axisTextsMade(), made);

    // A peak past the top: only the top label is made again.
    chart.setSeries({{flat(610, 6000), Qt::red, true}});
    chart.render(&frame);
    EXPECT_EQ(chart.axisTextsMade(), made + 1);
    EXPECT_EQ(chart.topLabel(), QStringLiteral("10.0 KB/s"));

    // Other words make the marks anew.
    ChartAxis::TimeMarkTexts other = markWords;
    other.now = QStringLiteral("jetzt");
    chart.setTimeMarkTexts(other);
    chart.render(&frame);
    EXPECT_GT(chart.axisTextsMade(), made + 1);
    EXPECT_TRUE(markTexts(chart).contains(QStringLiteral("jetzt")));
}

TEST(TimeChartAxis, TimeMarksFollowTheSpanAndCountBackFromTheNewestData) {
    struct Case {
        double span;
        int width;
        QStringList marks;
    };
    const Case cases[] = {
        {300, 400, {"−5 min", "−2.5 min", "now"}},
        {300, 100, {"−5 min", "now"}},  // no room for a middle mark
        {60, 400, {"−60 s", "−45 s", "−30 s", "−15 s", "now"}},
        {600, 400, {"−10 min", "−7.5 min", "−5 min", "−2.5 min", "now"}},
        {3600, 400, {"−60 min", "−45 min", "−30 min", "−15 min", "now"}},
        {86400, 400, {"−24 h", "−18 h", "−12 h", "−6 h", "now"}},
    };
    for (const Case& c : cases) {
        TimeChart chart(nullptr, c.span);
        chart.resize(c.width, 100);
        chart.setTimeMarkTexts(markWords);
        chart.setSeries({{flat(90000, 1), Qt::red, true}});
        const auto marks = chart.timeMarks();
        EXPECT_EQ(markTexts(chart), c.marks) << c.span;
        ASSERT_FALSE(marks.empty());
        // From the left edge to the right, evenly.
        EXPECT_NEAR(marks.front().first, 0, 0.5) << c.span;
        EXPECT_NEAR(marks.back().first, c.width - 1, 0.5) << c.span;
    }

    // Scrolled back 100 s of a 300 s span: "now" is out of sight, the marks keep their times.
    TimeChart chart(nullptr, 300);
    chart.resize(400, 100);
    chart.setTimeMarkTexts(markWords);
    chart.setSeries({{flat(600, 1), Qt::red, true}});
    chart.viewport().scrollBy(100);
    EXPECT_EQ(markTexts(chart), (QStringList{"−5 min", "−2.5 min"}));

    // Far back in a long history the marks still read right.
    TimeChart longer(nullptr, 60);
    longer.resize(400, 100);
    longer.setTimeMarkTexts(markWords);
    longer.setSeries({{flat(7200, 1), Qt::red, true}});
    longer.viewport().scrollBy(7000);
    EXPECT_EQ(markTexts(longer), (QStringList{"−7050 s", "−7035 s", "−7020 s", "−7005 s"}))
        << "every 15 s, two hours back";

    // Without words there are no marks, and the plot keeps the whole height.
    TimeChart bare(nullptr, 300);
    bare.resize(400, 100);
    bare.setSeries({{flat(600, 1), Qt::red, true}});
    EXPECT_TRUE(bare.timeMarks().empty());
}

TEST(TimeChartWheel, VerticalWheelScrollsThePageHorizontalOrShiftScrollsTheTime) {
    struct Case {
        const char* what;
        QPoint angle;
        Qt::KeyboardModifiers modifiers;
        bool inScrollArea;
        bool timeMoves;
        bool pageMoves;
    };
    const Case cases[] = {
        {"vertical in a page: the page", {0, -120}, Qt::NoModifier, true, false, true},
        {"horizontal in a page: the time", {120, 0}, Qt::NoModifier, true, true, false},
        {"shift and vertical in a page: the time", {0, 120}, Qt::ShiftModifier, true, true, false},
        {"vertical on its own: the time", {0, 120}, Qt::NoModifier, false, true, false},
        {"horizontal on its own: the time", {120, 0}, Qt::NoModifier, false, true, false},
    };
    for (const Case& c : cases) {
        QScrollArea area;
        area.resize(400, 200);
        auto* content = new QWidget;
        auto* column = new QVBoxLayout(content);
        auto* chart = new TimeChart(c.inScrollArea ? content : nullptr, 300);
        std::unique_ptr<TimeChart> own(c.inScrollArea ? nullptr : chart);
        chart->setFixedSize(300, 100);
        if (c.inScrollArea) column->addWidget(chart);
        auto* filler = new QWidget(content);
        filler->setFixedHeight(1000);
        column->addWidget(filler);
        area.setWidget(content);
        area.show();
        chart->setSeries({{flat(600, 1), Qt::red, true}});
        area.verticalScrollBar()->setValue(100);
        wheelWith(*chart, c.angle, c.modifiers);
        EXPECT_EQ(!chart->viewport().following(), c.timeMoves) << c.what;
        EXPECT_EQ(area.verticalScrollBar()->value() != 100, c.pageMoves) << c.what;
    }
}
