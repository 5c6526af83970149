#include "app/app_delegate.h"

#include "history/history_recorder.h"
#include "platform/diagnostics.h"

#include "app/alert_manager.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_engine.h"
#include "export/metrics_exporter.h"
#include "export/metrics_server.h"
#include "platform/app_services.h"
#include "samplers/samplers.h"
#include "ui/analysis/analysis_view.h"
#include "ui/common/process_icons.h"
#include "ui/dashboard/dashboard_view.h"
#include "ui/detail/process_detail_view.h"
#include "ui/settings/settings_view.h"
#include "ui/storage/storage_view.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>

namespace velmora {

namespace {

AppSettings& chosen(AppSettings* settings) {
    return settings ? *settings : AppSettings::shared();
}

history::HistoryRecorder::Options historyOptions(const AppDelegate::Options& options, const AppSettings& settings) {
    history::HistoryRecorder::Options o;
    o.path = options.historyPath ? *options.historyPath
                                 : platform::stateFolder() + QStringLiteral("/history.sqlite");
    o.cadence = std::chrono::seconds(settings.rememberLoadSeconds());
    return o;
}

}  // namespace

AppDelegate::AppDelegate(Options options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      settings_(chosen(options_.settings)),
      loc_(options_.localizer ? *options_.localizer : Localizer::shared()),
      engine_(std::make_unique<MetricsEngine>(options_.source ? std::move(options_.source)
                                                              : makeMachineSamplers(settings_))),
      history_(std::make_unique<history::HistoryRecorder>(*engine_, historyOptions(options_, settings_))),
      demand_([engine = engine_.get()](bool active) { engine->setUiActive(active); }),
      desktopEntry_(options_.desktopEntry ? *options_.desktopEntry : QGuiApplication::desktopFileName()),
      tray_(*engine_, settings_, loc_, demand_,
            TrayController::Hooks{
                {[this] { openDashboard(); }, [this] { openSettings(); }, [this] { openStorage(); },
                 [this] { quit(); }},
                [this] { quit(); },
            }),
      windows_(loc_, demand_, [this] { tray_.closePopover(); }) {
    // The interface language follows the setting from here on.
    loc_.apply(settings_.language());
    connect(&settings_, &AppSettings::languageChanged, &loc_, &Localizer::apply);
    connect(&windows_, &WindowManager::factoriesChanged, this, &AppDelegate::refreshButtons);
    windows_.setFactory(WindowKind::settings, [this] { return makeSettingsView(); });
    windows_.setFactory(WindowKind::storage,
                        [this] { return new StorageView(settings_, loc_, StorageView::systemSources()); });
    windows_.setFactory(WindowKind::dashboard, [this] { return makeDashboardView(); });
}

QWidget* AppDelegate::makeDashboardView() {
    DashboardView::Hooks hooks;
    // A chart shown over a remembered range opens its analysis over the same range.
    auto made = std::make_shared<QPointer<DashboardView>>();
    hooks.onAnalyze = [this, made](AnalysisKind kind) {
        openAnalysis(kind, *made ? (*made)->rangeLoader().span() : HistorySpan::live);
    };
    hooks.processes.openDetail = [this](int32_t pid) { openDetail(pid); };
    hooks.processes.icons = [this](int32_t pid, const QString&) { return processIcons().icon(pid); };
    hooks.history = historyReader();
    auto* view = new DashboardView(*engine_, settings_, loc_, std::move(hooks));
    *made = view;
    return view;
}

HistoryReader AppDelegate::historyReader() {
    if (settings_.rememberLoadSeconds() <= 0) return {};
    // The recorder reads on its worker and answers on this thread, never once it is gone.
    return [recorder = QPointer<history::HistoryRecorder>(history_.get())](
               TimePoint from, TimePoint to, std::function<void(std::vector<history::Record>)> done) {
        if (recorder) recorder->read(from, to, std::move(done));
    };
}

QWidget* AppDelegate::makeSettingsView() {
    if (!loginItem_)
        loginItem_ = options_.loginItem ? std::move(options_.loginItem) : platform::makeLoginItem(desktopEntry_);
    SettingsView::Services services;
    services.onAuthorize = [this] { alerts().requestAuthorization(); };
    services.loginItem = loginItem_.get();
    services.reporter = options_.reporter;
    services.forgetHistory = [this](std::function<void(bool, const QString&)> done) { history_->forget(std::move(done)); };
    auto* view = new SettingsView(settings_, loc_, std::move(services));
    if (!historyAside_.isEmpty() || !historyError_.isEmpty()) view->showHistoryProblem(historyAside_, historyError_);
    connect(history_.get(), &history::HistoryRecorder::storeProblem, view, &SettingsView::showHistoryProblem);
    return view;
}

AppDelegate::~AppDelegate() = default;

AlertManager& AppDelegate::alerts() {
    if (!alerts_) {
        std::unique_ptr<Notifier> notifier =
            options_.notifier ? std::move(options_.notifier) : makeSystemNotifier(desktopEntry_);
        alerts_ = std::make_unique<AlertManager>(settings_, loc_, std::move(notifier), desktopEntry_);
    }
    return *alerts_;
}

void AppDelegate::quit() {
    if (options_.quit)
        options_.quit();
    else
        QCoreApplication::quit();
}

void AppDelegate::applicationDidFinishLaunching() {
    platform::becomeAccessoryApplication();
    // Closing a window never ends a tray program.
    QApplication::setQuitOnLastWindowClosed(false);

    tray_.create();
    refreshButtons();
    if (options_.trayMode == TrayMode::automatic && !QSystemTrayIcon::isSystemTrayAvailable())
        tray_.showNoTrayWindow();

    if (settings_.alertsEnabled()) alerts().requestAuthorization();

    if (options_.server)
        exporter_ = std::make_unique<MetricsExporter>(*engine_, std::move(options_.server), demand_);

    // Who caused the load is remembered with no window open, at the cadence the user chose.
    engine_->setBackgroundProcessPeriod(std::chrono::seconds(settings_.rememberLoadSeconds()));
    connect(&settings_, &AppSettings::rememberLoadSecondsChanged, this, [this](int seconds) {
        engine_->setBackgroundProcessPeriod(std::chrono::seconds(seconds));
        history_->setCadence(std::chrono::seconds(seconds));
    });
    connect(history_.get(), &history::HistoryRecorder::storeProblem, this,
            [this](const QString& aside, const QString& error) {
                historyAside_ = aside;
                historyError_ = error;
            });

    interval_ = settings_.refreshInterval();
    engine_->start(interval_);
    connect(&settings_, &AppSettings::refreshIntervalChanged, this, [this](double v) {
        // Repeated equal values leave the running timer alone.
        if (v == interval_) return;
        interval_ = v;
        engine_->cancelTimer();
        engine_->start(v);
    });

    // The engine publishes from the GUI thread's run loop already; a direct connection saves
    // a second event per tick.
    connect(engine_.get(), &MetricsEngine::currentChanged, this, &AppDelegate::onSnapshot);

    const LaunchRequests& open = options_.launch;
    QPointer<AppDelegate> self(this);
    auto later = [this, self](void (AppDelegate::*openIt)()) {
        QTimer::singleShot(0, this, [self, openIt] {
            if (self) (self->*openIt)();
        });
    };
    if (open.openDashboard) later(&AppDelegate::openDashboard);
    if (open.openStorage) later(&AppDelegate::openStorage);
    if (open.openSettings) later(&AppDelegate::openSettings);
    if (const auto kind = analysisKindFromRaw(open.openAnalysis))
        QTimer::singleShot(0, this, [self, kind = *kind] {
            if (self) self->openAnalysis(kind);
        });
    if (open.openDetail > 0)
        QTimer::singleShot(0, this, [self, pid = open.openDetail] {
            if (self) self->openDetail(pid);
        });
}

void AppDelegate::activate() {
    tray_.activate();
}

void AppDelegate::onSnapshot() {
    const Snapshot& s = engine_->current();
    tray_.showSnapshot(s);
    alerts().consider(s);
}

void AppDelegate::refreshButtons() {
    tray_.setButtonsAvailable(windows_.canOpen(WindowKind::dashboard), windows_.canOpen(WindowKind::storage),
                              windows_.canOpen(WindowKind::settings));
}

void AppDelegate::openDashboard() {
    windows_.open(WindowKind::dashboard);
}
void AppDelegate::openSettings() {
    windows_.open(WindowKind::settings);
}
void AppDelegate::openStorage() {
    windows_.open(WindowKind::storage);
}
void AppDelegate::openAnalysis(const QString& titleKey, const WindowManager::Factory& content) {
    windows_.open(WindowKind::analysis, titleKey, content);
}
void AppDelegate::openAnalysis(AnalysisKind kind, HistorySpan span) {
    openAnalysis(titleKey(kind), [this, kind, span]() -> QWidget* {
        AnalysisView::Services services;
        services.history = historyReader();
        // What the network window measures is remembered too: nothing else measures it.
        if (kind == AnalysisKind::network)
            services.networkMeasured = [recorder = QPointer<history::HistoryRecorder>(history_.get())](
                                           const std::vector<ProcNet>& procs) {
                if (recorder) recorder->noteNetwork(procs);
            };
        auto* view = new AnalysisView(*engine_, kind, std::move(services));
        if (span != HistorySpan::live) view->showSpan(span);
        // Closing hides the window, as its close button does.
        connect(view, &AnalysisView::closeRequested, view, [view] { view->window()->close(); });
        return view;
    });
}

void AppDelegate::openDetail(int32_t pid) {
    windows_.open(WindowKind::detail, QStringLiteral(VL_KEY("winProcessDetail")),
                  [this, pid] { return makeDetailView(pid); });
}

ProcessIconCache& AppDelegate::processIcons() {
    if (!icons_) icons_ = std::make_unique<ProcessIconCache>();
    return *icons_;
}

QWidget* AppDelegate::makeDetailView(int32_t pid) {
    ProcessDetailView::Services services;
    QPointer<AppDelegate> self(this);
    services.onClose = [self] {
        if (!self) return;
        if (QWidget* w = self->windows_.window(WindowKind::detail)) w->close();
    };
    services.icon = [self](int32_t p) { return self ? self->processIcons().icon(p) : ProcessIconCache::genericIcon(); };
    return new ProcessDetailView(*engine_, loc_, pid, std::move(services));
}

}  // namespace velmora
