// What a screen reader hears of the painted widgets, and when it is told of a change.
#include "ui/common/accessibility.h"

#include "core/localizer.h"
#include "ui/common/gauge_row.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/time_chart.h"
#include "ui/dashboard/dashboard_cards.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

Localizer language(const char* code) {
    return Localizer({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QString::fromLatin1(code),
                     [] { return QStringList(); });
}

QAccessibleInterface* accessible(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w);
}

// Points a second apart, the last at `end`.
std::vector<MetricPoint> points(TimePoint end, std::initializer_list<double> values) {
    std::vector<MetricPoint> out;
    auto t = end - std::chrono::seconds(values.size() - 1);
    for (double v : values) {
        out.push_back({{std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count(), 0}, t, v});
        t += 1s;
    }
    return out;
}

}  // namespace

TEST(Accessibility, GaugeLevelsFollowTheFillColoursThresholds) {
    const struct {
        double value;
        Severity level;
    } cases[] = {{0, Severity::normal},       {48.99, Severity::normal}, {49, Severity::elevated},
                 {69.99, Severity::elevated}, {70, Severity::high},      {89.99, Severity::high},
                 {90, Severity::critical},    {100, Severity::critical}, {250, Severity::critical}};
    for (const auto& c : cases) {
        EXPECT_EQ(Accessibility::gaugeSeverity(c.value), c.level) << c.value;
        EXPECT_EQ(GaugeRow::fillColor(c.value), SystemColor::forSeverity(c.level)) << "colour and word agree at " << c.value;
    }
}

TEST(Accessibility, AGaugeReadsItsLabelPercentAndLevelInTheInterfaceLanguage) {
    Localizer en = language("en"), ko = language("ko"), de = language("de");
    const struct {
        const Localizer* loc;
        double value;
        const char* expected;
    } cases[] = {
        {&en, 43, "CPU, 43 percent, normal"},
        {&en, 97.4, "CPU, 97 percent, critical"},
        {&en, 89.6, "CPU, 90 percent, high"},  // the level the bar shows, the figure rounded
        {&en, std::numeric_limits<double>::quiet_NaN(), "CPU, 0 percent, normal"},
        {&ko, 75, "CPU, 75퍼센트, 높음"},
        {&de, 50, "CPU, 50 Prozent, erhöht"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Accessibility::gaugeText(*c.loc, QStringLiteral("CPU"), c.value), QString::fromUtf8(c.expected))
            << c.value;
}

TEST(Accessibility, AGaugeIsAProgressBarWithItsValue) {
    Localizer ko = language("ko");
    QWidget window;
    Accessibility::useLocalizer(&window, ko);
    auto* gauge = new GaugeRow(&window);
    gauge->set(QStringLiteral("GPU"), 43, QStringLiteral("3.1 / 8 GB"), std::nullopt);
    QAccessibleInterface* i = accessible(gauge);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::ProgressBar);
    EXPECT_EQ(i->text(QAccessible::Name), Accessibility::gaugeText(ko, QStringLiteral("GPU"), 43)) << "the window's language";
    EXPECT_EQ(i->text(QAccessible::Description), QStringLiteral("3.1 / 8 GB"));
    QAccessibleValueInterface* value = i->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toDouble(), 43);
    EXPECT_EQ(value->minimumValue().toDouble(), 0);
    EXPECT_EQ(value->maximumValue().toDouble(), 100);
    gauge->set(QStringLiteral("GPU"), 91, {}, std::nullopt);
    EXPECT_EQ(value->currentValue().toDouble(), 91) << "read when asked, never stale";
}

