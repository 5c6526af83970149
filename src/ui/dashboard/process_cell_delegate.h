#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

#include <utility>

namespace velmora {

// Draws the process table's cells without the style's per-cell layout pass: the selection,
// the icon beside the name, and the text from a cache of laid-out lines. The table repaints
// on every tick, and most of its texts ("0%", names, pids) were drawn before, so a repaint
// shapes only the texts that are new.
class ProcessCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    static constexpr int kMaxCached = 2000;
    static constexpr int kPadding = 4;
    static constexpr int kIconSize = 16;
    // The tree's step per level, and the disclosure mark's room before a parent's name.
    static constexpr int kIndent = 14;
    static constexpr int kBranch = 12;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The line drawn for `text` in `width` pixels (elided when longer), laid out once.
    const QStaticText& line(const QString& text, int width, const QFont& font,
                            Qt::TextElideMode mode = Qt::ElideRight) const;
    // Where a cell's disclosure mark is drawn (empty without one), for the view's clicks.
    static QRect branchRect(const QRect& cell, int depth);
    int cachedLines() const { return static_cast<int>(lines_.size()); }

  private:
    static void drawFocus(QPainter* painter, const QStyleOptionViewItem& option);

    mutable QHash<std::pair<QString, int>, QStaticText> lines_;
    mutable QFont font_;
};

}  // namespace velmora
