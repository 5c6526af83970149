#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>

class QLabel;

namespace velmora {

class Localizer;
class PopoverView;

// Where a popup of `size` opens for a tray icon at `anchor`: centred under it when it fits
// inside `area` (the screen's usable part), above it when the panel sits at the bottom, and
// always kept inside `area`.
QPoint popoverOrigin(const QRect& anchor, const QSize& size, const QRect& area);

// How an open popover changes its height when its rows change, keeping its bottom bar where
// it was. `bottomFixed`: it opened above the tray, so its bottom edge (and the bar along it)
// stays and the top edge moves. Otherwise the top edge stays by the tray and the bar lies on
// the far edge: it may shrink or grow only while the pointer is outside (a click aimed at a
// button must land on it), and it never shrinks while open, so the bar does not jump back and
// forth as processes cross the threshold. `natural(rows)` is the height with at most `rows`
// heavy processes listed; the result never leaves `area`.
struct PopoverHold {
    int height = 0;
    int rows = 0;  // heavy processes listed
    int top = 0;
};
PopoverHold holdPopover(const QRect& current, bool bottomFixed, bool pointerInside, const QRect& area,
                        int wantedRows, const std::function<int(int rows)>& natural);

// The frameless transient popup that hosts the popover view; a click elsewhere closes it.
class PopoverPanel : public QWidget {
    Q_OBJECT
  public:
    explicit PopoverPanel(PopoverView* view);

    PopoverView* view() const { return view_; }
    // Opens next to `anchor` (a tray icon's rectangle, or the pointer).
    void presentAt(const QRect& anchor);
    // Redraws from the current snapshot and takes the size of the content.
    void fitContent();
    // Where the pointer is, in screen coordinates (a test puts it where it wants).
    void setPointerSource(std::function<QPoint()> pointer) { pointer_ = std::move(pointer); }
    // Whether the popover opened above its anchor and so keeps its bottom edge.
    bool bottomFixed() const { return bottomFixed_; }

  signals:
    void shown();
    void hidden();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // After a redraw while open: the new height, by the rules of holdPopover.
    void keepBar();
    int naturalHeight(int rows);

    PopoverView* view_;
    std::function<QPoint()> pointer_;
    QRect area_;  // the usable part of the screen it opened on
    bool bottomFixed_ = false;
    bool placed_ = false;  // opened by presentAt, so it has a place to keep
    QRect held_;           // where it was put last
};

// Stands in for the tray when the desktop has none: the popover's content in a small
// ordinary window, with a note that says why.
class NoTrayWindow : public QWidget {
    Q_OBJECT
  public:
    NoTrayWindow(PopoverView* view, Localizer& loc);
    PopoverView* view() const { return view_; }
    void retranslate();

  signals:
    void shown();
    void hidden();
    void closed();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    PopoverView* view_;
    Localizer& loc_;
    QLabel* note_;
};

}  // namespace velmora