TEST(Accessibility, AChartReadsItsMetricSpanNewestValueAndPeakInSight) {
    Localizer en = language("en");
    const TimePoint end = WallClock::now();
    const struct {
        double visibleSeconds;
        std::vector<MetricPoint> data;
        const char* expected;
    } cases[] = {
        {300, points(end, {10, 97, 43}), "CPU over the last 5 minutes, now 43%, peak 97%"},
        // A peak older than the span in sight is not this view's peak.
        {2, points(end, {99, 5, 10, 43}), "CPU over the last 1 minutes, now 43%, peak 43%"},
        {24 * 3600, points(end, {5, 6}), "CPU over the last 24 hours, now 6%, peak 6%"},
        {90 * 60, points(end, {5, 6}), "CPU over the last 90 minutes, now 6%, peak 6%"},
        {300, {}, "CPU, no data yet"},
    };
    for (const auto& c : cases) {
        QWidget window;
        Accessibility::useLocalizer(&window, en);
        auto* chart = new TimeChart(&window, c.visibleSeconds);
        chart->setAccessibleName(QStringLiteral("CPU"));
        chart->setValueText([](double v) { return QString::number(v, 'f', 0) + u'%'; });
        chart->setSeries({{c.data, Qt::red}});
        QAccessibleInterface* i = accessible(chart);
        EXPECT_EQ(i->role(), QAccessible::Chart);
        EXPECT_EQ(i->text(QAccessible::Name), QString::fromUtf8(c.expected));
    }
}

TEST(Accessibility, AChartWithoutANameOfItsOwnTakesItsCardsAndOneWithNeitherSaysNothing) {
    ChartCard card(AnalysisKind::memory);
    card.setTitle(QStringLiteral("Memory"));
    card.setValue(QStringLiteral("61%"));
    card.chart()->setSeries({{points(WallClock::now(), {61}), Qt::blue}});
    QAccessibleInterface* c = accessible(&card);
    EXPECT_EQ(c->role(), QAccessible::Grouping);
    EXPECT_EQ(c->text(QAccessible::Name), QStringLiteral("Memory"));
    EXPECT_EQ(c->text(QAccessible::Description), QStringLiteral("61%"));
    EXPECT_TRUE(accessible(card.chart())->text(QAccessible::Name).startsWith(QStringLiteral("Memory over the last")));

    QWidget bare;
    auto* chart = new TimeChart(&bare);
    EXPECT_EQ(accessible(chart)->text(QAccessible::Name), QString()) << "the tree walk reports it unnamed";
}

TEST(Accessibility, AFanReadsItsSpeedOrThatItStopped) {
    Localizer en = language("en");
    QWidget window;
    Accessibility::useLocalizer(&window, en);
    auto* fan = new SpinningFanView(&window);
    EXPECT_EQ(accessible(fan)->text(QAccessible::Name), en.t("a11yFanStopped"));
    fan->setFan({.rpm = 3500, .minRPM = 1000, .maxRPM = 6000});
    EXPECT_EQ(accessible(fan)->text(QAccessible::Name),
              en.t("a11yFanSpeed", static_cast<int>(std::lround(fan->ratio() * 100))));
    EXPECT_FALSE(fan->stopped());
}

// The event itself reaches only a tool on the accessibility bus (none offscreen; the AT-SPI
// check sees it); here, that the line shows the text and a missing line is harmless.
TEST(Accessibility, AnAnnouncementShowsInItsLine) {
    QLabel live;
    live.setAccessibleName(QStringLiteral("Result"));
    Accessibility::announce(&live, QStringLiteral("Quit sent to 2 processes."));
    EXPECT_EQ(live.text(), QStringLiteral("Quit sent to 2 processes."));
    Accessibility::announce(nullptr, QStringLiteral("nowhere"));
}

TEST(Accessibility, ShortcutsAreWrittenAfterTheName) {
    EXPECT_EQ(Accessibility::withShortcut(QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5)), QStringLiteral("Refresh (F5)"));
    EXPECT_EQ(Accessibility::withShortcut(QStringLiteral("Refresh"), QKeySequence()), QStringLiteral("Refresh"));
    EXPECT_EQ(Accessibility::settingsKeys(), QKeySequence(QStringLiteral("Ctrl+,")));
}

TEST(Contrast, RatiosFollowWcag) {
    const struct {
        QColor fg, bg;
        double ratio;
    } cases[] = {
        {Qt::black, Qt::white, 21},
        {Qt::white, Qt::white, 1},
        {QColor(0x76, 0x76, 0x76), Qt::white, 4.54},  // the lightest grey that passes on white
        {QColor(0x77, 0x77, 0x77), Qt::white, 4.48},  // one step lighter fails
        {QColor(0, 0, 0, 153), Qt::white, 5.74},      // black at 60 % is seen as #666666
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(SystemColor::contrastRatio(c.fg, c.bg), c.ratio, 0.01) << c.fg.name().toStdString();
        EXPECT_NEAR(SystemColor::contrastRatio(c.bg, c.fg.alpha() == 255 ? c.fg : SystemColor::over(c.fg, c.bg)), c.ratio, 0.01)
            << "the same either way round";
    }
}

