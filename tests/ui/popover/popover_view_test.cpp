#include "ui/popover/popover_view.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_engine.h"
#include "ui/common/gauge_row.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "support/null_sources.h"

#include <QLabel>
#include <QLayout>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmora;

using velmora::test::NoSource;

namespace {

class Popover : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"), [] {
                      return QStringList();
                  }};
    MetricsEngine engine{std::make_unique<NoSource>()};
    int expands = 0, quits = 0;
    PopoverView view{engine, settings, loc, {[this] { ++expands; }, {}, {}, [this] { ++quits; }}};

    QStringList visibleTexts() const {
        QStringList out;
        for (const QLabel* l : view.findChildren<QLabel*>())
            if (l->isVisibleTo(&view) && !l->text().isEmpty()) out << l->text();
        return out;
    }
    QList<GaugeRow*> gauges() const { return view.findChildren<GaugeRow*>(); }
};

Snapshot busy() {
    Snapshot s;
    s.cpuTotal = 95;
    s.memPercent = 60;
    s.battery.present = true;
    s.battery.percent = 80;
    s.fans = {{.rpm = 3100}};
    s.cpuTempC = 88;
    s.processes = {{.pid = 10, .name = "compiler", .cpu = 180, .memBytes = 512ull << 20},
                   {.pid = 11, .name = "browser", .cpu = 40}};
    return s;
}

}  // namespace

TEST_F(Popover, LayoutMetrics) {
    EXPECT_EQ(view.width(), 320);
    EXPECT_EQ(view.layout()->contentsMargins(), QMargins(14, 14, 14, 14));
    EXPECT_EQ(gauges().size(), 5);
}

TEST_F(Popover, ShowsTheCurrentSnapshotWhileVisible) {
    view.show();
    engine.publish(busy());
    const QStringList texts = visibleTexts();
    EXPECT_TRUE(texts.contains("System load: " + loc.t("sevCritical"))) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.contains("80%"));
    EXPECT_TRUE(texts.contains("3100 RPM"));
    EXPECT_TRUE(texts.contains("(CPU 88°C)"));
    EXPECT_TRUE(texts.contains(loc.t("popHeavyProcs")));
    EXPECT_TRUE(texts.contains("compiler"));
    EXPECT_TRUE(texts.contains("180%"));
    EXPECT_TRUE(texts.contains("512 MB"));
    EXPECT_TRUE(texts.contains("40%"));
    EXPECT_FALSE(texts.contains(loc.t("popNoLoad")));
    EXPECT_EQ(gauges()[0]->detail(), "95%");

    Snapshot measured;
    measured.processesMeasured = true;
    engine.publish(measured);
    const QStringList calm = visibleTexts();
    EXPECT_TRUE(calm.contains(loc.t("popNoLoad"))) << "a measured, empty process list shows the seal";
    EXPECT_FALSE(calm.contains(loc.t("popMeasuring")));
    EXPECT_FALSE(calm.contains("compiler"));
    EXPECT_FALSE(calm.contains("80%")) << "no battery: the row is empty";
    EXPECT_FALSE(calm.contains("(CPU 88°C)"));
}

// Just after the popover opens the process list has not been measured yet: every process
// would read 0 %, so the section says it is measuring rather than that nothing is busy.
TEST_F(Popover, UnmeasuredProcessListShowsTheMeasuringLine) {
    view.show();
    Snapshot s = busy();
    for (ProcInfo& p : s.processes)
        p.cpu = 0;
    engine.publish(s);
    QStringList texts = visibleTexts();
    EXPECT_TRUE(texts.contains(loc.t("popMeasuring"))) << texts.join(" | ").toStdString();
    EXPECT_FALSE(texts.contains(loc.t("popNoLoad")));
    EXPECT_FALSE(texts.contains(loc.t("popHeavyProcs")));

    s = busy();
    s.processesMeasured = true;
    engine.publish(s);
    texts = visibleTexts();
    EXPECT_FALSE(texts.contains(loc.t("popMeasuring")));
    EXPECT_TRUE(texts.contains("compiler"));

    loc.apply(QStringLiteral("de"));
    engine.publish(Snapshot{});
    EXPECT_TRUE(visibleTexts().contains(loc.t("popMeasuring")));
    EXPECT_NE(loc.t("popMeasuring"), "Measuring process load…");
}

