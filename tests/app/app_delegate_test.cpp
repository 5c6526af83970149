#include "app/app_delegate.h"

#include "app/alert_manager.h"
#include "app/window_manager.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_engine.h"
#include "support/test_util.h"
#include "ui/analysis/analysis_view.h"
#include "ui/dashboard/dashboard_view.h"
#include "ui/detail/process_detail_view.h"
#include "ui/popover/popover_panel.h"
#include "ui/popover/popover_view.h"
#include "ui/settings/settings_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTcpSocket>
#include <QTest>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>

#include <unistd.h>

using namespace velmora;

namespace {

class CountingSource : public SnapshotSource {
  public:
    explicit CountingSource(std::atomic<int>* ticks) : ticks_(ticks) {}
    Snapshot tick(const std::function<bool()>&) override {
        ++*ticks_;
        return {};
    }

  private:
    std::atomic<int>* ticks_;
};

class RecordingNotifier : public Notifier {
  public:
    explicit RecordingNotifier(std::vector<UserNotification>* posted, int* asked)
        : posted_(posted), asked_(asked) {}
    void requestAuthorization(std::function<void(bool)> answer) override {
        ++*asked_;
        answer(true);
    }
    void post(const UserNotification& n) override { posted_->push_back(n); }

  private:
    std::vector<UserNotification>* posted_;
    int* asked_;
};

class Delegate : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.setRefreshInterval(5);  // slow: tests drive snapshots themselves
    }
    void TearDown() override { delegate.reset(); }

    AppDelegate& launch(LaunchRequests launch = {},
                        AppDelegate::TrayMode mode = AppDelegate::TrayMode::trayOnly,
                        std::function<void(AppDelegate&)> beforeLaunch = {}) {
        AppDelegate::Options o;
        o.source = std::make_unique<CountingSource>(&ticks);
        o.settings = &settings;
        o.localizer = &loc;
        o.notifier = std::make_unique<RecordingNotifier>(&posted, &asked);
        o.desktopEntry = QStringLiteral("com.tandrel.velmora");
        o.launch = launch;
        o.trayMode = mode;
        o.quit = [this] { ++quits; };
        o.server = std::move(server);
        o.historyPath = dir.filePath("history.sqlite");
        delegate = std::make_unique<AppDelegate>(std::move(o));
        if (beforeLaunch) beforeLaunch(*delegate);
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }

    void publish(const Snapshot& s) {
        delegate->engine().publish(s);
        QCoreApplication::processEvents();  // the delegate hears snapshots through the run loop
    }

    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"), [] {
                      return QStringList();
                  }};
    std::atomic<int> ticks{0};
    std::vector<UserNotification> posted;
    int asked = 0;
    int quits = 0;
    std::unique_ptr<MetricsServer> server;  // handed to the next launch
    std::unique_ptr<AppDelegate> delegate;
};

WindowManager::Factory plainWindow(int* made) {
    return [made] {
        ++*made;
        return new QWidget;
    };
}

}  // namespace

TEST_F(Delegate, StartsWithTheDimmedDashThenDrawsEachSnapshot) {
    AppDelegate& d = launch();
    d.engine().cancelTimer();
    const QImage before = d.tray().statusImage();
    EXPECT_EQ(before, d.tray().drawStatus(StatusIcon::placeholder()));
    EXPECT_EQ(before.width(), before.height()) << "no tray cell known: the square layout";

    Snapshot busy;
    busy.cpuTotal = 93;
    publish(busy);
    EXPECT_NE(d.tray().statusImage(), before) << "a snapshot redraws the image";
    EXPECT_EQ(d.tray().statusImage(), d.tray().menuBarIcon(busy));
}

