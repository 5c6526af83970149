#include "ui/dashboard/process_cell_delegate.h"

#include "ui/dashboard/process_table_model.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QPolygonF>

namespace velmora {

QRect ProcessCellDelegate::branchRect(const QRect& cell, int depth) {
    const int left = cell.left() + kPadding + std::max(depth, 0) * kIndent;
    return QRect(left, cell.top(), kBranch, cell.height());
}

const QStaticText& ProcessCellDelegate::line(const QString& text, int width, const QFont& font,
                                             Qt::TextElideMode mode) const {
    if (font != font_) {
        lines_.clear();
        font_ = font;
    }
    // The elision shares the key with the width: both decide the line.
    const std::pair<QString, int> key{text, std::max(width, 0) * 4 + static_cast<int>(mode)};
    if (const auto it = lines_.constFind(key); it != lines_.cend()) return *it;
    // Rows come and go; past the bound the cache starts again rather than growing.
    if (lines_.size() >= kMaxCached) lines_.clear();
    QStaticText laidOut(QFontMetrics(font).elidedText(text, mode, std::max(width, 0)));
    laidOut.setTextFormat(Qt::PlainText);
    laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
    laidOut.prepare(QTransform(), font);
    return *lines_.insert(key, laidOut);
}

void ProcessCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // The view has drawn the row's (alternating) background already.
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                                : QPalette::Inactive;
    if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));

    QRect room = option.rect.adjusted(kPadding, 0, -kPadding, 0);
    const QVariant depth = index.data(ProcessTableModel::DepthRole);
    const int branch = index.data(ProcessTableModel::BranchRole).toInt();
    if (depth.isValid()) {
        const QRect mark = branchRect(option.rect, depth.toInt());
        if (branch > 0) {
            // A small triangle: pointing right when folded, down when open.
            const QPointF c = QRectF(mark).center();
            const qreal r = 3.5;
            QPolygonF tri;
            if (branch == 1)
                tri << QPointF(c.x() - r / 2, c.y() - r) << QPointF(c.x() + r, c.y()) << QPointF(c.x() - r / 2, c.y() + r);
            else
                tri << QPointF(c.x() - r, c.y() - r / 2) << QPointF(c.x() + r, c.y() - r / 2) << QPointF(c.x(), c.y() + r);
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(Qt::NoPen);
            painter->setBrush(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
            painter->drawPolygon(tri);
            painter->restore();
        }
        room.setLeft(mark.right() + 1);
    }
    const QVariant decoration = index.data(Qt::DecorationRole);
    if (decoration.canConvert<QIcon>()) {
        const QIcon icon = decoration.value<QIcon>();
        if (!icon.isNull()) {
            const QRect at(room.left(), room.center().y() - kIconSize / 2 + 1, kIconSize, kIconSize);
            icon.paint(painter, at, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
            room.setLeft(at.right() + 1 + kPadding);
        }
    }

    if (option.state & QStyle::State_HasFocus) drawFocus(painter, option);

    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty() || room.width() <= 0) return;
    const auto mode = static_cast<Qt::TextElideMode>(index.data(ProcessTableModel::ElideRole).toInt());
    const QStaticText& drawn = line(text, room.width(), option.font, mode);
    const Qt::Alignment align = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
    const QSizeF size = drawn.size();
    const qreal x = (align & Qt::AlignRight) ? room.right() + 1 - size.width() : room.left();
    const qreal y = room.top() + (room.height() - size.height()) / 2;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawStaticText(QPointF(x, y), drawn);
    painter->restore();
}

void ProcessCellDelegate::drawFocus(QPainter* painter, const QStyleOptionViewItem& option) {
    // The keyboard's current cell keeps the style's focus frame.
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor = option.palette.color(
        option.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Base);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
}

}  // namespace velmora
