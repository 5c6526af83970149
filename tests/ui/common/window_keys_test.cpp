// The keys of every window, pressed as a user presses them.
#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_engine.h"
#include "samplers/cpu_sampler.h"
#include "ui/common/accessibility.h"
#include "ui/dashboard/dashboard_view.h"
#include "ui/popover/popover_panel.h"
#include "ui/popover/popover_view.h"
#include "ui/storage/storage_view.h"

#include "support/fake_processes.h"
#include "support/test_util.h"
#include "ui/dashboard/dashboard_test_support.h"
#include "support/null_sources.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

using namespace velmora;

using velmora::test::NoSource;

namespace {

void activate(QWidget* w) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
}

class DashboardKeys : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    test::FakeFeed feed;
    CoreTopology topology;
    std::shared_ptr<test::FakeProcesses> fake = std::make_shared<test::FakeProcesses>();
    std::vector<int32_t> detailed;
    std::vector<AnalysisKind> analysed;
    int confirmations = 0;
    std::unique_ptr<DashboardView> view;

    void SetUp() override {
        topology.groups = {{CoreKind::performance(), {0, 1}}};
        DashboardView::Hooks hooks;
        hooks.topology = &topology;
        hooks.onAnalyze = [this](AnalysisKind k) { analysed.push_back(k); };
        hooks.processes.openDetail = [this](int32_t pid) { detailed.push_back(pid); };
        hooks.processes.actions.advisor = std::make_shared<KillAdvisor>(
            [](int32_t pid) { return KillAdvisor::Facts{QStringLiteral("p%1").arg(pid), "/usr/bin/x", 1000}; },
            1000);
        for (int32_t pid = 2; pid < 50; ++pid)
            fake->add(pid, 100 + static_cast<uint64_t>(pid));
        hooks.processes.actions.control = test::controlOver(fake);
        hooks.processes.actions.confirm = [this](const KillRequest&, QWidget*) {
            ++confirmations;
            return true;
        };
        view = std::make_unique<DashboardView>(feed, settings, loc, std::move(hooks));
        view->resize(1000, 900);
        activate(view.get());
        Snapshot s;
        s.cpuPerCore = {10, 20};
        s.processes = {{.pid = 10, .name = "ten", .cpu = 50, .memBytes = 1u << 20},
                       {.pid = 20, .name = "twenty", .cpu = 30, .memBytes = 1u << 20},
                       {.pid = 30, .name = "thirty", .cpu = 10, .memBytes = 1u << 20}};
        s.processesMeasured = true;
        feed.publish(s);
    }
    ProcessPanel* panel() const { return view->processes(); }
    QTableView* table() const { return panel()->table(); }
    // Makes the row of `pid` current and selected, with the keyboard focus in the table.
    void pick(int32_t pid) {
        table()->setFocus();
        for (int r = 0; r < table()->model()->rowCount(); ++r) {
            const QModelIndex i = table()->model()->index(r, 0);
            if (i.data(ProcessTableModel::PidRole).toInt() == pid) {
                table()->selectionModel()->setCurrentIndex(
                    i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                return;
            }
        }
        FAIL() << "no row for " << pid;
    }
};

TEST_F(DashboardKeys, CtrlFTakesTheFocusToTheSearchFromAnywhere) {
    for (QWidget* from : std::initializer_list<QWidget*>{table(), panel()->quitButton(), view->chartCard(AnalysisKind::cpu)}) {
        from->setFocus();
        panel()->searchField()->setText(QStringLiteral("tw"));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : from, Qt::Key_F, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), panel()->searchField()) << from->metaObject()->className();
        EXPECT_EQ(panel()->searchField()->selectedText(), QStringLiteral("tw")) << "typing replaces the old search";
    }
}

TEST_F(DashboardKeys, DeleteQuitsAndShiftDeleteForceQuitsTheSelectionAfterAsking) {
    const struct {
        Qt::KeyboardModifiers modifiers;
        int signal;
    } cases[] = {{Qt::NoModifier, SIGTERM}, {Qt::ShiftModifier, SIGKILL}};
    for (const auto& c : cases) {
        fake->sent.clear();
        confirmations = 0;
        pick(20);
        QTest::keyClick(table(), Qt::Key_Delete, c.modifiers);
        EXPECT_EQ(confirmations, 1) << "through the usual confirmation";
        EXPECT_EQ(fake->sent, (std::vector<std::pair<int32_t, int>>{{20, c.signal}}));
    }
}

TEST_F(DashboardKeys, DeleteInTheSearchFieldDeletesText) {
    panel()->searchField()->setFocus();
    panel()->searchField()->setText(QStringLiteral("abc"));
    panel()->searchField()->setCursorPosition(0);
    QTest::keyClick(panel()->searchField(), Qt::Key_Delete);
    EXPECT_EQ(panel()->searchField()->text(), QStringLiteral("bc"));
    EXPECT_EQ(confirmations, 0);
    EXPECT_TRUE(fake->sent.empty());
}

TEST_F(DashboardKeys, EnterOpensTheCurrentRowsDetails) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        detailed.clear();
        pick(30);
        QTest::keyClick(table(), static_cast<Qt::Key>(key));
        EXPECT_EQ(detailed, std::vector<int32_t>{30});
    }
}

TEST_F(DashboardKeys, ArrowsMoveThroughTheRowsAndTabLeavesTheTable) {
    pick(10);
    QTest::keyClick(table(), Qt::Key_Down);
    EXPECT_EQ(table()->currentIndex().data(ProcessTableModel::PidRole).toInt(), 20);
    QTest::keyClick(table(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), table());
}

