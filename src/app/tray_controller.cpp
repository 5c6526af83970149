#include "app/tray_controller.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_feed.h"
#include "ui/common/visible_demand.h"
#include "ui/popover/popover_panel.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

namespace velmora {

namespace {

// A click on the tray icon first closes the open popup (as any click outside it does) and
// then arrives as an activation; within this time it is the same click.
constexpr qint64 kReopenGuardMs = 300;
constexpr int kDefaultTraySize = 22;

}  // namespace

TrayController::TrayController(MetricsFeed& feed, AppSettings& settings, Localizer& loc,
                               ProcessDemand& demand, Hooks hooks, QObject* parent)
    : QObject(parent),
      feed_(feed),
      settings_(settings),
      loc_(loc),
      demand_(demand),
      hooks_(std::move(hooks)) {}

TrayController::~TrayController() {
    delete popover_;
    delete noTrayWindow_;
    delete tray_;
}

void TrayController::create() {
    tray_ = new QSystemTrayIcon();
    tray_->setToolTip(QStringLiteral("Velmora"));
    setStatusImage(drawStatus(StatusIcon::placeholder()));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) togglePopover();
    });
    // Trays that only open a menu (some indicator hosts never report a click) still reach
    // the popover and quit through it.
    trayMenu_ = std::make_unique<QMenu>();
    QAction* show = trayMenu_->addAction(loc_.t("popOpen"), this, &TrayController::presentPopover);
    QAction* quit = trayMenu_->addAction(loc_.t("actQuit"), this, [this] {
        if (hooks_.quit) hooks_.quit();
    });
    connect(&loc_, &Localizer::languageChanged, trayMenu_.get(), [this, show, quit] {
        show->setText(loc_.t("popOpen"));
        quit->setText(loc_.t("actQuit"));
    });
    tray_->setContextMenu(trayMenu_.get());
    tray_->show();
    watchTrayHost();

    popover_ = new PopoverPanel(new PopoverView(feed_, settings_, loc_, hooks_.actions));
    new VisibleDemand(popover_, demand_);
    connect(popover_, &PopoverPanel::hidden, this, [this] { popoverClosedAt_.start(); });
    applyButtons(popover_->view());
}

void TrayController::watchTrayHost() {
    // A panel restart brings a new tray host; the icon registers with it again. (Trays that
    // embed icons as windows re-dock them on their own.)
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    auto* watcher = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                            QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (!tray_) return;
        tray_->hide();
        tray_->show();
    });
}

void TrayController::showNoTrayWindow() {
    if (!noTrayWindow_) {
        noTrayWindow_ = new NoTrayWindow(new PopoverView(feed_, settings_, loc_, hooks_.actions), loc_);
        new VisibleDemand(noTrayWindow_, demand_);
        connect(noTrayWindow_, &NoTrayWindow::closed, this, [this] {
            // Without a tray this window is the only way back in: closing it ends the program.
            if (!QSystemTrayIcon::isSystemTrayAvailable() && hooks_.quit) hooks_.quit();
        });
        connect(&loc_, &Localizer::languageChanged, noTrayWindow_, &NoTrayWindow::retranslate);
        applyButtons(noTrayWindow_->view());
    }
    noTrayWindow_->show();
    noTrayWindow_->raise();
    noTrayWindow_->activateWindow();
}

void TrayController::activate() {
    if (noTrayWindow_ && !QSystemTrayIcon::isSystemTrayAvailable()) {
        showNoTrayWindow();
        return;
    }
    presentPopover();
}

bool TrayController::popoverShown() const {
    return popover_ && popover_->isVisible();
}

void TrayController::togglePopover() {
    if (!popover_) return;
    if (popoverShown()) {
        closePopover();
        return;
    }
    if (popoverClosedAt_.isValid() && popoverClosedAt_.elapsed() < kReopenGuardMs) return;
    presentPopover();
}

QRect TrayController::trayAnchor() const {
    const QRect icon = tray_ ? tray_->geometry() : QRect();
    if (icon.isValid() && !icon.isEmpty()) return icon;
    // Trays that do not tell where the icon is: open where the user clicked.
    return {QCursor::pos(), QSize(1, 1)};
}

void TrayController::presentPopover() {
    if (popover_) popover_->presentAt(trayAnchor());
}

void TrayController::closePopover() {
    if (popoverShown()) popover_->hide();
}

void TrayController::setButtonsAvailable(bool dashboard, bool storage, bool settings) {
    dashboardButton_ = dashboard;
    storageButton_ = storage;
    settingsButton_ = settings;
    for (PopoverView* view :
         {popover_ ? popover_->view() : nullptr, noTrayWindow_ ? noTrayWindow_->view() : nullptr})
        if (view) applyButtons(view);
}

void TrayController::applyButtons(PopoverView* view) const {
    view->setButtonAvailable(PopoverView::Button::expand, dashboardButton_);
    view->setButtonAvailable(PopoverView::Button::storage, storageButton_);
    view->setButtonAvailable(PopoverView::Button::settings, settingsButton_);
}

QImage TrayController::drawStatus(const StatusImage& image) const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpr = screen ? screen->devicePixelRatio() : 1.0;
#ifdef Q_OS_MACOS
    return StatusIcon::render(image, dpr);
#else
    // Linux trays give each icon a cell of their own choosing, nearly always square; the wide
    // image would shrink to a sliver there. A cell that is clearly wider gets the wide image.
    const QRect cell = tray_ ? tray_->geometry() : QRect();
    if (cell.isValid() && cell.height() > 0 && cell.width() >= cell.height() * 2)
        return StatusIcon::render(image, dpr * cell.height() / StatusIcon::heightPt);
    const int size = cell.isValid() && cell.height() >= 16 ? cell.height() : kDefaultTraySize;
    return StatusIcon::renderSquare(image, size, dpr);
#endif
}

QImage TrayController::menuBarIcon(const Snapshot& s) const {
    return drawStatus(statusImageFor(s, feed_.history(), settings_.menuBarMetric()));
}

void TrayController::showSnapshot(const Snapshot& s) {
    setStatusImage(menuBarIcon(s));
}

void TrayController::setStatusImage(const QImage& image) {
    statusImage_ = image;
    if (tray_) tray_->setIcon(StatusIcon::icon(image));
}

}  // namespace velmora
