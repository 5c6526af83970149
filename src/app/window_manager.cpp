#include "app/window_manager.h"

#include "core/localizer.h"
#include "platform/app_services.h"
#include "ui/common/accessibility.h"
#include "ui/common/visible_demand.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {

using Size = WindowTraits::Size;

// Indexed by WindowKind.
constexpr std::array<WindowTraits, kWindowKinds> kTraits = {{
    // Sized to the screen, up to 1120 × 840; kept at its own size without a screen.
    {VL_KEY("winDashboard"), false, Size::screenShare, {1120, 840}, true, false},
    {VL_KEY("winSettings"), true, Size::natural, {}, false, false},
    {VL_KEY("winStorage"), true, Size::fixed, {620, 560}, false, false},
    {"", false, Size::fixed, {1040, 720}, true, true},
    // One process at a time: opening another pid replaces the content.
    {"", false, Size::fixed, {540, 720}, true, true},
}};

constexpr double kScreenWidthShare = 0.92;
constexpr double kScreenHeightShare = 0.9;

}  // namespace

const WindowTraits& windowTraits(WindowKind kind) {
    return kTraits[static_cast<size_t>(kind)];
}

QString withoutAppName(const QString& title, const QString& appName) {
    const QString name = appName.trimmed();
    if (name.isEmpty()) return title;
    // The name as a word of its own, with what joins it to the rest ("Velmora Settings",
    // "Velmora — Settings", "Settings: Velmora"); never a part of a longer word.
    static const QString joiners = QStringLiteral(" \t-–—:·|");
    auto isJoiner = [](QChar c) { return joiners.contains(c) || c.isSpace(); };
    QString rest = title.trimmed();
    if (rest.startsWith(name, Qt::CaseInsensitive) && rest.size() > name.size() && isJoiner(rest[name.size()])) {
        rest.remove(0, name.size());
        while (!rest.isEmpty() && isJoiner(rest.front()))
            rest.remove(0, 1);
    }
    if (rest.endsWith(name, Qt::CaseInsensitive) && rest.size() > name.size() &&
        isJoiner(rest[rest.size() - name.size() - 1])) {
        rest.chop(name.size());
        while (!rest.isEmpty() && isJoiner(rest.back()))
            rest.chop(1);
    }
    return rest.isEmpty() ? title : rest;
}

WindowManager::WindowManager(Localizer& loc, ProcessDemand& demand, std::function<void()> beforeOpen,
                             QObject* parent)
    : QObject(parent), loc_(loc), demand_(demand), beforeOpen_(std::move(beforeOpen)) {
    for (size_t i = 0; i < kWindowKinds; ++i)
        titleKeys_[i] = QString::fromLatin1(kTraits[i].titleKey);
    connect(&loc_, &Localizer::languageChanged, this, &WindowManager::retitle);
}

WindowManager::~WindowManager() {
    for (QPointer<QWidget>& w : windows_)
        delete w.data();
}

void WindowManager::setFactory(WindowKind kind, Factory factory) {
    factories_[index(kind)] = std::move(factory);
    emit factoriesChanged();
}

bool WindowManager::canOpen(WindowKind kind) const {
    // Windows whose content comes with each request can always open.
    return windowTraits(kind).replacesContent || static_cast<bool>(factories_[index(kind)]);
}

bool WindowManager::visible(WindowKind kind) const {
    const QWidget* w = windows_[index(kind)];
    return w && w->isVisible();
}

void WindowManager::open(WindowKind kind) {
    if (beforeOpen_) beforeOpen_();
    if (QWidget* existing = windows_[index(kind)]) {
        bringForward(existing);
        return;
    }
    const Factory& factory = factories_[index(kind)];
    if (!factory) return;  // that window is not part of this build yet
    QWidget* content = factory();
    if (!content) return;
    bringForward(create(kind, content));
}

void WindowManager::open(WindowKind kind, const QString& titleKey, const Factory& content) {
    if (beforeOpen_) beforeOpen_();
    QWidget* view = content ? content() : nullptr;
    if (!view) return;
    titleKeys_[index(kind)] = titleKey;
    QWidget* w = windows_[index(kind)];
    if (w && windowTraits(kind).replacesContent) {
        QLayout* layout = w->layout();
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        layout->addWidget(view);
        w->setWindowTitle(titleOf(titleKey));
    } else if (w) {
        delete view;
    } else {
        w = create(kind, view);
    }
    bringForward(w);
}

QWidget* WindowManager::create(WindowKind kind, QWidget* content) {
    const WindowTraits& traits = windowTraits(kind);
    // Content is hosted in a frame of the manager's own, so replacing it never loses the
    // window's place, size or demand.
    auto* w = new QWidget(nullptr, Qt::Window);
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    // A window of the content's own size keeps it: the user cannot stretch it.
    if (traits.size == Size::natural) layout->setSizeConstraint(QLayout::SetFixedSize);
    if (traits.closeOnly)
        w->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->setWindowTitle(titleOf(titleKeys_[index(kind)]));
    if (traits.showsProcesses) new VisibleDemand(w, demand_);
    // The desktop's close keys (Ctrl+W, Ctrl+F4) close these windows as they do any other.
    auto* closeKeys = new QShortcut(QKeySequence::Close, w);
    connect(closeKeys, &QShortcut::activated, w, &QWidget::close);
    // Escape dismisses the small windows, as it does a dialog; the big ones keep it for
    // their searches and lists.
    if (traits.closeOnly || kind == WindowKind::detail) {
        auto* escape = new QShortcut(QKeySequence::Cancel, w);
        connect(escape, &QShortcut::activated, w, &QWidget::close);
    }
    // Ctrl+, opens the settings from every window.
    auto* settingsKeys = new QShortcut(Accessibility::settingsKeys(), w);
    connect(settingsKeys, &QShortcut::activated, this, [this] {
        if (canOpen(WindowKind::settings)) open(WindowKind::settings);
    });
    windows_[index(kind)] = w;
    place(kind, w);
    return w;
}

void WindowManager::place(WindowKind kind, QWidget* w) const {
    const WindowTraits& traits = windowTraits(kind);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    switch (traits.size) {
        case Size::screenShare:
            if (area.isValid())
                w->resize(
                    std::min(static_cast<int>(area.width() * kScreenWidthShare), traits.extent.width()),
                    std::min(static_cast<int>(area.height() * kScreenHeightShare), traits.extent.height()));
            break;
        case Size::fixed:
            w->resize(traits.extent);
            break;
        case Size::natural:
            w->adjustSize();
            break;
    }
    if (area.isValid()) w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
}

void WindowManager::bringForward(QWidget* w) const {
    w->show();
    w->raise();
    w->activateWindow();
    platform::activateApplication();
}

QString WindowManager::titleOf(const QString& key) const {
    return withoutAppName(loc_.t(key), QGuiApplication::applicationDisplayName());
}

void WindowManager::retitle() {
    for (size_t i = 0; i < kWindowKinds; ++i)
        if (QWidget* w = windows_[i]) w->setWindowTitle(titleOf(titleKeys_[i]));
}

}  // namespace velmora