TEST_F(Delegate, TrayIconShowsEachImageAndCachesNoneOfThem) {
    AppDelegate& d = launch();
    d.engine().cancelTimer();
    // A tray host repaints its cell after every tick; the replaced images must not pile up
    // in the pixmap cache.
    const test::PixmapCacheProbe probe;
    for (int tick = 0; tick < 30; ++tick) {
        Snapshot s;
        s.cpuTotal = tick * 3;
        publish(s);
        const QIcon icon = d.tray().trayIcon()->icon();
        const QImage& shown = d.tray().statusImage();
        EXPECT_EQ(icon.pixmap(shown.size()).toImage().convertToFormat(shown.format()), shown) << tick;
        QImage cell(shown.width() + 2, shown.height(), QImage::Format_ARGB32_Premultiplied);
        cell.fill(Qt::transparent);
        QPainter p(&cell);
        icon.paint(&p, cell.rect());
    }
    EXPECT_TRUE(probe.untouched());
}

TEST_F(Delegate, SnapshotsReachTheAlertManager) {
    settings.setAlertsEnabled(true);
    AppDelegate& d = launch();
    d.engine().cancelTimer();
    EXPECT_EQ(asked, 1) << "permission is requested at launch when alerts are on";
    Snapshot hot;
    hot.cpuTotal = 99;
    publish(hot);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].title, "High load: CPU 99%");
}

TEST_F(Delegate, NoPermissionRequestWhileAlertsAreOff) {
    launch();
    EXPECT_EQ(asked, 0);
}

TEST_F(Delegate, PopoverVisibilityDrivesProcessSampling) {
    AppDelegate& d = launch();
    EXPECT_FALSE(d.engine().uiActive());
    d.tray().presentPopover();
    EXPECT_TRUE(d.tray().popoverShown());
    EXPECT_TRUE(d.engine().uiActive());
    d.tray().closePopover();
    EXPECT_FALSE(d.tray().popoverShown());
    EXPECT_FALSE(d.engine().uiActive());
    d.tray().togglePopover();  // right after a close: the click that closed it, not a new one
    EXPECT_FALSE(d.tray().popoverShown());
    d.tray().popover()->show();
    EXPECT_TRUE(d.engine().uiActive()) << "showing by any route counts";
    d.tray().togglePopover();
    EXPECT_FALSE(d.tray().popoverShown());
    EXPECT_FALSE(d.engine().uiActive());
}

