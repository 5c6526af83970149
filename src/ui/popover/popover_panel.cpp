#include "ui/popover/popover_panel.h"

#include "core/localizer.h"
#include "ui/common/accessibility.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"
#include "ui/popover/popover_view.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {
constexpr int kGap = 2;
}

QPoint popoverOrigin(const QRect& anchor, const QSize& size, const QRect& area) {
    int x = anchor.center().x() - size.width() / 2;
    x = std::max(area.left(), std::min(x, area.left() + area.width() - size.width()));
    const int below = anchor.bottom() + 1 + kGap;
    const int above = anchor.top() - kGap - size.height();
    int y;
    if (below + size.height() <= area.top() + area.height())
        y = below;
    else if (above >= area.top())
        y = above;
    else
        y = std::max(area.top(), area.top() + area.height() - size.height());
    return {x, y};
}

PopoverHold holdPopover(const QRect& current, bool bottomFixed, bool pointerInside, const QRect& area,
                        int wantedRows, const std::function<int(int rows)>& natural) {
    // The most rows that fit between the fixed edge and the screen's far side.
    const int room = bottomFixed ? current.bottom() - area.top() + 1 : area.bottom() - current.top() + 1;
    int rows = std::max(0, wantedRows);
    int height = natural(rows);
    while (rows > 0 && height > room)
        height = natural(--rows);
    if (!bottomFixed) {
        if (pointerInside) {
            // Held: as many rows as the present height holds, the rest wait for the pointer
            // to leave.
            while (rows > 0 && height > current.height())
                height = natural(--rows);
        }
        height = std::max(height, std::min(current.height(), room));
    }
    const int top = bottomFixed ? current.bottom() + 1 - height : current.top();
    return {height, rows, top};
}

PopoverPanel::PopoverPanel(PopoverView* view)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint), view_(view) {
    setObjectName(QStringLiteral("popover"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    // The panel sets its own size (keepBar): rows shown by a redraw must not resize it first,
    // at its top, before it can decide which edge moves.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(view_);
    pointer_ = [] { return QCursor::pos(); };
    // Each redraw may list other processes: the size follows, keeping the bar in place.
    connect(view_, &PopoverView::refreshed, this, [this] {
        if (placed_ && isVisible()) keepBar();
    });
}

void PopoverPanel::presentAt(const QRect& anchor) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    placed_ = false;
    fitContent();
    area_ = screen ? screen->availableGeometry() : QRect();
    if (screen) {
        const QPoint origin = popoverOrigin(anchor, size(), area_);
        move(origin);
        // Above the anchor (a panel at the bottom of the screen): the edge by the tray is
        // the bottom one.
        bottomFixed_ = origin.y() + height() <= anchor.top();
    } else {
        bottomFixed_ = false;
    }
    show();
    held_ = geometry();
    placed_ = screen != nullptr;
    raise();
    activateWindow();
}

int PopoverPanel::naturalHeight(int rows) {
    view_->setHeavyRowLimit(rows);
    // Rows shown or hidden are laid out now, not on the next event loop pass, so the size
    // asked for is the final one.
    view_->layout()->activate();
    layout()->invalidate();
    layout()->activate();
    return layout()->sizeHint().height();
}

void PopoverPanel::fitContent() {
    view_->setHeavyRowLimit(kHeavyProcessLimit);
    view_->refresh();
    const int height = naturalHeight(kHeavyProcessLimit);
    setFixedSize(layout()->sizeHint().width(), height);
}

void PopoverPanel::keepBar() {
    const QRect current = held_;
    const bool inside = current.contains(pointer_());
    const PopoverHold hold = holdPopover(current, bottomFixed_, inside, area_, kHeavyProcessLimit,
                                         [this](int rows) { return naturalHeight(rows); });
    view_->setHeavyRowLimit(hold.rows);
    if (hold.height == current.height() && hold.top == current.top()) return;
    held_ = QRect(current.left(), hold.top, current.width(), hold.height);
    // One move of the window, not a resize at its top then a move.
    setMinimumHeight(std::min(minimumHeight(), hold.height));
    setMaximumHeight(std::max(maximumHeight(), hold.height));
    setGeometry(held_);
    setFixedHeight(hold.height);
}

void PopoverPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The keyboard starts on the first control; Escape closes the panel (a popup's own key).
    if (QWidget* first = Accessibility::firstTabStop(view_)) first->setFocus(Qt::PopupFocusReason);
    emit shown();
}

void PopoverPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit hidden();
}

void PopoverPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    QColor edge = SystemColor::secondary(palette());
    edge.setAlphaF(0.35f);
    p.setPen(edge);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

NoTrayWindow::NoTrayWindow(PopoverView* view, Localizer& loc)
    : QWidget(nullptr, Qt::Window), view_(view), loc_(loc) {
    setObjectName(QStringLiteral("noTrayWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, PopoverView::padding, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("noTrayNote"));
    note_->setWordWrap(true);
    note_->setFixedWidth(PopoverView::contentWidth - 2 * PopoverView::padding);
    note_->setFont(ViewFonts::caption(font()));
    QPalette pal = note_->palette();
    pal.setColor(QPalette::WindowText, SystemColor::secondary(palette()));
    note_->setPalette(pal);
    auto* noteRow = new QHBoxLayout;
    noteRow->setContentsMargins(PopoverView::padding, 0, PopoverView::padding, 0);
    noteRow->addWidget(note_);
    layout->addLayout(noteRow);
    layout->addWidget(view_);
    retranslate();
}

void NoTrayWindow::retranslate() {
    setWindowTitle(QStringLiteral("Velmora"));
    note_->setText(loc_.t("popNoTray"));
}

void NoTrayWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit shown();
}

void NoTrayWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit hidden();
}

void NoTrayWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

}  // namespace velmora
