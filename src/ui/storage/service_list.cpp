#include "ui/storage/service_list.h"

#include "core/localizer.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHelpEvent>
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
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return list_->rows_[index.row()].label;
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

        if (shown.control == ServiceRowView::Control::locked) {
            p->drawPixmap(control.topLeft(), lock_);
        } else {
            QStyleOptionButton button;
            button.initFrom(list_);
            button.rect = control;
            button.text = buttonText(shown);
            button.state = QStyle::State_Enabled | QStyle::State_Raised;
            if (pressed_ == index.row()) button.state |= QStyle::State_Sunken;
            if (shown.stopIsRed) button.palette.setColor(QPalette::ButtonText, SystemColor::red());
            list_->style()->drawControl(QStyle::CE_PushButton, &button, p, list_);
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
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
}

ServiceList::~ServiceList() = default;

void ServiceList::setRows(std::vector<ServiceRowView> rows) {
    rows_ = std::move(rows);
    model_->reset();
}

QRect ServiceList::controlRect(size_t row) const {
    if (row >= rows_.size()) return {};
    const QRect r = visualRect(model_->index(static_cast<int>(row)));
    if (!r.isValid() || !viewport()->rect().intersects(r)) return {};
    return delegate_->controlRect(r, rows_[row]);
}

}  // namespace velmora