TEST_F(Delegate, ServesTheEngineSnapshotsBesideTheTray) {
    server = std::make_unique<MetricsServer>(ExpositionContext{{}, QStringLiteral("t"), 2});
    ASSERT_FALSE(server->listen({QHostAddress(QHostAddress::LocalHost), 0}).has_value());
    const quint16 port = server->port();
    AppDelegate& d = launch();
    d.engine().cancelTimer();
    EXPECT_TRUE(d.engine().uiActive()) << "serving processes asks for the process list";

    Snapshot s;
    s.cpuTotal = 42;
    s.processes = {{.pid = 9, .name = "nine", .cpu = 5}};
    publish(s);
    // A blocking client on this (the GUI) thread: the server answers from its own thread.
    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write("GET /metrics HTTP/1.0\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("velmora_process_cpu_ratio") && client.waitForReadyRead(5000))
        answer += client.readAll();
    EXPECT_TRUE(answer.contains("\nvelmora_cpu_busy_ratio 0.42\n")) << answer.toStdString();
    EXPECT_TRUE(answer.contains("velmora_process_cpu_ratio{pid=\"9\",name=\"nine\"} 0.05"))
        << answer.toStdString();
}

TEST_F(Delegate, IntervalChangesLeaveOneTimer) {
    AppDelegate& d = launch();
    EXPECT_EQ(d.engine().runningTimers(), 1);
    settings.setRefreshInterval(2);
    settings.setRefreshInterval(2);
    settings.setRefreshInterval(1);
    settings.setRefreshInterval(5);
    EXPECT_EQ(d.engine().runningTimers(), 1);
    // The restarted timer still ticks (its first tick comes shortly after a start).
    const int seen = ticks;
    EXPECT_TRUE(test::waitUntil([&] { return ticks > seen; }));
}

TEST_F(Delegate, WindowButtonsAppearWithTheirWindows) {
    AppDelegate& d = launch();
    PopoverView* view = d.tray().popover()->view();
    EXPECT_FALSE(view->button(PopoverView::Button::expand)->isHidden()) << "the dashboard is built in";
    EXPECT_FALSE(view->button(PopoverView::Button::settings)->isHidden()) << "the settings window is built in";
    EXPECT_FALSE(view->button(PopoverView::Button::storage)->isHidden()) << "the storage window is built in";
    EXPECT_FALSE(view->button(PopoverView::Button::quit)->isHidden());
    d.windows().setFactory(WindowKind::storage, {});
    EXPECT_TRUE(view->button(PopoverView::Button::storage)->isHidden()) << "no window, no button";
    int made = 0;
    d.windows().setFactory(WindowKind::storage, plainWindow(&made));
    EXPECT_FALSE(view->button(PopoverView::Button::storage)->isHidden());
    view->button(PopoverView::Button::quit)->click();
    EXPECT_EQ(quits, 1);
}

TEST_F(Delegate, OpenEnvironmentVariablesOpenWindowsAfterLaunch) {
    int dashboards = 0, storages = 0, settingsWindows = 0;
    AppDelegate& d = launch({true, false, true, {}}, AppDelegate::TrayMode::trayOnly, [&](AppDelegate& d) {
        d.windows().setFactory(WindowKind::dashboard, plainWindow(&dashboards));
        d.windows().setFactory(WindowKind::storage, plainWindow(&storages));
        d.windows().setFactory(WindowKind::settings, plainWindow(&settingsWindows));
    });
    EXPECT_EQ(dashboards, 0) << "queued, not opened during launch";
    QCoreApplication::processEvents();
    EXPECT_EQ(dashboards, 1);
    EXPECT_EQ(storages, 0);
    EXPECT_EQ(settingsWindows, 1);
    EXPECT_EQ(d.windows().window(WindowKind::dashboard)->windowTitle(), "Dashboard");
    EXPECT_TRUE(d.engine().uiActive()) << "the dashboard shows processes";
}

TEST_F(Delegate, OpenRequestsForWindowsNotBuiltYetDoNothing) {
    AppDelegate& d = launch({true, false, false, {}}, AppDelegate::TrayMode::trayOnly,
                            [](AppDelegate& d) { d.windows().setFactory(WindowKind::dashboard, {}); });
    QCoreApplication::processEvents();
    EXPECT_EQ(d.windows().window(WindowKind::dashboard), nullptr);
    EXPECT_FALSE(d.engine().uiActive());
}

TEST_F(Delegate, TheDashboardOpensFromThePopoverAndFromTheEnvironment) {
    AppDelegate& d = launch({true, false, false, {}});
    QCoreApplication::processEvents();
    QWidget* w = d.windows().window(WindowKind::dashboard);
    ASSERT_NE(w, nullptr) << "VL_OPEN_DASHBOARD=1 opens it after launch";
    auto* view = w->findChild<DashboardView*>();
    ASSERT_NE(view, nullptr);
    // It opens at a size its content fits in.
    EXPECT_GE(w->width(), w->minimumSizeHint().width());
    EXPECT_GE(w->height(), w->minimumSizeHint().height());
    EXPECT_GE(w->width(), view->minimumWidth());
    EXPECT_GE(w->height(), view->minimumHeight());
    EXPECT_TRUE(d.engine().uiActive()) << "its process table asks for processes while it shows";
    w->close();
    EXPECT_FALSE(d.engine().uiActive());

    d.tray().presentPopover();
    d.tray().popover()->view()->button(PopoverView::Button::expand)->click();
    EXPECT_EQ(d.windows().window(WindowKind::dashboard), w) << "reused";
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(d.tray().popoverShown());

    // A chart's double click opens the analysis window for its metric.
    emit view->chartCard(AnalysisKind::memory)->chart()->analyseRequested();
    QWidget* analysis = d.windows().window(WindowKind::analysis);
    ASSERT_NE(analysis, nullptr);
    EXPECT_EQ(analysis->windowTitle(), "Memory usage analysis");
    ASSERT_NE(analysis->findChild<AnalysisView*>(), nullptr);
    EXPECT_EQ(analysis->findChild<AnalysisView*>()->rangeLoader().span(), HistorySpan::live);
    // Over a remembered range, the analysis opens over the same range.
    view->showSpan(HistorySpan::sixHours);
    ASSERT_EQ(view->rangeLoader().span(), HistorySpan::sixHours) << "remembering is on by default";
    emit view->chartCard(AnalysisKind::cpu)->chart()->analyseRequested();
    ASSERT_NE(d.windows().window(WindowKind::analysis)->findChild<AnalysisView*>(), nullptr);
    EXPECT_EQ(d.windows().window(WindowKind::analysis)->findChild<AnalysisView*>()->rangeLoader().span(),
              HistorySpan::sixHours);
    view->showSpan(HistorySpan::live);

    Snapshot s;
    s.cpuTotal = 42;
    s.processes = {{.pid = 9, .name = "nine", .cpu = 5}};
    publish(s);
    EXPECT_EQ(view->chartCard(AnalysisKind::cpu)->value(), "42%");
    EXPECT_EQ(view->processes()->model().rowCount(), 1);

    // A row's "Details" opens the process detail window for that pid.
    QMenu* menu = view->processes()->makeRowMenu({{}, 9, 0}, view);
    menu->findChild<QAction*>("ctxDetail")->trigger();
    delete menu;
    EXPECT_NE(d.windows().window(WindowKind::detail), nullptr);
}

TEST_F(Delegate, DashboardIsReusedAndClosingItStopsProcessSampling) {
    AppDelegate& d = launch();
    int made = 0;
    d.windows().setFactory(WindowKind::dashboard, plainWindow(&made));
    d.tray().presentPopover();
    d.openDashboard();
    EXPECT_FALSE(d.tray().popoverShown()) << "opening a window closes the popover";
    QWidget* first = d.windows().window(WindowKind::dashboard);
    ASSERT_NE(first, nullptr);
    d.openDashboard();
    EXPECT_EQ(made, 1);
    EXPECT_EQ(d.windows().window(WindowKind::dashboard), first);
    EXPECT_TRUE(d.engine().uiActive());

    first->close();
    EXPECT_EQ(d.windows().window(WindowKind::dashboard), first) << "closing hides, the window is kept";
    EXPECT_FALSE(d.engine().uiActive());
    d.openDashboard();
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(d.engine().uiActive());

    // The desktop's close key hides it the same way.
    first->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(first));
    QTest::keySequence(first, QKeySequence(QKeySequence::Close));
    EXPECT_FALSE(first->isVisible());
    EXPECT_FALSE(d.engine().uiActive());
}

