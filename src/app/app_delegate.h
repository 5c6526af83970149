#pragma once

#include "app/launch_env.h"
#include "app/notifier.h"
#include "app/status_icon.h"
#include "engine/snapshot_source.h"
#include "ui/popover_view.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace velmora {

class AlertManager;
class AppSettings;
class Localizer;
class MetricsEngine;
class NoTrayWindow;
class PopoverPanel;
class PopoverView;

// The application object's delegate: owns the engine, the alert manager, the tray item, the
// popover and every window for the whole run, and tells the engine when a process-showing
// view is visible.
class AppDelegate : public QObject {
    Q_OBJECT
  public:
    enum class WindowKind { dashboard, settings, storage, analysis };
    // Builds a window's view; the delegate wraps, titles, places and keeps it.
    using WindowFactory = std::function<QWidget*()>;

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
        LaunchRequests launch;                   // windows asked for by the environment
        TrayMode trayMode = TrayMode::automatic;
        std::function<void()> quit;  // null: ends the application's event loop
    };

    explicit AppDelegate(Options options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Builds the tray item, the popover and the subscriptions, and starts sampling.
    void applicationDidFinishLaunching();

    void togglePopover();
    void presentPopover();
    void closePopover();
    // Brings the program forward when a second launch asks for it.
    void activate();

    // The status image for a snapshot in the layout the tray uses, at its pixel ratio.
    QImage menuBarIcon(const Snapshot& s) const;
    QImage drawStatus(const StatusImage& image) const;

    // Windows come from their views' factories; the popover shows a window's button only
    // once its factory exists.
    void setWindowFactory(WindowKind kind, WindowFactory factory);
    bool canOpen(WindowKind kind) const;
    void openDashboard();
    void openSettings();
    void openStorage();
    // Opens the analysis window, or replaces its content when it is open, titled by `titleKey`.
    void openAnalysis(const QString& titleKey, const WindowFactory& content);
    QWidget* window(WindowKind kind) const;

    // Process sampling is on exactly while the popover (or its stand-in window), the
    // dashboard or the analysis window is visible.
    void updateUIActive();
    void windowWillClose(QWidget* window);

    MetricsEngine& engine() { return *engine_; }
    AppSettings& settings() { return settings_; }
    AlertManager& alerts();
    PopoverPanel* popover() const { return popover_; }
    NoTrayWindow* noTrayWindow() const { return noTrayWindow_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // The image the tray shows now.
    const QImage& statusImage() const { return statusImage_; }
    bool popoverShown() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createTray();
    PopoverView::Actions popoverActions();
    void createPopover();
    void showNoTrayWindow();
    void onSnapshot();
    void setStatusImage(const QImage& image);
    void openWindow(WindowKind kind);
    void placeWindow(WindowKind kind, QWidget* window) const;
    void retitleWindows();
    void refreshButtons();
    void watchTrayHost();
    QRect trayAnchor() const;
    bool visible(WindowKind kind) const;
    static QString titleKey(WindowKind kind);

    Options options_;
    AppSettings& settings_;
    Localizer& loc_;
    std::unique_ptr<MetricsEngine> engine_;
    std::unique_ptr<AlertManager> alerts_;
    QString desktopEntry_;
    double interval_ = 0;

    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<QMenu> trayMenu_;
    QImage statusImage_;
    PopoverPanel* popover_ = nullptr;
    NoTrayWindow* noTrayWindow_ = nullptr;
    QElapsedTimer popoverClosedAt_;
    std::array<WindowFactory, 4> factories_;
    std::array<QPointer<QWidget>, 4> windows_;
    QString analysisTitleKey_;
};

}  // namespace velmora
