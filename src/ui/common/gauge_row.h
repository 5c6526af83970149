#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

namespace velmora {

// One labelled horizontal bar: the label in a 64-point column, the bar, and a detail text in
// a 120-point trailing column. `scaleHint` names the bar's full scale inside the bar.
class GaugeRow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int labelWidth = 64;
    static constexpr int detailWidth = 120;
    static constexpr int barHeight = 7;
    static constexpr int scaledBarHeight = 11;
    static constexpr double cornerRadius = 3;

    explicit GaugeRow(QWidget* parent = nullptr);

    // Fill colour of a value: ≥ 90 red, ≥ 70 orange, ≥ 49 yellow, otherwise green.
    static QColor fillColor(double value);

    void set(const QString& label, double value, const QString& detail,
             const std::optional<QString>& scaleHint);

    const QString& label() const { return label_; }
    double value() const { return value_; }
    const QString& detail() const { return detail_; }
    const std::optional<QString>& scaleHint() const { return scaleHint_; }
    // The bar's rectangle and the filled part, in widget coordinates.
    QRectF barRect() const;
    QRectF fillRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QFont labelFont() const;
    QFont detailFont() const;
    QFont hintFont() const;

    QString label_;
    double value_ = 0;
    QString detail_;
    std::optional<QString> scaleHint_;
};

}  // namespace velmora