TEST_F(Delegate, ClosingOneProcessWindowKeepsSamplingForTheOther) {
    AppDelegate& d = launch();
    int made = 0;
    d.windows().setFactory(WindowKind::dashboard, plainWindow(&made));
    d.openDashboard();
    int analyses = 0;
    d.openAnalysis(QStringLiteral("winDashboard"), plainWindow(&analyses));
    QWidget* analysis = d.windows().window(WindowKind::analysis);
    ASSERT_NE(analysis, nullptr);
    d.openAnalysis(QStringLiteral("winStorage"), plainWindow(&analyses));
    EXPECT_EQ(d.windows().window(WindowKind::analysis), analysis) << "new content, same window";
    EXPECT_EQ(analysis->windowTitle(), "Storage");
    EXPECT_EQ(d.processDemand().holders(), 2) << "replacing the content keeps one demand";
}

TEST_F(Delegate, TwoProcessWindowsCloseInEitherOrder) {
    for (const bool dashboardFirst : {true, false}) {
        SCOPED_TRACE(dashboardFirst ? "dashboard first" : "analysis first");
        AppDelegate& d = launch();
        int made = 0;
        d.windows().setFactory(WindowKind::dashboard, plainWindow(&made));
        d.openDashboard();
        d.openAnalysis(QStringLiteral("anTitleCpu"), plainWindow(&made));
        d.tray().presentPopover();
        EXPECT_TRUE(d.engine().uiActive());
        d.tray().closePopover();

        QWidget* first = d.windows().window(dashboardFirst ? WindowKind::dashboard : WindowKind::analysis);
        QWidget* second = d.windows().window(dashboardFirst ? WindowKind::analysis : WindowKind::dashboard);
        first->close();
        EXPECT_TRUE(d.engine().uiActive()) << "the other window still shows processes";
        second->close();
        EXPECT_FALSE(d.engine().uiActive());
        EXPECT_EQ(d.processDemand().holders(), 0);
        second->show();
        EXPECT_TRUE(d.engine().uiActive()) << "showing again by any route claims again";
        second->hide();
        EXPECT_FALSE(d.engine().uiActive());
        delegate.reset();
    }
}

