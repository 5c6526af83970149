#pragma once

#include "app/launch_env.h"
#include "app/notifier.h"
#include "app/tray_controller.h"
#include "app/window_manager.h"
#include "core/snapshot_source.h"
#include "engine/process_demand.h"
#include "export/metrics_server.h"
#include "platform/login_item.h"
#include "ui/analysis/analysis_model.h"
#include "ui/common/stored_range.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class AlertManager;
class AppSettings;
class BugReporter;
class Localizer;
class MetricsEngine;
class MetricsExporter;
class ProcessIconCache;
namespace history {
class HistoryRecorder;
}

// Where the program is wired together: owns the engine, the process demand, the alert
// manager, the tray and the windows for the whole run, and connects them. The work itself
// lives in those parts (TrayController, WindowManager, AlertManager, MetricsEngine).
class AppDelegate : public QObject {
    Q_OBJECT
  public:
    enum class TrayMode {
        automatic,  // the tray when the desktop has one, the stand-in window otherwise
        trayOnly,   // never the stand-in window (measurements, a tray known to come later)
    };

    struct Options {
        std::unique_ptr<SnapshotSource> source;  // null: the machine's samplers
        AppSettings* settings = nullptr;         // null: the shared settings
        Localizer* localizer = nullptr;          // null: the shared localizer
        std::unique_ptr<Notifier> notifier;      // null: the desktop's notification service
        std::optional<QString> desktopEntry;     // absent: the application's desktop-file name
        std::unique_ptr<platform::LoginItem> loginItem;  // null: the program's own, by its entry
        BugReporter* reporter = nullptr;                 // null: the shared reporter
        LaunchRequests launch;                   // windows asked for by the environment
        TrayMode trayMode = TrayMode::automatic;
        std::function<void()> quit;             // null: ends the application's event loop
        std::unique_ptr<MetricsServer> server;  // listening already: serves the engine's snapshots
        // The remembered record's database; absent: history.sqlite in the state folder.
        std::optional<QString> historyPath;
    };

    explicit AppDelegate(Options options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Builds the tray item, the popover and the subscriptions, and starts sampling.
    void applicationDidFinishLaunching();
    // Brings the program forward when a second launch asks for it.
    void activate();

    void openDashboard();
    void openSettings();
    void openStorage();
    // Opens the analysis window, or replaces its content when it is open, titled by `titleKey`.
    void openAnalysis(const QString& titleKey, const WindowManager::Factory& content);
    // The analysis window for one metric, over the engine's history or, for another span, the
    // remembered record.
    void openAnalysis(AnalysisKind kind, HistorySpan span = HistorySpan::live);
    // Opens the process detail view for `pid`, in place of the one shown before.
    void openDetail(int32_t pid);
    // The process icons every process list shares.
    ProcessIconCache& processIcons();

    MetricsEngine& engine() { return *engine_; }
    AppSettings& settings() { return settings_; }
    AlertManager& alerts();
    history::HistoryRecorder& history() { return *history_; }
    ProcessDemand& processDemand() { return demand_; }
    TrayController& tray() { return tray_; }
    WindowManager& windows() { return windows_; }

  private:
    void onSnapshot();
    void quit();
    void refreshButtons();
    QWidget* makeSettingsView();
    QWidget* makeDetailView(int32_t pid);
    QWidget* makeDashboardView();
    // What the windows read the remembered record through; empty while remembering is off.
    HistoryReader historyReader();

    Options options_;
    AppSettings& settings_;
    Localizer& loc_;
    std::unique_ptr<MetricsEngine> engine_;
    // Follows the engine's snapshots: declared after it, so it goes first.
    std::unique_ptr<history::HistoryRecorder> history_;
    // Kept to be shown by a settings window opened later.
    QString historyAside_, historyError_;
    ProcessDemand demand_;
    std::unique_ptr<AlertManager> alerts_;
    std::unique_ptr<MetricsExporter> exporter_;  // holds a demand token: declared after demand_
    QString desktopEntry_;
    double interval_ = 0;
    std::unique_ptr<platform::LoginItem> loginItem_;
    std::unique_ptr<ProcessIconCache> icons_;
    // Views observe the engine and hold demand tokens: declared after both, so they go first.
    TrayController tray_;
    WindowManager windows_;
};

}  // namespace velmora
