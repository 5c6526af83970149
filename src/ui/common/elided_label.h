#pragma once

#include <QLabel>

namespace velmora {

// A one-line plain-text label that elides what does not fit (at the end, in the middle or
// at the start, as asked) instead of widening its layout; the whole text shows as its
// tooltip. Texts set through setFullText go through oneLine().
class ElidedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, QWidget* parent = nullptr);
    void setFullText(const QString& text);
    QString fullText() const { return text(); }
    // What fits the label's width now.
    QString shownText() const;
    Qt::TextElideMode elideMode() const { return mode_; }
    void setMono(bool mono);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Qt::TextElideMode mode_;
};

}  // namespace velmora
