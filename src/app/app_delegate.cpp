#include "app/app_delegate.h"

#include "app/alert_manager.h"
#include "app/popover_panel.h"
#include "engine/localizer.h"
#include "engine/metrics_engine.h"
#include "engine/settings.h"
#include "platform/app_services.h"
#include "ui/popover_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// A click on the tray icon first closes the open popup (as any click outside it does) and
// then arrives as an activation; within this time it is the same click.
constexpr qint64 kReopenGuardMs = 300;
constexpr int kDefaultTraySize = 22;

size_t index(AppDelegate::WindowKind kind) {
    return static_cast<size_t>(kind);
}

}  // namespace

AppDelegate::AppDelegate(Options options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      settings_(options_.settings ? *options_.settings : AppSettings::shared()),
      loc_(options_.localizer ? *options_.localizer : Localizer::shared()) {
    engine_ = options_.source ? std::make_unique<MetricsEngine>(std::move(options_.source))
                              : std::make_unique<MetricsEngine>();
    desktopEntry_ = options_.desktopEntry ? *options_.desktopEntry : QGuiApplication::desktopFileName();
}

AppDelegate::~AppDelegate() {
    // Views observe the engine: they go before it.
    for (QPointer<QWidget>& w : windows_)
        delete w.data();
    delete popover_;
    delete noTrayWindow_;
    delete tray_;
}

AlertManager& AppDelegate::alerts() {
    if (!alerts_) {
        std::unique_ptr<Notifier> notifier =
            options_.notifier ? std::move(options_.notifier) : makeSystemNotifier(desktopEntry_);
        alerts_ = std::make_unique<AlertManager>(settings_, loc_, std::move(notifier), desktopEntry_);
    }
    return *alerts_;
}

void AppDelegate::applicationDidFinishLaunching() {
    platform::becomeAccessoryApplication();
    // Closing a window never ends a tray program.
    QApplication::setQuitOnLastWindowClosed(false);

    createTray();
    createPopover();
    const bool trayMissing =
        options_.trayMode == TrayMode::automatic && !QSystemTrayIcon::isSystemTrayAvailable();
    if (trayMissing) showNoTrayWindow();

    if (settings_.alertsEnabled()) alerts().requestAuthorization();

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
    connect(&loc_, &Localizer::languageChanged, this, &AppDelegate::retitleWindows);

    const LaunchRequests& open = options_.launch;
    QPointer<AppDelegate> self(this);
    if (open.openDashboard)
        QTimer::singleShot(0, this, [self] {
            if (self) self->openDashboard();
        });
    if (open.openStorage)
        QTimer::singleShot(0, this, [self] {
            if (self) self->openStorage();
        });
    if (open.openSettings)
        QTimer::singleShot(0, this, [self] {
            if (self) self->openSettings();
        });
}

void AppDelegate::createTray() {
    tray_ = new QSystemTrayIcon();
    tray_->setToolTip(QStringLiteral("Velmora"));
    setStatusImage(drawStatus(StatusIcon::placeholder()));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) togglePopover();
    });
    // Trays that only open a menu (some indicator hosts never report a click) still reach
    // the popover and quit through it.
    trayMenu_ = std::make_unique<QMenu>();
    QAction* show = trayMenu_->addAction(loc_.t("popOpen"), this, &AppDelegate::presentPopover);
    QAction* quit = trayMenu_->addAction(loc_.t("actQuit"), this, [this] {
        if (options_.quit)
            options_.quit();
        else
            QCoreApplication::quit();
    });
    connect(&loc_, &Localizer::languageChanged, trayMenu_.get(), [this, show, quit] {
        show->setText(loc_.t("popOpen"));
        quit->setText(loc_.t("actQuit"));
    });
    tray_->setContextMenu(trayMenu_.get());
    tray_->show();
    watchTrayHost();
}

