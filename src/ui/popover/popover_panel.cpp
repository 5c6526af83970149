#include "ui/popover/popover_panel.h"

#include "core/localizer.h"
#include "ui/common/accessibility.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"
#include "ui/popover/popover_view.h"

#include <QCloseEvent>
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

PopoverPanel::PopoverPanel(PopoverView* view)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint), view_(view) {
    setObjectName(QStringLiteral("popover"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // follows the content as rows come and go
    layout->addWidget(view_);
}

void PopoverPanel::presentAt(const QRect& anchor) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    fitContent();
    if (screen) move(popoverOrigin(anchor, size(), screen->availableGeometry()));
    show();
    raise();
    activateWindow();
}

void PopoverPanel::fitContent() {
    view_->refresh();
    // Rows shown or hidden by the refresh are laid out now, not on the next event loop pass,
    // so the size below is the final one.
    view_->layout()->activate();
    layout()->activate();
    adjustSize();
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