TEST(Contrast, AStatusColourIsMadeReadableOnlyWhereItIsNot) {
    const QColor light(0xEF, 0xEF, 0xEF), dark(0x24, 0x24, 0x24);
    for (const QColor& status : {SystemColor::green(), SystemColor::yellow(), SystemColor::orange(), SystemColor::red(),
                                 SystemColor::blue(), SystemColor::teal(), SystemColor::purple()})
        for (const QColor& bg : {light, dark}) {
            const QColor text = SystemColor::readable(status, bg);
            EXPECT_GE(SystemColor::contrastRatio(text, bg), SystemColor::kTextContrast) << status.name().toStdString();
            // Just enough: one step less would not read.
            if (text != status) {
                float h, s, l, a, h0, s0, l0, a0;
                text.getHslF(&h, &s, &l, &a);
                status.getHslF(&h0, &s0, &l0, &a0);
                EXPECT_EQ(SystemColor::isDark(bg), l > l0) << "lighter on dark, darker on light";
                const QColor before = QColor::fromHslF(h, s, std::clamp(l + (l > l0 ? -0.02f : 0.02f), 0.0f, 1.0f));
                EXPECT_LT(SystemColor::contrastRatio(before, bg), SystemColor::kTextContrast) << status.name().toStdString();
            }
        }
    // A colour that reads already is kept as it is.
    EXPECT_EQ(SystemColor::readable(Qt::black, Qt::white), QColor(Qt::black));
    EXPECT_EQ(SystemColor::readable(SystemColor::yellow(), QColor(0x24, 0x24, 0x24)), SystemColor::yellow());
}

TEST(Contrast, DarknessIsTheBackgroundsLuminance) {
    EXPECT_TRUE(SystemColor::isDark(QColor(0x35, 0x35, 0x35)));
    EXPECT_FALSE(SystemColor::isDark(QColor(0xEF, 0xEF, 0xEF)));
    // Around the point where black and white text read equally well.
    EXPECT_TRUE(SystemColor::isDark(QColor(0x75, 0x75, 0x75)));
    EXPECT_FALSE(SystemColor::isDark(QColor(0x76, 0x76, 0x76)));
}

// An icon-only button's symbol is drawn in the palette's text colour, so it reads on a light
// and a dark window alike.
TEST(Contrast, SymbolsAreDrawnInThePalettesTextColour) {
    const QPalette before = QApplication::palette();
    for (const QColor& text : {QColor(Qt::black), QColor(0xEE, 0xEE, 0xEC)}) {
        QPalette p = before;
        p.setColor(QPalette::WindowText, text);
        QApplication::setPalette(p);
        const QImage image = Symbols::icon(QStringLiteral("gearshape")).pixmap(32).toImage();
        int opaque = 0, other = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (const QColor px = image.pixelColor(x, y); px.alpha() == 255) {
                    ++opaque;
                    if (px.rgb() != text.rgb()) ++other;
                }
        EXPECT_GT(opaque, 0);
        EXPECT_EQ(other, 0) << "pixels of another colour than " << text.name().toStdString();
    }
    QApplication::setPalette(before);
}

TEST(Accessibility, AWidgetThatOutlivesItsLocalizerSpeaksTheSharedOne) {
    QWidget window;
    auto* gauge = new GaugeRow(&window);
    gauge->set(QStringLiteral("CPU"), 10, {}, std::nullopt);
    {
        Localizer ko = language("ko");
        Accessibility::useLocalizer(&window, ko);
        EXPECT_EQ(&Accessibility::localizerFor(gauge), &ko);
    }
    EXPECT_EQ(&Accessibility::localizerFor(gauge), &Localizer::shared());
    EXPECT_FALSE(accessible(gauge)->text(QAccessible::Name).isEmpty());
}