void AppDelegate::watchTrayHost() {
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

PopoverView::Actions AppDelegate::popoverActions() {
    QPointer<AppDelegate> self(this);
    return {
        [self] {
            if (self) self->openDashboard();
        },
        [self] {
            if (self) self->openSettings();
        },
        [self] {
            if (self) self->openStorage();
        },
        [self] {
            if (!self) return;
            if (self->options_.quit)
                self->options_.quit();
            else
                QCoreApplication::quit();
        },
    };
}

void AppDelegate::createPopover() {
    popover_ = new PopoverPanel(new PopoverView(*engine_, settings_, loc_, popoverActions()));
    connect(popover_, &PopoverPanel::shown, this, &AppDelegate::updateUIActive);
    connect(popover_, &PopoverPanel::hidden, this, [this] {
        popoverClosedAt_.start();
        updateUIActive();
    });
    refreshButtons();
}

void AppDelegate::showNoTrayWindow() {
    if (!noTrayWindow_) {
        noTrayWindow_ = new NoTrayWindow(new PopoverView(*engine_, settings_, loc_, popoverActions()), loc_);
        connect(noTrayWindow_, &NoTrayWindow::shown, this, &AppDelegate::updateUIActive);
        connect(noTrayWindow_, &NoTrayWindow::hidden, this, &AppDelegate::updateUIActive);
        connect(noTrayWindow_, &NoTrayWindow::closed, this, [this] {
            // Without a tray this window is the only way back in: closing it ends the program.
            if (options_.trayMode == TrayMode::automatic && !QSystemTrayIcon::isSystemTrayAvailable()) {
                if (options_.quit)
                    options_.quit();
                else
                    QCoreApplication::quit();
            }
        });
        refreshButtons();
    }
    noTrayWindow_->show();
    noTrayWindow_->raise();
    noTrayWindow_->activateWindow();
}

void AppDelegate::activate() {
    if (noTrayWindow_ && !QSystemTrayIcon::isSystemTrayAvailable()) {
        showNoTrayWindow();
        return;
    }
    presentPopover();
}

bool AppDelegate::popoverShown() const {
    return popover_ && popover_->isVisible();
}

void AppDelegate::togglePopover() {
    if (!popover_) return;
    if (popoverShown()) {
        closePopover();
        return;
    }
    if (popoverClosedAt_.isValid() && popoverClosedAt_.elapsed() < kReopenGuardMs) return;
    presentPopover();
}

QRect AppDelegate::trayAnchor() const {
    const QRect icon = tray_ ? tray_->geometry() : QRect();
    if (icon.isValid() && !icon.isEmpty()) return icon;
    // Trays that do not tell where the icon is: open where the user clicked.
    return {QCursor::pos(), QSize(1, 1)};
}

void AppDelegate::presentPopover() {
    if (!popover_) return;
    popover_->presentAt(trayAnchor());
    updateUIActive();
}

void AppDelegate::closePopover() {
    if (popoverShown()) popover_->hide();
}

QImage AppDelegate::drawStatus(const StatusImage& image) const {
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

QImage AppDelegate::menuBarIcon(const Snapshot& s) const {
    return drawStatus(statusImageFor(s, engine_->history(), settings_.menuBarMetric()));
}

void AppDelegate::setStatusImage(const QImage& image) {
    statusImage_ = image;
    if (tray_) tray_->setIcon(StatusIcon::icon(image));
}

void AppDelegate::onSnapshot() {
    const Snapshot& s = engine_->current();
    setStatusImage(menuBarIcon(s));
    alerts().consider(s);
}

void AppDelegate::updateUIActive() {
    const bool active = popoverShown() || (noTrayWindow_ && noTrayWindow_->isVisible()) ||
                        visible(WindowKind::dashboard) || visible(WindowKind::analysis);
    engine_->setUiActive(active);
}

bool AppDelegate::visible(WindowKind kind) const {
    const QWidget* w = windows_[index(kind)];
    return w && w->isVisible();
}

void AppDelegate::windowWillClose(QWidget* window) {
    // The closing window still counts as visible at this point, so the rule leaves it out.
    const bool popover = popoverShown() || (noTrayWindow_ && noTrayWindow_->isVisible());
    if (window == windows_[index(WindowKind::dashboard)]) {
        engine_->setUiActive(popover || visible(WindowKind::analysis));
    } else if (window == windows_[index(WindowKind::analysis)]) {
        engine_->setUiActive(popover || visible(WindowKind::dashboard));
    }
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched->isWidgetType())
        windowWillClose(static_cast<QWidget*>(watched));
    return QObject::eventFilter(watched, event);
}

QString AppDelegate::titleKey(WindowKind kind) {
    switch (kind) {
        case WindowKind::dashboard:
            return QStringLiteral(VL_KEY("winDashboard"));
        case WindowKind::settings:
            return QStringLiteral(VL_KEY("winSettings"));
        case WindowKind::storage:
            return QStringLiteral(VL_KEY("winStorage"));
        case WindowKind::analysis:
            break;
    }
    return {};
}

void AppDelegate::setWindowFactory(WindowKind kind, WindowFactory factory) {
    factories_[index(kind)] = std::move(factory);
    refreshButtons();
}

bool AppDelegate::canOpen(WindowKind kind) const {
    return kind == WindowKind::analysis || static_cast<bool>(factories_[index(kind)]);
}

void AppDelegate::refreshButtons() {
    for (PopoverView* view :
         {popover_ ? popover_->view() : nullptr, noTrayWindow_ ? noTrayWindow_->view() : nullptr}) {
        if (!view) continue;
        view->setButtonAvailable(PopoverView::Button::expand, canOpen(WindowKind::dashboard));
        view->setButtonAvailable(PopoverView::Button::storage, canOpen(WindowKind::storage));
        view->setButtonAvailable(PopoverView::Button::settings, canOpen(WindowKind::settings));
    }
}

QWidget* AppDelegate::window(WindowKind kind) const {
    return windows_[index(kind)];
}

void AppDelegate::openDashboard() {
    openWindow(WindowKind::dashboard);
}
void AppDelegate::openSettings() {
    openWindow(WindowKind::settings);
}
void AppDelegate::openStorage() {
    openWindow(WindowKind::storage);
}

void AppDelegate::openWindow(WindowKind kind) {
    closePopover();
    QPointer<QWidget>& slot = windows_[index(kind)];
    if (slot) {
        slot->show();
        slot->raise();
        slot->activateWindow();
        platform::activateApplication();
        if (kind == WindowKind::dashboard) updateUIActive();
        return;
    }
    const WindowFactory& factory = factories_[index(kind)];
    if (!factory) return;  // that window is not part of this build yet
    QWidget* w = factory();
    if (!w) return;
    w->setParent(nullptr, Qt::Window);
    switch (kind) {
        case WindowKind::settings:
        case WindowKind::storage:
            w->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint);
            break;
        default:
            break;
    }
    // Closing hides: the window is kept and reused.
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->setWindowTitle(loc_.t(titleKey(kind)));
    w->installEventFilter(this);
    slot = w;
    placeWindow(kind, w);
    w->show();
    w->raise();
    w->activateWindow();
    platform::activateApplication();
    if (kind == WindowKind::dashboard) updateUIActive();
}

