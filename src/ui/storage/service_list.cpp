#include "ui/storage/service_list.h"

#include "core/localizer.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace velmora {

namespace {

constexpr int kDotPx = 8;
constexpr int kLockPx = 14;
constexpr int kGap = 8;
constexpr int kButtonHeight = 24;
constexpr int kButtonMinWidth = 72;
constexpr int kRowPadding = 6;

QPixmap dot(const QColor& color, qreal dpr) {
    QPixmap pm(QSize(kDotPx, kDotPx) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(0, 0, kDotPx, kDotPx));
    return pm;
}

}  // namespace

class ServiceList::Model : public QAbstractListModel {
  public:
    explicit Model(ServiceList* list) : QAbstractListModel(list), list_(list) {}
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(list_->rows_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || static_cast<size_t>(index.row()) >= list_->rows_.size()) return {};
        const ServiceRowView& row = list_->rows_[index.row()];
        if (role == Qt::DisplayRole) return row.label;
        if (role == Qt::AccessibleTextRole) return serviceControlName(row, list_->loc_);
        if (role == Qt::AccessibleDescriptionRole || role == Qt::ToolTipRole) return row.status;
        return {};
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }

  private:
    ServiceList* list_;
};

class ServiceList::Delegate : public QStyledItemDelegate {
  public:
    explicit Delegate(ServiceList* list) : QStyledItemDelegate(list), list_(list) {
        const qreal dpr = list->devicePixelRatioF();
        QColor idle = SystemColor::secondary(list->palette());
        idle.setAlphaF(0.35f);
        running_ = dot(SystemColor::green(), dpr);
        idle_ = dot(idle, dpr);
        lock_ = Symbols::pixmap(QStringLiteral("lock.fill"), kLockPx, SystemColor::secondary(list->palette()), dpr);
        titleFont_ = ViewFonts::body(list->font());
        statusFont_ = ViewFonts::caption2(list->font());
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        const int text = QFontMetrics(titleFont_).height() + QFontMetrics(statusFont_).height() + 1;
        return {0, std::max(text, kButtonHeight) + 2 * kRowPadding + 1};
    }

    QRect controlRect(const QRect& row, const ServiceRowView& shown) const {
        const int mid = row.top() + (row.height() - 1) / 2;
        if (shown.control == ServiceRowView::Control::locked)
            return {row.right() - kLockPx + 1, mid - kLockPx / 2, kLockPx, kLockPx};
        const QString text = buttonText(shown);
        const int w = std::max(kButtonMinWidth, list_->fontMetrics().horizontalAdvance(text) + 24);
        return {row.right() - w + 1, mid - kButtonHeight / 2, w, kButtonHeight};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (static_cast<size_t>(index.row()) >= list_->rows_.size()) return;
        const ServiceRowView& shown = list_->rows_[index.row()];
        const QRect row = option.rect;
        p->save();
        const QPixmap& d = shown.running ? running_ : idle_;
        p->drawPixmap(row.left(), row.top() + (row.height() - kDotPx) / 2, d);

        const QRect control = controlRect(row, shown);
        const int textLeft = row.left() + kDotPx + kGap;
        const int textWidth = std::max(0, control.left() - kGap - textLeft);
        const QFontMetrics title(titleFont_), status(statusFont_);
        const int top = row.top() + (row.height() - title.height() - status.height() - 1) / 2;
        p->setFont(titleFont_);
        p->setPen(option.palette.color(QPalette::WindowText));
        p->drawText(QRect(textLeft, top, textWidth, title.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    title.elidedText(shown.label, Qt::ElideMiddle, textWidth));
        p->setFont(statusFont_);
        p->setPen(SystemColor::secondary(option.palette));
        p->drawText(QRect(textLeft, top + title.height() + 1, textWidth, status.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, status.elidedText(shown.status, Qt::ElideRight, textWidth));

        const bool focused = list_->focusedRow() == index.row();
        if (shown.control == ServiceRowView::Control::locked) {
            p->drawPixmap(control.topLeft(), lock_);
            if (focused) drawFocusFrame(p, control.adjusted(-2, -2, 2, 2));
        } else {
            QStyleOptionButton button;
            button.initFrom(list_);
            button.rect = control;
            button.text = buttonText(shown);
            button.state = QStyle::State_Enabled | QStyle::State_Raised;
            if (pressed_ == index.row()) button.state |= QStyle::State_Sunken;
            if (focused) button.state |= QStyle::State_HasFocus;
            else button.state &= ~QStyle::State_HasFocus;
            if (shown.stopIsRed) button.palette.setColor(QPalette::ButtonText, SystemColor::red());
            list_->style()->drawControl(QStyle::CE_PushButton, &button, p, list_);
            // Styles differ in whether a button's focus shows; the frame always does.
            if (focused) drawFocusFrame(p, control);
        }
        p->setPen(option.palette.color(QPalette::Mid));
        p->drawLine(row.left(), row.bottom(), row.right(), row.bottom());
        p->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (static_cast<size_t>(index.row()) >= list_->rows_.size()) return false;
        const ServiceRowView& shown = list_->rows_[index.row()];
        if (shown.control == ServiceRowView::Control::locked) return false;
        const QRect control = controlRect(option.rect, shown);
        if (event->type() == QEvent::MouseButtonPress) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton || !control.contains(e->position().toPoint())) return false;
            pressed_ = index.row();
            list_->viewport()->update(option.rect);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && pressed_ >= 0) {
            auto* e = static_cast<QMouseEvent*>(event);
            const bool hit = pressed_ == index.row() && control.contains(e->position().toPoint());
            pressed_ = -1;
            list_->viewport()->update();
            if (hit) emit list_->act(static_cast<size_t>(index.row()), shown.control);
            return true;
        }
        return false;
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || static_cast<size_t>(index.row()) >= list_->rows_.size())
            return false;
        const ServiceRowView& shown = list_->rows_[index.row()];
        const bool onLock =
            shown.control == ServiceRowView::Control::locked && controlRect(option.rect, shown).contains(event->pos());
        QToolTip::showText(event->globalPos(), onLock ? list_->loc_.t(VL_KEY("stgServiceProtected")) : shown.label, view);
        return true;
    }

  private:
    void drawFocusFrame(QPainter* p, const QRect& r) const {
        QStyleOptionFocusRect frame;
        frame.initFrom(list_);
        frame.rect = r;
        frame.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
        frame.backgroundColor = list_->palette().color(QPalette::Window);
        list_->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, p, list_);
    }

    QString buttonText(const ServiceRowView& shown) const {
        return list_->loc_.t(QString::fromLatin1(shown.control == ServiceRowView::Control::stop ? VL_KEY("actStop")
                                                                                                : VL_KEY("actStart")));
    }

    ServiceList* list_;
    QPixmap running_, idle_, lock_;
    QFont titleFont_, statusFont_;
    int pressed_ = -1;
};