TEST_F(DashboardKeys, TheKeysAreShownInTooltipsAndTheRowMenu) {
    EXPECT_EQ(panel()->quitButton()->toolTip(), loc.t("actQuit") + " (Del)");
    EXPECT_EQ(panel()->forceQuitButton()->toolTip(), loc.t("actForceQuit") + " (Shift+Del)");
    EXPECT_EQ(panel()->searchField()->toolTip(), loc.t("procSearch") + " (Ctrl+F)");
    QMenu* menu = panel()->makeRowMenu({{}, 20, 0}, view.get());
    EXPECT_EQ(menu->findChild<QAction*>("ctxDetail")->shortcut(), QKeySequence(Qt::Key_Return));
    EXPECT_EQ(menu->findChild<QAction*>("anQuitSig")->shortcut(), ProcessPanel::quitKeys());
    EXPECT_EQ(menu->findChild<QAction*>("anForceSig")->shortcut(), ProcessPanel::forceQuitKeys());
    delete menu;
}

TEST_F(DashboardKeys, AFocusedChartCardOpensItsAnalysisWithEnterOrSpace) {
    for (AnalysisKind kind : {AnalysisKind::cpu, AnalysisKind::network})
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            analysed.clear();
            ChartCard* card = view->chartCard(kind);
            card->setFocus(Qt::TabFocusReason);
            ASSERT_EQ(QApplication::focusWidget(), card) << "the card takes the focus";
            QTest::keyClick(card, static_cast<Qt::Key>(key));
            EXPECT_EQ(analysed, std::vector<AnalysisKind>{kind});
        }
    analysed.clear();
    QTest::keyClick(view->chartCard(AnalysisKind::network), Qt::Key_A);
    EXPECT_TRUE(analysed.empty()) << "other keys do nothing";
    // A screen reader presses it through its action.
    QAccessibleInterface* card = QAccessible::queryAccessibleInterface(view->chartCard(AnalysisKind::memory));
    ASSERT_NE(card->actionInterface(), nullptr);
    card->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(analysed, std::vector<AnalysisKind>{AnalysisKind::memory});
}

class PopoverKeys : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    MetricsEngine engine{std::make_unique<NoSource>()};
    int expands = 0, settingsOpened = 0;
    PopoverView* view = new PopoverView(engine, settings, loc,
                                        {[this] { ++expands; }, [this] { ++settingsOpened; }, {}, {}});
    PopoverPanel panel{view};
    void SetUp() override {
        for (auto b : {PopoverView::Button::expand, PopoverView::Button::storage, PopoverView::Button::settings})
            view->setButtonAvailable(b, true);
    }
};

TEST_F(PopoverKeys, OpensWithTheFocusOnItsFirstControl) {
    panel.presentAt(QRect(100, 0, 20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    EXPECT_EQ(QApplication::focusWidget(), view->button(PopoverView::Button::expand));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(expands, 1) << "Space presses it";
}

TEST_F(PopoverKeys, EscapeClosesIt) {
    panel.presentAt(QRect(100, 0, 20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(PopoverKeys, CtrlCommaOpensTheSettingsOnlyWhereTheyExist) {
    panel.presentAt(QRect(100, 0, 20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    QTest::keySequence(QApplication::focusWidget(), Accessibility::settingsKeys());
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(view->button(PopoverView::Button::settings)->toolTip(), loc.t("popSettings") + " (Ctrl+,)");
    view->setButtonAvailable(PopoverView::Button::settings, false);
    QTest::keySequence(QApplication::focusWidget(), Accessibility::settingsKeys());
    EXPECT_EQ(settingsOpened, 1) << "no settings window in this build";
}

// Counts scans, so a rescan can be seen.
class CountingStartup : public StartupSource {
  public:
    std::atomic<int> scans{0};
    StartupScan scan(const QString&) override {
        ++scans;
        return {{}, false};
    }
    std::optional<RemovalFailure> removeLoginItem(const StartupItem&) override { return std::nullopt; }
};

class CountingServices : public platform::ServiceManager {
  public:
    std::atomic<int> lists{0};
    std::optional<std::vector<ServiceItem>> list() override {
        ++lists;
        return std::vector<ServiceItem>{{"a.service", 10, 0, true}};
    }
    platform::ServiceOutcome stop(const QString&) override { return {}; }
    void kill(const QString&) override {}
    platform::ServiceOutcome start(const QString&) override { return {}; }
};

TEST(StorageKeys, F5RescansTheSectionInSight) {
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    auto startup = std::make_unique<CountingStartup>();
    CountingStartup* scans = startup.get();
    auto services = std::make_shared<CountingServices>();
    StorageView view(settings, loc, {std::move(startup), services, {}});
    activate(&view);
    ASSERT_TRUE(test::waitUntil([&] { return !view.startup().loading() && scans->scans >= 1; }));
    const int before = scans->scans;
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &view, Qt::Key_F5);
    EXPECT_TRUE(test::waitUntil([&] { return scans->scans == before + 1; }));

    view.setSection(StorageView::Section::services);
    ASSERT_TRUE(test::waitUntil([&] { return !view.services().loading() && services->lists >= 1; }));
    const int listed = services->lists;
    const int scanned = scans->scans;
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &view, Qt::Key_F5);
    EXPECT_TRUE(test::waitUntil([&] { return services->lists == listed + 1; }));
    EXPECT_EQ(scans->scans, scanned) << "only the section in sight";
}

}  // namespace