void AppDelegate::placeWindow(WindowKind kind, QWidget* w) const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    switch (kind) {
        case WindowKind::dashboard:
            // Sized to the screen, up to 1120 × 840; kept at its own size without a screen.
            if (area.isValid())
                w->resize(std::min(static_cast<int>(area.width() * 0.92), 1120),
                          std::min(static_cast<int>(area.height() * 0.9), 840));
            break;
        case WindowKind::storage:
            w->resize(620, 560);
            break;
        case WindowKind::analysis:
            w->resize(1040, 720);
            break;
        case WindowKind::settings:
            w->adjustSize();
            break;
    }
    if (area.isValid()) w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
}

void AppDelegate::openAnalysis(const QString& titleKey, const WindowFactory& content) {
    closePopover();
    QPointer<QWidget>& slot = windows_[index(WindowKind::analysis)];
    QWidget* view = content ? content() : nullptr;
    if (!view) return;
    analysisTitleKey_ = titleKey;
    if (slot) {
        // A new kind replaces the content of the open window.
        QLayout* layout = slot->layout();
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        layout->addWidget(view);
        slot->setWindowTitle(loc_.t(titleKey));
        slot->show();
        slot->raise();
    } else {
        auto* w = new QWidget(nullptr, Qt::Window);
        auto* layout = new QVBoxLayout(w);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->setWindowTitle(loc_.t(titleKey));
        w->installEventFilter(this);
        slot = w;
        placeWindow(WindowKind::analysis, w);
        w->show();
        w->raise();
    }
    slot->activateWindow();
    platform::activateApplication();
    updateUIActive();
}

void AppDelegate::retitleWindows() {
    for (WindowKind kind : {WindowKind::dashboard, WindowKind::settings, WindowKind::storage})
        if (QWidget* w = windows_[index(kind)]) w->setWindowTitle(loc_.t(titleKey(kind)));
    if (QWidget* w = windows_[index(WindowKind::analysis)]) w->setWindowTitle(loc_.t(analysisTitleKey_));
    if (noTrayWindow_) noTrayWindow_->retranslate();
}

}  // namespace velmora
