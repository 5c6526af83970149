#include "ui/dashboard/dashboard_view.h"

#include "core/format.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "samplers/cpu_sampler.h"
#include "ui/common/system_colors.h"
#include "dashboard_test_support.h"
#include "support/fake_processes.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QToolButton>

#include <gtest/gtest.h>

#include <csignal>

using namespace velmora;

namespace {

class Dashboard : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer& loc = Localizer::shared();
    test::FakeFeed feed;
    CoreTopology topology;
    std::vector<AnalysisKind> analysed;
    std::vector<int32_t> detailed;
    std::shared_ptr<test::FakeProcesses> fake = std::make_shared<test::FakeProcesses>();
    std::vector<std::pair<int32_t, int>>& signals_ = fake->sent;
    std::set<int32_t>& refusing = fake->refusing;
    std::vector<KillRequest> asked;
    std::function<void()> whileAsking;
    int confirmations = 0;
    bool answer = true;
    std::unique_ptr<DashboardView> view;

    void SetUp() override {
        loc.apply(QStringLiteral("en"));
        topology.groups = {{CoreKind::efficiency(), {0, 1}}, {CoreKind::performance(), {2, 3}}};
        DashboardView::Hooks hooks;
        hooks.onAnalyze = [this](AnalysisKind k) { analysed.push_back(k); };
        hooks.topology = &topology;
        hooks.processes.openDetail = [this](int32_t pid) { detailed.push_back(pid); };
        // Every process is an ordinary one of this user, so the advice stays plain.
        hooks.processes.actions.advisor = std::make_shared<KillAdvisor>(
            [](int32_t pid) { return KillAdvisor::Facts{QStringLiteral("p%1").arg(pid), "/usr/bin/x", 1000}; },
            1000);
        // The rows carry no stamps: each is taken from these when the user asks.
        for (int32_t pid = 2; pid < 100; ++pid)
            fake->add(pid, 100 + static_cast<uint64_t>(pid));
        hooks.processes.actions.control = test::controlOver(fake);
        hooks.processes.actions.confirm = [this](const KillRequest& r, QWidget*) {
            ++confirmations;
            asked.push_back(r);
            if (whileAsking) whileAsking();
            return answer;
        };
        view = std::make_unique<DashboardView>(feed, settings, loc, std::move(hooks));
        view->resize(1000, 3000);  // every card in sight unless a test says otherwise
    }