TEST_F(Popover, HiddenPopoverDoesNoWorkButCatchesUpWhenShown) {
    engine.publish(busy());
    EXPECT_NE(view.model().gauges[0].detail, "95%") << "not redrawn while hidden";
    view.show();
    EXPECT_EQ(view.model().gauges[0].detail, "95%");
}

TEST_F(Popover, LanguageChangeRedraws) {
    view.show();
    engine.publish(busy());
    loc.apply(QStringLiteral("ko"));
    EXPECT_TRUE(visibleTexts().contains(loc.t("popHeavyProcs")));
    EXPECT_EQ(view.button(PopoverView::Button::expand)->text(), loc.t("popExpand"));
    EXPECT_EQ(view.button(PopoverView::Button::quit)->toolTip(), loc.t("actQuit"));
    EXPECT_NE(loc.t("popExpand"), "Open dashboard");
}

TEST_F(Popover, ButtonsCallTheirActions) {
    view.button(PopoverView::Button::expand)->click();
    view.button(PopoverView::Button::quit)->click();
    view.button(PopoverView::Button::settings)->click();  // no action given: nothing happens
    EXPECT_EQ(expands, 1);
    EXPECT_EQ(quits, 1);
    view.setButtonAvailable(PopoverView::Button::storage, false);
    EXPECT_TRUE(view.button(PopoverView::Button::storage)->isHidden());
}

TEST(GaugeRowDrawing, BarFillsByValueAndGrowsWithAScale) {
    GaugeRow row;
    row.resize(292, 20);
    row.set("CPU", 50, "50%", std::nullopt);
    const QRectF bar = row.barRect();
    EXPECT_EQ(bar.height(), 7);
    EXPECT_DOUBLE_EQ(bar.width(), 292 - 64 - 120 - 16);
    EXPECT_DOUBLE_EQ(row.fillRect().width(), bar.width() / 2);
    row.set("CPU", 250, "250%", std::nullopt);
    EXPECT_DOUBLE_EQ(row.fillRect().width(), bar.width()) << "clamped at 100";
    row.set("CPU", -5, "", std::nullopt);
    EXPECT_DOUBLE_EQ(row.fillRect().width(), 0);
    row.set("Disk", 10, "", QStringLiteral("100MB"));
    EXPECT_EQ(row.barRect().height(), 11);

    QImage img(row.size(), QImage::Format_ARGB32);
    img.fill(Qt::white);
    row.set("CPU", 100, "100%", std::nullopt);
    row.render(&img);
    const QPointF mid = row.fillRect().center();
    EXPECT_EQ(QColor(img.pixel(mid.toPoint())), SystemColor::red());
}

TEST(SymbolLookup, EverySymbolShowsEvenWithoutAnIconTheme) {
    for (const char* name :
         {"battery.100.bolt", "battery.75", "fanblades.fill", "thermometer.medium", "checkmark.seal.fill",
          "hourglass", "arrow.up.left.and.arrow.down.right", "internaldrive", "gearshape", "power"}) {
        EXPECT_TRUE(Symbols::hasBundled(name)) << name;
        EXPECT_FALSE(Symbols::themeNames(name).isEmpty()) << name;
        EXPECT_FALSE(Symbols::icon(name).isNull()) << name;
        const QImage img = Symbols::pixmap(name, 16, SystemColor::red(), 2.0).toImage();
        ASSERT_EQ(img.size(), QSize(32, 32)) << name;
        int red = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = QColor::fromRgba(img.pixel(x, y));
                if (c.alpha() > 200 && c.red() > 200 && c.green() < 120) ++red;
            }
        EXPECT_GT(red, 20) << name << " is drawn in the asked colour";
    }
    EXPECT_TRUE(Symbols::icon("no.such.symbol").isNull());
    EXPECT_TRUE(Symbols::pixmap("no.such.symbol", 16, Qt::red).isNull());
}
