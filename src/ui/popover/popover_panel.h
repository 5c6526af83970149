#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

class QLabel;

namespace velmora {

class Localizer;
class PopoverView;

// Where a popup of `size` opens for a tray icon at `anchor`: centred under it when it fits
// inside `area` (the screen's usable part), above it when the panel sits at the bottom, and
// always kept inside `area`.
QPoint popoverOrigin(const QRect& anchor, const QSize& size, const QRect& area);

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

  signals:
    void shown();
    void hidden();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    PopoverView* view_;
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
