#pragma once

#include "ui/common/status_icon.h"
#include "ui/popover/popover_view.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace velmora {

class AppSettings;
class Localizer;
class MetricsFeed;
class NoTrayWindow;
class PopoverPanel;
class ProcessDemand;
struct Snapshot;

// The program's presence in the status bar: the tray item and its menu, the status image,
// the popover that opens from it, and the ordinary window that stands in when the desktop
// has no tray. The popover and its stand-in hold a process demand while visible.
class TrayController : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        PopoverView::Actions actions;  // the popover's buttons
        std::function<void()> quit;    // the tray menu's quit, and closing the stand-in window
    };

    TrayController(MetricsFeed& feed, AppSettings& settings, Localizer& loc, ProcessDemand& demand,
                   Hooks hooks, QObject* parent = nullptr);
    ~TrayController() override;

    // The tray item with its placeholder image, and the popover.
    void create();
    // The popover's content in a window of its own, for desktops without a tray.
    void showNoTrayWindow();

    void togglePopover();
    void presentPopover();
    void closePopover();
    bool popoverShown() const;
    // Brings the program forward when a second launch asks for it.
    void activate();

    // Redraws the status image for the feed's newest snapshot.
    void showSnapshot(const Snapshot& s);
    // The status image for a snapshot in the layout the tray uses, at its pixel ratio.
    QImage menuBarIcon(const Snapshot& s) const;
    QImage drawStatus(const StatusImage& image) const;
    const QImage& statusImage() const { return statusImage_; }

    // Shows the popover's window buttons only for windows that can open.
    void setButtonsAvailable(bool dashboard, bool storage, bool settings);

    PopoverPanel* popover() const { return popover_; }
    NoTrayWindow* noTrayWindow() const { return noTrayWindow_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }

  private:
    void watchTrayHost();
    void setStatusImage(const QImage& image);
    QRect trayAnchor() const;
    void applyButtons(PopoverView* view) const;

    MetricsFeed& feed_;
    AppSettings& settings_;
    Localizer& loc_;
    ProcessDemand& demand_;
    Hooks hooks_;

    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<QMenu> trayMenu_;
    QImage statusImage_;
    PopoverPanel* popover_ = nullptr;
    NoTrayWindow* noTrayWindow_ = nullptr;
    QElapsedTimer popoverClosedAt_;
    bool dashboardButton_ = false, storageButton_ = false, settingsButton_ = false;
};

}  // namespace velmora