TEST_F(Delegate, SettingsWindowDoesNotTurnSamplingOn) {
    AppDelegate& d = launch();
    int made = 0;
    d.windows().setFactory(WindowKind::settings, plainWindow(&made));
    d.openSettings();
    EXPECT_TRUE(d.windows().window(WindowKind::settings)->isVisible());
    EXPECT_FALSE(d.engine().uiActive());
}

TEST(WindowTitle, TheApplicationsNameIsLeftToTheDesktop) {
    struct Case {
        const char* title;
        const char* name;
        const char* shown;
    };
    const Case cases[] = {
        {"Velmora Settings", "Velmora", "Settings"},
        {"Velmora 설정", "Velmora", "설정"},
        {"Velmora การตั้งค่า", "Velmora", "การตั้งค่า"},
        {"Velmora — Settings", "Velmora", "Settings"},
        {"Settings - Velmora", "Velmora", "Settings"},
        {"Settings: velmora", "Velmora", "Settings"},
        {"  Velmora   Storage  ", "Velmora", "Storage"},
        {"Dashboard", "Velmora", "Dashboard"},
        {"Velmoran Settings", "Velmora", "Velmoran Settings"},  // a longer word is not the name
        {"Settings of Velmorax", "Velmora", "Settings of Velmorax"},
        {"About Velmora today", "Velmora", "About Velmora today"},  // inside the title: kept
        {"Velmora", "Velmora", "Velmora"},                      // the name alone stays
        {"Velmora — ", "Velmora", "Velmora — "},
        {"Velmora Settings", "", "Velmora Settings"},
        {"", "Velmora", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(withoutAppName(QString::fromUtf8(c.title), QString::fromUtf8(c.name)), QString::fromUtf8(c.shown))
            << c.title;
}

TEST_F(Delegate, WindowTitlesDoNotRepeatTheApplicationsName) {
    // As the program sets it; the desktop writes it after each title.
    const QString before = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    AppDelegate& d = launch();
    int made = 0;
    d.windows().setFactory(WindowKind::settings, plainWindow(&made));
    d.windows().setFactory(WindowKind::storage, plainWindow(&made));
    d.windows().setFactory(WindowKind::dashboard, plainWindow(&made));
    d.openSettings();
    d.openStorage();
    d.openDashboard();
    d.openAnalysis(AnalysisKind::cpu);
    d.openDetail(static_cast<int32_t>(getpid()));
    const std::pair<WindowKind, const char*> expected[] = {
        {WindowKind::settings, "popSettings"}, {WindowKind::storage, "winStorage"},
        {WindowKind::dashboard, "winDashboard"}, {WindowKind::analysis, "anTitleCpu"},
        {WindowKind::detail, "winProcessDetail"},
    };
    for (const char* language : {"en", "ko", "th", "ja", "de"}) {
        loc.apply(QString::fromLatin1(language));
        for (const auto& [kind, key] : expected) {
            QWidget* w = d.windows().window(kind);
            ASSERT_NE(w, nullptr) << key;
            EXPECT_EQ(w->windowTitle(), loc.t(key)) << language << " " << key;
            EXPECT_FALSE(w->windowTitle().contains(QStringLiteral("Velmora"), Qt::CaseInsensitive))
                << language << " " << key;
        }
    }
    // The settings' own about line still reads the name from its title text.
    EXPECT_TRUE(loc.t("winSettings").contains(QStringLiteral("Velmora")));
    loc.apply(QStringLiteral("en"));
    delegate.reset();
    QGuiApplication::setApplicationDisplayName(before);
}

TEST_F(Delegate, WithoutATrayThePopoverContentGetsAWindow) {
    // The offscreen platform has no system tray.
    AppDelegate& d = launch({}, AppDelegate::TrayMode::automatic);
    NoTrayWindow* w = d.tray().noTrayWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    auto* note = w->findChild<QLabel*>(QStringLiteral("noTrayNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), loc.t("popNoTray"));
    EXPECT_TRUE(d.engine().uiActive()) << "it shows the heavy processes";
    w->close();
    EXPECT_FALSE(d.engine().uiActive());
    EXPECT_EQ(quits, 1) << "closing the only way in ends the program";
    d.activate();
    EXPECT_TRUE(w->isVisible()) << "a second launch brings it back";
}

TEST_F(Delegate, TheInterfaceLanguageFollowsTheSetting) {
    settings.setLanguage(QStringLiteral("de"));
    launch();
    EXPECT_EQ(loc.language(), "de") << "applied at construction";
    settings.setLanguage(QStringLiteral("ko"));
    EXPECT_EQ(loc.language(), "ko") << "and on every change";
}

TEST_F(Delegate, TrayOnlyModeShowsNoWindow) {
    AppDelegate& d = launch({}, AppDelegate::TrayMode::trayOnly);
    EXPECT_EQ(d.tray().noTrayWindow(), nullptr);
    EXPECT_FALSE(d.engine().uiActive());
}

TEST(PopoverPlacement, BelowAboveAndInsideTheScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(322, 400);
    // Panel at the top: centred below the icon.
    EXPECT_EQ(popoverOrigin(QRect(1000, 0, 24, 24), size, QRect(0, 24, 1920, 1056)), QPoint(1011 - 161, 26));
    // Panel at the bottom: above the icon.
    const QPoint above = popoverOrigin(QRect(1000, 1056, 24, 24), size, QRect(0, 0, 1920, 1056));
    EXPECT_EQ(above.y(), 1056 - 2 - 400);
    // Icon in the right corner: kept on screen.
    EXPECT_EQ(popoverOrigin(QRect(1900, 0, 20, 24), size, screen).x(), 1920 - 322);
    EXPECT_EQ(popoverOrigin(QRect(0, 0, 20, 24), size, screen).x(), 0);
    // Neither below nor above fits: pinned to the area.
    const QPoint tight = popoverOrigin(QRect(500, 150, 20, 20), size, QRect(0, 0, 1920, 480));
    EXPECT_GE(tight.y(), 0);
    EXPECT_LE(tight.y() + size.height(), 480);
}

TEST_F(Delegate, GearButtonOpensTheSettingsFormWhoseControlsChangeTheRunningProgram) {
    AppDelegate& d = launch();
    d.engine().cancelTimer();
    d.tray().presentPopover();
    d.tray().popover()->view()->button(PopoverView::Button::settings)->click();
    EXPECT_FALSE(d.tray().popoverShown());
    QWidget* window = d.windows().window(WindowKind::settings);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    auto* form = window->findChild<SettingsView*>();
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->loginToggle()->isEnabled()) << "a test run has no installed desktop entry";
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "a fixed-size form";
    EXPECT_EQ(window->size(), form->size()) << "the window is the form's size: nothing of it cut off";

    // Alerts: on asks the notification service through the alert manager.
    form->alertsToggle()->click();
    EXPECT_TRUE(settings.alertsEnabled());
    EXPECT_EQ(asked, 1);

    // The tray's metric, from the next snapshot on.
    Snapshot s;
    s.cpuTotal = 10;
    s.memPercent = 95;
    form->metricPicker()->activated(form->metricPicker()->findData(static_cast<int>(MenuBarMetric::memory)));
    publish(s);
    EXPECT_EQ(d.tray().statusImage(), d.tray().menuBarIcon(s));
    settings.setMenuBarMetric(MenuBarMetric::cpu);
    EXPECT_NE(d.tray().menuBarIcon(s), d.tray().statusImage()) << "the image did follow the memory figure";

    // The interval restarts sampling at the new pace.
    form->intervalPicker()->activated(0);
    EXPECT_EQ(settings.refreshInterval(), 1.0);
    EXPECT_EQ(d.engine().runningTimers(), 1) << "the timer cancelled above runs again, once";
}

TEST_F(Delegate, LanguageChosenInSettingsRetitlesEveryOpenWindow) {
    AppDelegate& d = launch({false, false, true, {}});
    int made = 0;
    d.windows().setFactory(WindowKind::storage, plainWindow(&made));
    QCoreApplication::processEvents();  // VL_OPEN_SETTINGS opens after launch
    QWidget* window = d.windows().window(WindowKind::settings);
    ASSERT_NE(window, nullptr);
    d.openStorage();
    auto* form = window->findChild<SettingsView*>();
    ASSERT_NE(form, nullptr);
    QComboBox* picker = form->languagePicker();
    picker->activated(picker->findData(QStringLiteral("ko")));
    EXPECT_EQ(settings.language(), "ko");
    EXPECT_EQ(window->windowTitle(), "Velmora 설정");
    EXPECT_EQ(d.windows().window(WindowKind::storage)->windowTitle(), loc.t("winStorage"));
    EXPECT_EQ(loc.language(), "ko");
    EXPECT_EQ(form->languagePicker()->currentData().toString(), "ko");
}

TEST_F(Delegate, AnalysisOfAMetricReplacesTheOpenOneAndItsCloseButtonHides) {
    AppDelegate& d = launch();
    d.openAnalysis(AnalysisKind::cpu);
    QWidget* window = d.windows().window(WindowKind::analysis);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "CPU usage analysis");
    EXPECT_TRUE(d.engine().uiActive()) << "the analysis lists processes";

    d.openAnalysis(AnalysisKind::memory);
    EXPECT_EQ(d.windows().window(WindowKind::analysis), window);
    EXPECT_EQ(window->windowTitle(), "Memory usage analysis");
    auto* view = window->findChild<AnalysisView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->analysis().kind(), AnalysisKind::memory);

    emit view->closeRequested();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(d.engine().uiActive());
}

TEST_F(Delegate, TheEnvironmentOpensAnAnalysisWindowOnlyForAKnownMetric) {
    for (const auto& [raw, title] : {std::pair{"disk", "Disk I/O analysis"}, std::pair{"DISK", ""},
                                     std::pair{"1", ""}}) {
        LaunchRequests asked;
        asked.openAnalysis = QString::fromLatin1(raw);
        AppDelegate& d = launch(asked);
        QCoreApplication::processEvents();
        QWidget* window = d.windows().window(WindowKind::analysis);
        EXPECT_EQ(window ? window->windowTitle() : QString(), QString::fromLatin1(title)) << raw;
    }
}

TEST_F(Delegate, TheDetailViewOpensPerPidInOneWindowAndClosesItself) {
    AppDelegate& d = launch();
    d.openDetail(static_cast<int32_t>(::getpid()));
    QWidget* w = d.windows().window(WindowKind::detail);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), loc.t("winProcessDetail"));
    EXPECT_TRUE(d.engine().uiActive()) << "the live strip needs process samples";
    auto* view = w->findChild<ProcessDetailView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->pid(), ::getpid());
    EXPECT_FALSE(view->gone());

    d.openDetail(1);
    EXPECT_EQ(d.windows().window(WindowKind::detail), w) << "new content, same window";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QList<ProcessDetailView*> views = w->findChildren<ProcessDetailView*>();
    ASSERT_EQ(views.size(), 1);
    EXPECT_EQ(views[0]->pid(), 1);

    views[0]->findChild<QToolButton*>()->click();
    EXPECT_FALSE(w->isVisible()) << "its close button hides the window";
    EXPECT_FALSE(d.engine().uiActive());
}