    ProcessPanel* panel() const { return view->processes(); }
    std::vector<int32_t> shownRowsSelected() const {
        std::vector<int32_t> out;
        for (const QModelIndex& i : panel()->table()->selectionModel()->selectedRows())
            out.push_back(i.data(ProcessTableModel::PidRole).toInt());
        std::sort(out.begin(), out.end());
        return out;
    }
    void selectPids(const std::set<int32_t>& pids) {
        QTableView* t = panel()->table();
        for (int r = 0; r < t->model()->rowCount(); ++r)
            if (pids.contains(t->model()->index(r, 0).data(ProcessTableModel::PidRole).toInt()))
                t->selectionModel()->select(t->model()->index(r, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

ProcInfo proc(int32_t pid, const QString& name, double cpu) {
    return {.pid = pid, .name = name, .cpu = cpu, .memBytes = 1u << 20};
}

using Key = ProcessTableState::RowKey;
Key row(int32_t pid) {
    return {{}, pid, 0};
}

Snapshot critical() {
    Snapshot s;
    s.cpuTotal = 93;
    s.cpuPerCore = {10, 20, 90, 70};
    s.gpuPercent = 71;
    s.memPercent = 50;
    s.swapUsed = 3ull << 30;
    s.diskPercent = 96;
    s.thermalState = ThermalState::serious;
    s.cpuTempC = 72;
    s.hottestC = 96;
    s.cpuPowerW = 12.5;
    s.battery.present = true;
    s.battery.percent = 64;
    s.battery.timeToEmptyMin = 90;
    s.battery.cycleCount = 321;
    s.battery.healthPercent = 88;
    s.fans = {{.rpm = 3000, .target = 3000, .minRPM = 1000, .maxRPM = 5000}};
    s.processes = {proc(10, "ten", 5), proc(20, "twenty", 50), proc(30, "thirty", 20)};
    return s;
}

}  // namespace

TEST_F(Dashboard, CardsShowTheSnapshotWithTheirColours) {
    view->show();
    feed.publish(critical());

    EXPECT_EQ(view->statusText(), loc.t("dashStatus", loc.t("sevCritical")));
    EXPECT_EQ(view->statusColor(), SystemColor::red());
    EXPECT_EQ(view->diskBadgeText(), loc.t("dashDiskUsage", QStringLiteral("96%")));
    ASSERT_TRUE(view->diskBadgeColor().has_value());
    EXPECT_EQ(*view->diskBadgeColor(), SystemColor::red());
    EXPECT_EQ(view->diskBadgeHelp(), loc.t("diskFullWarn"));

    ChartCard* cpu = view->chartCard(AnalysisKind::cpu);
    EXPECT_EQ(cpu->value(), "93%");
    EXPECT_EQ(cpu->valueColor(), SystemColor::red());
    ASSERT_EQ(cpu->chart()->series().size(), 1u);
    EXPECT_EQ(cpu->chart()->series()[0].color, SystemColor::red());
    EXPECT_EQ(cpu->chart()->effectiveMaxY(), 100);
    EXPECT_EQ(view->chartCard(AnalysisKind::gpu)->valueColor(), SystemColor::orange());
    EXPECT_EQ(view->swapText(), loc.t("dashSwap", QStringLiteral("3.0 GB")));
    EXPECT_EQ(view->chartCard(AnalysisKind::disk)->chart()->series().size(), 2u);
    EXPECT_EQ(view->chartCard(AnalysisKind::network)->chart()->series().size(), 2u);

    EXPECT_EQ(view->coreGrid()->headings(),
              QStringList({loc.t("dashEffCores") + " · " + loc.t("dashCoreAvg", QStringLiteral("15%")),
                           loc.t("dashPerfCores") + " · " + loc.t("dashCoreAvg", QStringLiteral("80%"))}));

    EXPECT_EQ(view->thermalText(), loc.t("thermSerious"));
    EXPECT_EQ(view->tempChip(0)->valueText(), "72°C");
    EXPECT_EQ(view->tempChip(0)->color(), SystemColor::orange());
    EXPECT_EQ(view->tempChip(1)->valueText(), "-") << "no GPU temperature";
    EXPECT_EQ(view->tempChip(1)->color(), SystemColor::secondaryLabel());
    EXPECT_EQ(view->tempChip(2)->color(), SystemColor::red());
    EXPECT_EQ(view->hottestCurveColor(), SystemColor::red()) << "96 °C is past the curve's 95";
    EXPECT_EQ(view->powerText(), "CPU 12.5 W") << "the note only where no figure is";

    EXPECT_EQ(view->batteryText(), "64%  ·  " + loc.t("batOnBattery") + "  ·  " +
                                       loc.t("batTimeLeft", Format::duration(90 * 60)) + "  ·  " +
                                       loc.t("batCycles", 321) + "  ·  " + loc.t("batHealth", QStringLiteral("88%")));
    ASSERT_EQ(view->fanViews().size(), 1u);
    EXPECT_EQ(view->fanViews()[0]->periodMs(), 1200);
    EXPECT_EQ(view->fanViews()[0]->color(), SystemColor::orange());
    EXPECT_TRUE(view->fanViews()[0]->spinning());
    EXPECT_TRUE(view->fanTexts()[0].contains("3000 RPM"));
    EXPECT_FALSE(view->fansStoppedShown());

    // Calm: another severity, a plain badge, cool temperatures, no battery, stopped fans.
    Snapshot calm;
    calm.diskPercent = 40;
    calm.hottestC = 50;
    calm.fans = {{.rpm = 0, .target = 0, .minRPM = 1000, .maxRPM = 5000}};
    feed.publish(calm);
    EXPECT_EQ(view->statusColor(), SystemColor::green());
    EXPECT_FALSE(view->diskBadgeColor().has_value());
    EXPECT_EQ(view->diskBadgeHelp(), loc.t("diskBadgeHelp"));
    EXPECT_EQ(view->hottestCurveColor(), SystemColor::green());
    EXPECT_EQ(view->batteryText(), QString()) << "no battery, no battery row";
    EXPECT_TRUE(view->fanViews()[0]->stopped());
    EXPECT_FALSE(view->fanViews()[0]->spinning());
    EXPECT_TRUE(view->fanTexts()[0].contains(loc.t("fanTargetStop")));
    EXPECT_TRUE(view->fansStoppedShown());
    EXPECT_EQ(view->powerText(), loc.t("powerNote"));
}

TEST_F(Dashboard, BrokenFiguresShowTheirFallbacks) {
    view->show();
    Snapshot s;
    s.cpuTotal = NAN;
    s.netInBps = INFINITY;
    s.diskPercent = NAN;
    s.hottestC = NAN;
    s.cpuPowerW = NAN;
    s.fans = {{.rpm = NAN, .target = NAN, .minRPM = 5000, .maxRPM = 1000}};
    feed.publish(s);
    EXPECT_EQ(view->chartCard(AnalysisKind::cpu)->value(), "0%");
    EXPECT_EQ(view->tempChip(2)->valueText(), "-");
    EXPECT_EQ(view->hottestCurveColor(), SystemColor::secondaryLabel());
    EXPECT_EQ(view->powerText(), loc.t("powerNote")) << "a broken figure is no figure";
    EXPECT_TRUE(view->fanViews()[0]->stopped());
}

TEST_F(Dashboard, AFanKeepsItsAnimationUntilItsPeriodChanges) {
    SpinningFanView fan;
    fan.setLive(true);
    struct Step {
        double rpm;
        int period;
        int made;  // animations made so far
    };
    const Step steps[] = {
        {3000, 1200, 1}, {3100, 1200, 1}, {4900, 600, 2}, {4800, 600, 2}, {0, 0, 2}, {1500, 2200, 3},
    };
    for (const Step& s : steps) {
        fan.setFan({.rpm = s.rpm, .target = s.rpm, .minRPM = 1000, .maxRPM = 5000});
        EXPECT_EQ(fan.periodMs(), s.period) << s.rpm;
        EXPECT_EQ(fan.animationsMade(), s.made) << s.rpm;
        EXPECT_EQ(fan.spinning(), s.period > 0) << s.rpm;
    }
    fan.setLive(false);
    EXPECT_FALSE(fan.spinning()) << "no animation while the window is away";
    fan.setLive(true);
    EXPECT_TRUE(fan.spinning());
    EXPECT_EQ(fan.animationsMade(), 3) << "coming back resumes the same animation";
}

TEST_F(Dashboard, NothingRedrawsWhileHiddenOrMinimised) {
    feed.publish(critical());
    EXPECT_EQ(view->cardUpdates(), 0) << "never shown";
    view->show();
    EXPECT_GT(view->cardUpdates(), 0) << "showing catches up at once";
    EXPECT_EQ(view->chartCard(AnalysisKind::cpu)->value(), "93%");
    ASSERT_EQ(view->fanViews().size(), 1u);
    EXPECT_TRUE(view->fanViews()[0]->spinning());

    view->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(view->live());
    EXPECT_FALSE(view->fanViews()[0]->spinning());
    const int before = view->cardUpdates();
    Snapshot s = critical();
    s.cpuTotal = 10;
    feed.publish(s);
    EXPECT_EQ(view->cardUpdates(), before);
    EXPECT_EQ(view->chartCard(AnalysisKind::cpu)->value(), "93%");

    view->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(view->live());
    EXPECT_EQ(view->chartCard(AnalysisKind::cpu)->value(), "10%") << "the missed tick is shown on return";

    view->hide();
    const int hidden = view->cardUpdates();
    feed.publish(critical());
    EXPECT_EQ(view->cardUpdates(), hidden);
    EXPECT_FALSE(view->fanViews()[0]->spinning());
}

TEST_F(Dashboard, OnlyCardsInSightTakeNewData) {
    view->resize(1000, 600);
    view->show();
    feed.publish(critical());
    EXPECT_EQ(view->chartCard(AnalysisKind::cpu)->value(), "93%");
    EXPECT_EQ(view->batteryText(), QString()) << "the battery card is below the fold";
    view->cardColumn()->verticalScrollBar()->setValue(view->cardColumn()->verticalScrollBar()->maximum());
    EXPECT_FALSE(view->batteryText().isEmpty()) << "scrolled into sight, it catches up";
}

namespace {

// Ten minutes of snapshots a second apart: more history than a chart shows at once.
void fillHistory(test::FakeFeed& feed, int seconds = 600) {
    Snapshot s = critical();
    s.hottestC = 60;
    for (int i = 0; i < seconds; ++i) {
        s.cpuTotal = i % 100;
        feed.publish(s);
    }
}

void dragChart(TimeChart* chart, double dx) {
    const QPointF from(chart->width() / 3.0, chart->height() / 2.0), to = from + QPointF(dx, 0);
    QMouseEvent press(QEvent::MouseButtonPress, from, chart->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, chart->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, chart->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(chart, &press);
    QApplication::sendEvent(chart, &move);
    QApplication::sendEvent(chart, &release);
}

// The horizontal wheel scrolls the time (the vertical one scrolls the card column).
void wheelChart(TimeChart* chart, int notches, bool vertical = false, Qt::KeyboardModifiers modifiers = {}) {
    const QPointF at(chart->width() / 2.0, chart->height() / 2.0);
    const QPoint angle = vertical ? QPoint(0, 120 * notches) : QPoint(120 * notches, 0);
    QWheelEvent e(at, chart->mapToGlobal(at), {}, angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &e);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* w) : QObject(w) { w->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

TEST_F(Dashboard, EveryChartScrollsWhenOneIsDraggedOrWheeled) {
    view->show();
    fillHistory(feed);
    const std::vector<TimeChart*> charts = view->charts();
    ASSERT_EQ(charts.size(), 6u) << "CPU, GPU, memory, disk, network and the hottest temperature";
    TimeChart* cpu = view->chartCard(AnalysisKind::cpu)->chart();
    TimeChart* network = view->chartCard(AnalysisKind::network)->chart();
    for (TimeChart* c : charts)
        ASSERT_TRUE(c->viewport().following());

    // Dragging the CPU chart to the right takes every chart back to the same moment.
    dragChart(cpu, cpu->width() / 2.0);
    EXPECT_FALSE(view->chartScroll()->follow());
    const TimePoint right = cpu->viewport().rightEdge();
    EXPECT_LT(right, feed.current().time);
    for (TimeChart* c : charts) {
        EXPECT_FALSE(c->viewport().following());
        EXPECT_EQ(c->viewport().rightEdge(), right);
    }

    // Ticks keep them there, together.
    feed.publish(critical());
    for (TimeChart* c : charts)
        EXPECT_EQ(c->viewport().rightEdge(), right);

    // Wheeling another chart moves them all: a notch back is a tenth of the span.
    wheelChart(network, 1);
    const TimePoint back = right - std::chrono::seconds(30);
    for (TimeChart* c : charts)
        EXPECT_EQ(c->viewport().rightEdge(), back);

    // Wheeling towards now past the right edge: all follow the newest data again.
    wheelChart(network, -20);
    EXPECT_TRUE(view->chartScroll()->follow());
    for (TimeChart* c : charts) {
        EXPECT_TRUE(c->viewport().following());
        EXPECT_EQ(c->viewport().rightEdge(), feed.current().time);
    }
    feed.publish(critical());
    for (TimeChart* c : charts)
        EXPECT_EQ(c->viewport().rightEdge(), feed.current().time) << "and keep following";

    // Dragging to the left edge of the data and then all the way right follows again too.
    dragChart(cpu, 10 * cpu->width());
    EXPECT_FALSE(view->chartScroll()->follow());
    dragChart(cpu, -10 * cpu->width());
    EXPECT_TRUE(view->chartScroll()->follow());
    for (TimeChart* c : charts)
        EXPECT_TRUE(c->viewport().following());
}

TEST_F(Dashboard, VerticalWheelOverAChartScrollsTheColumnShiftOrHorizontalScrollsTheTime) {
    view->resize(1000, 600);  // the column is taller than the window
    view->show();
    fillHistory(feed);
    QScrollBar* column = view->cardColumn()->verticalScrollBar();
    ASSERT_GT(column->maximum(), 0);
    for (TimeChart* chart : view->charts()) {
        // Brought into sight, as a user would have it before wheeling over it.
        view->cardColumn()->ensureWidgetVisible(chart, 0, 0);
        const int top = column->value();
        const int down = top < column->maximum() ? -1 : 1;  // a notch where the column can go
        wheelChart(chart, down, true);
        EXPECT_NE(column->value(), top) << chart->accessibleName().toStdString();
        EXPECT_TRUE(view->chartScroll()->follow()) << "the time stays";

        const int page = column->value();
        wheelChart(chart, 1, true, Qt::ShiftModifier);
        EXPECT_FALSE(view->chartScroll()->follow()) << "shift and the wheel: a step back in time";
        EXPECT_EQ(column->value(), page);
        wheelChart(chart, -20);
        EXPECT_TRUE(view->chartScroll()->follow()) << "the horizontal wheel back to now";
        EXPECT_EQ(column->value(), page);
    }
}

TEST_F(Dashboard, ChartsNameTheirScaleTheirTimeAndWhichRateIsWhich) {
    view->show();
    fillHistory(feed);
    Snapshot s = critical();
    s.diskReadBps = 1024 * 1024;
    s.diskWriteBps = 6.3 * 1024 * 1024;
    s.netInBps = 2048;
    s.netOutBps = 300;
    feed.publish(s);

    EXPECT_EQ(view->chartCard(AnalysisKind::cpu)->chart()->topLabel(), "100%");
    EXPECT_EQ(view->chartCard(AnalysisKind::gpu)->chart()->topLabel(), "100%");
    EXPECT_EQ(view->chartCard(AnalysisKind::memory)->chart()->topLabel(), "100%");
    // Rates in bytes per second, the top a round figure at or above the highest point.
    TimeChart* disk = view->chartCard(AnalysisKind::disk)->chart();
    EXPECT_GE(disk->effectiveMaxY(), 6.3 * 1024 * 1024);
    EXPECT_EQ(disk->topLabel(), Format::bps(disk->effectiveMaxY()));
    EXPECT_TRUE(disk->topLabel().endsWith("MB/s")) << disk->topLabel().toStdString();
    EXPECT_TRUE(view->chartCard(AnalysisKind::network)->chart()->topLabel().endsWith("/s"));
    EXPECT_TRUE(view->charts().back()->topLabel().endsWith("°C"));

    // Every chart marks its time in the interface language, up to now.
    for (TimeChart* chart : view->charts()) {
        const auto marks = chart->timeMarks();
        ASSERT_GE(marks.size(), 2u);
        EXPECT_EQ(marks.back().second, loc.t("dashAxisNow"));
        EXPECT_EQ(marks.front().second, loc.t("dashAxisMinAgo", QStringLiteral("5")));
    }

    // Each rate is named beside its figure.
    const QString diskLegend = view->chartCard(AnalysisKind::disk)->footer()->text();
    EXPECT_TRUE(diskLegend.contains(loc.t("dashLegendRead", Format::bps(1024 * 1024)))) << diskLegend.toStdString();
    EXPECT_TRUE(diskLegend.contains(loc.t("dashLegendWrite", Format::bps(6.3 * 1024 * 1024))));
    EXPECT_LT(diskLegend.indexOf(SystemColor::blue().name()), diskLegend.indexOf(SystemColor::orange().name()))
        << "read is the blue curve, write the orange one";
    const QString netLegend = view->chartCard(AnalysisKind::network)->footer()->text();
    EXPECT_TRUE(netLegend.contains(loc.t("dashLegendDown", Format::bps(2048))));
    EXPECT_TRUE(netLegend.contains(loc.t("dashLegendUp", Format::bps(300))));
    EXPECT_EQ(view->chartCard(AnalysisKind::disk)->value(), Format::bps((1 + 6.3) * 1024 * 1024));
    // The cursor names them too.
    for (AnalysisKind kind : {AnalysisKind::disk, AnalysisKind::network}) {
        const auto& series = view->chartCard(kind)->chart()->series();
        ASSERT_EQ(series.size(), 2u);
        const bool disk = kind == AnalysisKind::disk;
        EXPECT_EQ(series[0].valueLabel, loc.t(disk ? "dashLegendRead" : "dashLegendDown"));
        EXPECT_EQ(series[1].valueLabel, loc.t(disk ? "dashLegendWrite" : "dashLegendUp"));
    }
    // The hottest curve's top is a round figure above the hottest reading (96 °C + 10 %).
    EXPECT_EQ(view->charts().back()->topLabel(), "110°C");

    // Another language names them anew.
    loc.apply(QStringLiteral("de"));
    EXPECT_TRUE(view->chartCard(AnalysisKind::disk)->footer()->text().contains(
        loc.t("dashLegendRead", Format::bps(1024 * 1024))));
    EXPECT_EQ(view->charts().front()->timeMarks().back().second, loc.t("dashAxisNow"));
    loc.apply(QStringLiteral("en"));
}

TEST_F(Dashboard, CoreCardShowsEachCoresRecentLoadFromTheHistory) {
    view->show();
    Snapshot s = critical();  // cores 10, 20, 90, 70
    feed.publish(s);
    s.cpuPerCore = {0, 100, 50, 35};
    feed.publish(s);
    const QImage& heat = view->coreGrid()->heat();
    ASSERT_EQ(heat.width(), CoreGrid::historyColumns);
    ASSERT_EQ(heat.height(), 4) << "a row per core, efficiency cores first as the clusters are";
    const int last = CoreGrid::historyColumns - 1;
    const struct {
        int row;
        double previous, newest;
    } rows[] = {{0, 10, 0}, {1, 20, 100}, {2, 90, 50}, {3, 70, 35}};
    for (const auto& r : rows) {
        EXPECT_EQ(heat.pixel(last, r.row), CoreGrid::heatColor(r.newest)) << r.row;
        EXPECT_EQ(heat.pixel(last - 1, r.row), CoreGrid::heatColor(r.previous)) << r.row;
        EXPECT_EQ(qAlpha(heat.pixel(last - 2, r.row)), 0) << "before the history began: clear";
    }

    // Ticks paint over the same picture; the columns move one to the left.
    const uchar* bits = heat.constBits();
    feed.publish(s);
    EXPECT_EQ(view->coreGrid()->heat().constBits(), bits);
    EXPECT_EQ(view->coreGrid()->heat().pixel(last - 2, 2), CoreGrid::heatColor(90));

    // Past the strip's width only the newest snapshots show.
    for (int i = 0; i < CoreGrid::historyColumns; ++i)
        feed.publish(s);
    EXPECT_EQ(view->coreGrid()->heat().pixel(0, 2), CoreGrid::heatColor(50));

    // A snapshot that knows fewer cores: the strips shrink with the clusters, and older
    // moments that knew a core still show it.
    s.cpuPerCore = {40, 60};
    feed.publish(s);
    ASSERT_EQ(view->coreGrid()->heat().height(), 2);
    EXPECT_EQ(view->coreGrid()->heat().pixel(last, 1), CoreGrid::heatColor(60));
    EXPECT_EQ(view->coreGrid()->heat().pixel(last - 1, 1), CoreGrid::heatColor(100));
}

TEST(CoreGridHeat, LoadsTakeTheirColourFainterTheLowerTheyAre) {
    const struct {
        double load;
        double same;
    } clamps[] = {{-5, 0}, {NAN, 0}, {150, 100}, {100.4, 100}, {49.6, 50}};
    for (const auto& c : clamps)
        EXPECT_EQ(CoreGrid::heatColor(c.load), CoreGrid::heatColor(c.same)) << c.load;
    EXPECT_GT(qAlpha(CoreGrid::heatColor(0)), 0) << "an idle core still shows as a row";
    EXPECT_LT(qAlpha(CoreGrid::heatColor(0)), qAlpha(CoreGrid::heatColor(50)));
    EXPECT_LT(qAlpha(CoreGrid::heatColor(50)), qAlpha(CoreGrid::heatColor(100)));
    // The hue is the load's colour: the 49 % boundary is yellow, below it green.
    // (Within the rounding of a colour kept premultiplied by its opacity.)
    auto near = [](QRgb heat, const QColor& want) {
        const QColor c = QColor::fromRgba(qUnpremultiply(heat));
        return std::abs(c.red() - want.red()) <= 2 && std::abs(c.green() - want.green()) <= 2 &&
               std::abs(c.blue() - want.blue()) <= 2;
    };
    EXPECT_TRUE(near(CoreGrid::heatColor(49), DashboardRules::loadColor(49)));
    EXPECT_TRUE(near(CoreGrid::heatColor(48), DashboardRules::loadColor(48)));
    EXPECT_FALSE(near(CoreGrid::heatColor(49), DashboardRules::loadColor(48)));
}

TEST_F(Dashboard, AWindowOpenedAgainFollowsTheNewestData) {
    view->show();
    fillHistory(feed);
    TimeChart* memory = view->chartCard(AnalysisKind::memory)->chart();
    dragChart(memory, 100);
    ASSERT_FALSE(view->chartScroll()->follow());

    // Minimised, the position stays for when the window comes back.
    view->setWindowState(Qt::WindowMinimized);
    view->setWindowState(Qt::WindowNoState);
    EXPECT_FALSE(view->chartScroll()->follow());

    // Closed, the position is dropped: opened again, every chart shows now.
    view->hide();
    EXPECT_TRUE(view->chartScroll()->follow());
    fillHistory(feed, 5);
    view->show();
    for (TimeChart* c : view->charts()) {
        EXPECT_TRUE(c->viewport().following());
        EXPECT_EQ(c->viewport().rightEdge(), feed.current().time);
    }
}

TEST_F(Dashboard, AClockSetBackBehindTheScrolledChartsMakesThemFollow) {
    view->show();
    fillHistory(feed);
    dragChart(view->chartCard(AnalysisKind::cpu)->chart(), 100);
    ASSERT_FALSE(view->chartScroll()->follow());
    const TimePoint scrolled = view->chartScroll()->scrollX();

    // A tick after the position leaves it.
    feed.publish(critical());
    EXPECT_FALSE(view->chartScroll()->follow());
    EXPECT_EQ(view->chartScroll()->scrollX(), scrolled);

    // A tick at or before it (the wall clock was set back) follows, so the charts do not
    // jump back to an old moment once the clock passes it again.
    Snapshot s = critical();
    s.time = scrolled - std::chrono::seconds(5);
    feed.publishAsIs(s);
    EXPECT_TRUE(view->chartScroll()->follow());
    for (TimeChart* c : view->charts())
        EXPECT_TRUE(c->viewport().following());
}

TEST_F(Dashboard, MovingTheChartsRepaintsOnlyTheChartsInSight) {
    view->resize(1000, 600);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    fillHistory(feed);
    const std::vector<TimeChart*> charts = view->charts();
    std::vector<PaintCounter*> counters;
    for (TimeChart* c : charts)
        counters.push_back(new PaintCounter(c));
    // Lay the column out now, innermost first: the ticks changed what the cards hold, and
    // the fold must not move between the look at it and the drag.
    const QList<QLayout*> layouts = view->findChildren<QLayout*>();
    for (auto it = layouts.rbegin(); it != layouts.rend(); ++it)
        (*it)->activate();
    QApplication::processEvents();
    std::vector<bool> inSight;
    for (size_t i = 0; i < charts.size(); ++i) {
        inSight.push_back(!charts[i]->visibleRegion().isEmpty());
        counters[i]->paints = 0;
    }
    ASSERT_TRUE(inSight.front()) << "the CPU chart is at the top";
    ASSERT_FALSE(inSight.back()) << "the temperature card is below the fold";

    dragChart(charts.front(), 80);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counters.front()->paints > 0; }, 5000));
    for (size_t i = 0; i < charts.size(); ++i) {
        if (inSight[i])
            EXPECT_GT(counters[i]->paints, 0) << "chart " << i << " shows the new position";
        else
            EXPECT_EQ(counters[i]->paints, 0) << "chart " << i << " is out of sight";
    }

    // Scrolled into sight, the hottest curve shows the same moment as the others.
    view->cardColumn()->verticalScrollBar()->setValue(view->cardColumn()->verticalScrollBar()->maximum());
    EXPECT_TRUE(QTest::qWaitFor([&] { return counters.back()->paints > 0; }, 5000));
    EXPECT_EQ(charts.back()->viewport().rightEdge(), charts.front()->viewport().rightEdge());
}

TEST_F(Dashboard, ChartsAskForAnalysisOfTheirKind) {
    for (AnalysisKind k : {AnalysisKind::cpu, AnalysisKind::gpu, AnalysisKind::memory, AnalysisKind::disk,
                           AnalysisKind::network}) {
        emit view->chartCard(k)->chart()->analyseRequested();
        EXPECT_EQ(analysed.back(), k);
        EXPECT_EQ(view->chartCard(k)->toolTip(),
                  loc.t("dblAnalyzeKind", loc.t(titleKey(k))));
    }
    EXPECT_EQ(analysed.size(), 5u);
}

TEST_F(Dashboard, QuittingThreeWhereOneRefuses) {
    view->show();
    feed.publish(critical());
    selectPids({10, 20, 30});
    EXPECT_EQ(panel()->selectionText(), loc.t("procSelectedN", 3));
    refusing = {30};
    panel()->quitButton()->click();
    EXPECT_EQ(confirmations, 1);
    EXPECT_EQ(signals_, (std::vector<std::pair<int32_t, int>>{{10, SIGTERM}, {20, SIGTERM}})) << "30 refused";
    EXPECT_EQ(panel()->resultText(), loc.t("killSent", 2) + " " + loc.t("killFailed", 1).trimmed());
    EXPECT_EQ(panel()->state().selection(), (std::set<Key>{row(30)})) << "the refused pid stays selected";
    EXPECT_EQ(shownRowsSelected(), (std::vector<int32_t>{30}));
    EXPECT_TRUE(panel()->resultTimer().isActive());
    EXPECT_EQ(panel()->resultTimer().interval(), 3000);
    panel()->clearResult();
    EXPECT_EQ(panel()->resultText(), QString());

    // A force quit from the row's menu, on the row alone when it is not selected.
    signals_.clear();
    QMenu* menu = panel()->makeRowMenu(row(20), view.get());
    menu->findChild<QAction*>("anForceSig")->trigger();
    EXPECT_EQ(signals_, (std::vector<std::pair<int32_t, int>>{{20, SIGKILL}}));
    delete menu;

    // Declined: nothing is sent.
    signals_.clear();
    answer = false;
    panel()->forceQuitButton()->click();
    EXPECT_TRUE(signals_.empty());
    EXPECT_EQ(panel()->state().selection(), (std::set<Key>{row(30)}));
}

TEST_F(Dashboard, PidsBelowTwoAreNeverSignalled) {
    view->show();
    Snapshot s;
    s.processes = {proc(0, "kernel", 1), proc(1, "init", 1)};
    feed.publish(s);
    selectPids({0, 1});
    panel()->forceQuitButton()->click();
    QMenu* menu = panel()->makeRowMenu(row(1), view.get());
    EXPECT_FALSE(menu->findChild<QAction*>("anQuitSig")->isEnabled());
    delete menu;
    panel()->request(ProcessAction::forceQuit, {{{0, 0}, "kernel"}, {{1, 0}, "init"}, {{-5, 0}, "x"}});
    EXPECT_EQ(confirmations, 0);
    EXPECT_TRUE(signals_.empty());
}

TEST_F(Dashboard, DetailFromTheRowMenu) {
    view->show();
    feed.publish(critical());
    QMenu* menu = panel()->makeRowMenu(row(20), view.get());
    QAction* detail = menu->findChild<QAction*>("ctxDetail");
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->text(), loc.t("ctxDetail"));
    detail->trigger();
    EXPECT_EQ(detailed, std::vector<int32_t>{20});
    delete menu;
}

TEST_F(Dashboard, AnEmptySnapshotEmptiesTheTable) {
    view->show();
    feed.publish(critical());
    EXPECT_EQ(panel()->model().rowCount(), 3);
    feed.publish(Snapshot{});
    EXPECT_EQ(panel()->model().rowCount(), 0);
    EXPECT_EQ(panel()->selectionText(), loc.t("procSelectHint"));
    EXPECT_FALSE(panel()->quitButton()->isEnabled());
}

TEST_F(Dashboard, SelectionFollowsPidsAcrossTicksAndSorts) {
    settings.setCumulativeRank(false);
    view->show();
    feed.publish(critical());
    selectPids({20});
    Snapshot s = critical();
    s.processes = {proc(10, "ten", 90), proc(20, "twenty", 1), proc(30, "thirty", 40), proc(40, "forty", 30)};
    feed.publish(s);
    EXPECT_EQ(panel()->model().index(3, 0).data(ProcessTableModel::PidRole).toInt(), 20) << "moved to the end";
    EXPECT_EQ(shownRowsSelected(), std::vector<int32_t>{20});
    panel()->sortByColumn(0);  // pid, in the CPU column's descending order
    EXPECT_EQ(shownRowsSelected(), std::vector<int32_t>{20});
    EXPECT_EQ(panel()->table()->horizontalHeader()->sortIndicatorSection(), 0);
    EXPECT_EQ(panel()->table()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(panel()->model().index(0, 0).data(ProcessTableModel::PidRole).toInt(), 40);
    panel()->sortByColumn(0);
    EXPECT_EQ(panel()->table()->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(panel()->model().index(0, 0).data(ProcessTableModel::PidRole).toInt(), 10);
    // A search that hides the row takes it out of the selection: nothing unseen is acted on.
    panel()->searchField()->setText("t");
    EXPECT_EQ(shownRowsSelected(), std::vector<int32_t>{20}) << "still shown, still selected";
    panel()->searchField()->setText("ten");
    EXPECT_TRUE(panel()->state().selection().empty());
    EXPECT_FALSE(panel()->quitButton()->isEnabled());
    panel()->searchField()->clear();
    EXPECT_TRUE(shownRowsSelected().empty());
}

TEST_F(Dashboard, QuitFlowsReachExactlyTheChosenProcesses) {
    struct Case {
        const char* name;
        bool grouped;
        std::set<int32_t> select;              // rows by the pid they show
        std::vector<int32_t> asked;            // processes the confirmation counts
        std::vector<int32_t> reuseWhileAsked;  // pids a newcomer takes before the answer
        std::vector<int32_t> sent;
        QString result;
    };
    const auto sent = [&](size_t n) { return loc.t("killSent", static_cast<qulonglong>(n)); };
    const Case cases[] = {
        {"single", false, {20}, {20}, {}, {20}, sent(1)},
        {"multi", false, {10, 30}, {10, 30}, {}, {10, 30}, sent(2)},
        {"group", true, {11}, {11, 12, 13}, {}, {11, 12, 13}, sent(3)},
        {"single, reused", false, {20}, {20}, {20}, {}, loc.t("killEnded", 1)},
        {"group, one reused", true, {11}, {11, 12, 13}, {12}, {11, 13}, sent(2) + " " + loc.t("killEnded", 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake->sent.clear();
        asked.clear();
        settings.setCumulativeRank(false);
        view->show();
        Snapshot s;
        s.processes = {proc(10, "ten", 5), proc(11, "burnC", 50), proc(12, "burnC", 40), proc(13, "burnC", 30),
                       proc(20, "twenty", 9), proc(30, "thirty", 7)};
        feed.publish(s);
        if (panel()->groupToggle()->isChecked() != c.grouped) panel()->groupToggle()->click();
        selectPids(c.select);
        whileAsking = [&] {
            for (int32_t pid : c.reuseWhileAsked)
                fake->reuse(pid);
        };
        panel()->quitButton()->click();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].pids(), c.asked);
        std::vector<int32_t> got;
        for (const auto& [pid, signal] : signals_) {
            got.push_back(pid);
            EXPECT_EQ(signal, SIGTERM);
        }
        EXPECT_EQ(got, c.sent);
        EXPECT_EQ(panel()->resultText(), c.result);
    }
}

TEST_F(Dashboard, AGroupRowKeepsItsHighlightWhenAnotherMemberLeads) {
    settings.setCumulativeRank(false);
    view->show();
    panel()->groupToggle()->click();
    Snapshot s;
    s.processes = {proc(11, "burnC", 50), proc(12, "burnC", 40), proc(20, "solo", 1)};
    feed.publish(s);
    selectPids({11});
    ASSERT_EQ(panel()->state().selection().size(), 1u);
    s.processes = {proc(12, "burnC", 60), proc(11, "burnC", 40), proc(20, "solo", 1)};
    feed.publish(s);
    EXPECT_EQ(shownRowsSelected(), std::vector<int32_t>{12}) << "the group row, now led by 12, stays selected";
    EXPECT_EQ(panel()->selectionText(), loc.t("procSelectedN", 1));
}

TEST_F(Dashboard, ClosingDiscardsSearchSelectionAndScroll) {
    view->show();
    Snapshot s;
    for (int32_t pid = 2; pid < 90; ++pid)
        s.processes.push_back(proc(pid, QStringLiteral("p%1").arg(pid), pid));
    feed.publish(s);
    panel()->searchField()->setText("p8");
    selectPids({80});
    panel()->table()->verticalScrollBar()->setValue(panel()->table()->verticalScrollBar()->maximum());
    ASSERT_FALSE(panel()->state().selection().empty());
    view->close();
    view->show();
    EXPECT_TRUE(panel()->searchField()->text().isEmpty());
    EXPECT_TRUE(panel()->state().options().search.isEmpty());
    EXPECT_TRUE(panel()->state().selection().empty());
    EXPECT_EQ(panel()->table()->verticalScrollBar()->value(), 0);
    EXPECT_EQ(panel()->model().rowCount(), 88);
}

TEST_F(Dashboard, RankingPickerAndGpuColumnFollowTheSettings) {
    view->show();
    feed.publish(critical());
    settings.setCumulativeRank(true);
    EXPECT_EQ(panel()->rankPicker()->currentIndex(), 1);
    settings.setCumulativeRank(false);
    EXPECT_EQ(panel()->rankPicker()->currentIndex(), 0);
    EXPECT_FALSE(panel()->state().options().cumulativeRank);
    emit panel()->rankPicker()->activated(1);
    EXPECT_TRUE(settings.cumulativeRank());
    EXPECT_TRUE(panel()->state().options().cumulativeRank);

    settings.setCollectProcessGPU(true);
    const int withGpu = panel()->model().columnCount();
    panel()->state();
    for (int c = 0; c < withGpu; ++c)
        if (panel()->model().columnAt(c) == ProcColumn::gpu) panel()->sortByColumn(c);
    EXPECT_EQ(panel()->state().options().key, ProcSortKey::gpu);
    settings.setCollectProcessGPU(false);
    EXPECT_EQ(panel()->model().columnCount(), withGpu - 1);
    EXPECT_EQ(panel()->state().options().key, ProcSortKey::cpu);
    EXPECT_EQ(panel()->table()->horizontalHeader()->sortIndicatorSection(), 2) << "the chevron moves to CPU";
}

TEST_F(Dashboard, OddNamesKeepTheLayout) {
    view->show();
    feed.publish(critical());
    QHeaderView* header = panel()->table()->horizontalHeader();
    std::vector<int> widths;
    for (int c = 0; c < header->count(); ++c)
        widths.push_back(header->sectionSize(c));
    const QSize minimum = view->minimumSizeHint();
    EXPECT_EQ(widths[0], 52) << "the pid column keeps its width";
    EXPECT_GT(widths[1], widths[0]) << "the name takes the rest";

    Snapshot s = critical();
    s.processes = {proc(50, QStringLiteral("tab\there\nnew\x01line"), 3),
                   proc(51, QStringLiteral("متصفح الويب \u202Ebackwards"), 2), proc(52, QString(300, u'w'), 1)};
    feed.publish(s);
    for (int c = 0; c < header->count(); ++c)
        EXPECT_EQ(header->sectionSize(c), widths[c]) << c;
    EXPECT_EQ(view->minimumSizeHint(), minimum);
    EXPECT_EQ(view->width(), 1000);
    for (int r = 0; r < panel()->model().rowCount(); ++r) {
        const QString name = panel()->model().index(r, 1).data().toString();
        EXPECT_FALSE(name.contains(u'\n') || name.contains(u'\t') || name.contains(QChar(1))) << r;
    }
}

// At its minimum size the window's layout fits, and in every language the scrolled column's
// content fits its width (it scrolls only downwards).
TEST_F(Dashboard, ContentFitsTheMinimumSize) {
    feed.publish(critical());
    view->resize(view->minimumSize());
    view->show();
    QCoreApplication::processEvents();
    const QSize needed = view->layout()->totalMinimumSize();
    EXPECT_LE(needed.width(), view->width());
    EXPECT_LE(needed.height(), view->height());
    for (const QString& language : Localizer::supported()) {
        loc.apply(language);
        QCoreApplication::processEvents();
        for (const QScrollArea* scroll : view->findChildren<QScrollArea*>())
            EXPECT_LE(scroll->widget()->minimumSizeHint().width(), scroll->viewport()->width())
                << language.toStdString();
    }
    loc.apply(QStringLiteral("en"));
}
