#include "ui/dashboard/process_cell_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>

namespace velmora {

const QStaticText& ProcessCellDelegate::line(const QString& text, int width, const QFont& font) const {
    if (font != font_) {
        lines_.clear();
        font_ = font;
    }
    const std::pair<QString, int> key{text, width};
    if (const auto it = lines_.constFind(key); it != lines_.cend()) return *it;
    // Rows come and go; past the bound the cache starts again rather than growing.
    if (lines_.size() >= kMaxCached) lines_.clear();
    QStaticText laidOut(QFontMetrics(font).elidedText(text, Qt::ElideRight, std::max(width, 0)));
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
    const QStaticText& drawn = line(text, room.width(), option.font);
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