ServiceList::ServiceList(const Localizer& loc, QWidget* parent)
    : QListView(parent), loc_(loc), model_(new Model(this)), delegate_(new Delegate(this)) {
    setModel(model_);
    setItemDelegate(delegate_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
}

ServiceList::~ServiceList() = default;

void ServiceList::setRows(std::vector<ServiceRowView> rows) {
    // The focus stays with its service across a rescan (a Stop becomes a Start in place).
    const int focused = currentIndex().isValid() ? currentIndex().row() : -1;
    const QString label = focused >= 0 && static_cast<size_t>(focused) < rows_.size() ? rows_[focused].label : QString();
    rows_ = std::move(rows);
    model_->reset();
    if (label.isEmpty()) return;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].label != label) continue;
        setCurrentIndex(model_->index(static_cast<int>(i)));
        return;
    }
}

int ServiceList::focusedRow() const {
    if (!hasFocus() || !currentIndex().isValid()) return -1;
    return currentIndex().row();
}

int ServiceList::actionableRow(int from, bool forward) const {
    const int n = static_cast<int>(rows_.size());
    for (int i = forward ? from + 1 : from - 1; i >= 0 && i < n; i += forward ? 1 : -1)
        if (rows_[i].control != ServiceRowView::Control::locked) return i;
    return -1;
}

void ServiceList::focusRow(int row) {
    const QModelIndex index = model_->index(row);
    setCurrentIndex(index);
    scrollTo(index);
    viewport()->update();
}

void ServiceList::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    const int n = static_cast<int>(rows_.size());
    // Entering by Tab lands on the first button, by Backtab on the last one.
    if (event->reason() == Qt::TabFocusReason) {
        if (const int row = actionableRow(-1, true); row >= 0) focusRow(row);
    } else if (event->reason() == Qt::BacktabFocusReason) {
        if (const int row = actionableRow(n, false); row >= 0) focusRow(row);
    }
    viewport()->update();
}

bool ServiceList::focusNextPrevChild(bool next) {
    if (hasFocus()) {
        const int from = currentIndex().isValid() ? currentIndex().row() : (next ? -1 : static_cast<int>(rows_.size()));
        if (const int row = actionableRow(from, next); row >= 0) {
            focusRow(row);
            return true;
        }
    }
    return QListView::focusNextPrevChild(next);  // past the last button: on to the next widget
}

void ServiceList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Select: {
            const int row = focusedRow();
            if (row >= 0 && static_cast<size_t>(row) < rows_.size() &&
                rows_[row].control != ServiceRowView::Control::locked &&
                (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                event->accept();
                emit act(static_cast<size_t>(row), rows_[row].control);
                return;
            }
            break;
        }
        default: break;
    }
    QListView::keyPressEvent(event);
}

QRect ServiceList::controlRect(size_t row) const {
    if (row >= rows_.size()) return {};
    const QRect r = visualRect(model_->index(static_cast<int>(row)));
    if (!r.isValid() || !viewport()->rect().intersects(r)) return {};
    return delegate_->controlRect(r, rows_[row]);
}

}  // namespace velmora
