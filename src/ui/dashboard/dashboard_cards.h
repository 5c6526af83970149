#pragma once

#include "core/snapshot.h"
#include "ui/common/time_chart.h"
#include "ui/dashboard/dashboard_rules.h"

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QVariantAnimation>

#include <deque>
#include <optional>

namespace velmora {

// A fan symbol that turns as fast as the fan runs. The animation is made anew only when the
// period changes or the fan starts again, so a steady fan turns without a jerk every tick.
// It stops while the view is not live (window hidden or minimised).
class SpinningFanView : public QWidget {
    Q_OBJECT
  public:
    explicit SpinningFanView(QWidget* parent = nullptr);

    void setFan(const FanInfo& fan);
    void setLive(bool live);

    bool stopped() const { return stopped_; }
    double ratio() const { return ratio_; }
    // The turn's period; 0 while stopped.
    int periodMs() const { return stopped_ ? 0 : periodMs_; }
    bool spinning() const { return spin_ && spin_->state() == QAbstractAnimation::Running; }
    // How many times the animation was made, so a steady fan can be seen to keep its own.
    int animationsMade() const { return made_; }
    QColor color() const;

    QSize sizeHint() const override { return {34, 34}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void syncAnimation();

    double ratio_ = 0;
    bool stopped_ = true;
    int periodMs_ = 0;
    bool live_ = false;
    double angle_ = 0;
    int made_ = 0;
    QPointer<QVariantAnimation> spin_;
    // The symbol is drawn once per look, not once per frame.
    QPixmap symbol_;
    QString symbolKey_;
};

// A labelled temperature: "-" in grey when absent.
class TempChip : public QWidget {
    Q_OBJECT
  public:
    explicit TempChip(QWidget* parent = nullptr);
    void setLabel(const QString& label);
    void setTemp(std::optional<double> celsius);
    QString valueText() const { return value_->text(); }
    QColor color() const { return color_; }

  private:
    QLabel* label_;
    QLabel* value_;
    QColor color_;
};

// One small bar per core, in clusters by core kind, each with its average, and under each
// cluster a heat strip of its cores' recent load: a row per core, newest on the right.
class CoreGrid : public QWidget {
    Q_OBJECT
  public:
    // How many of the newest snapshots the strips show.
    static constexpr int historyColumns = 120;

    explicit CoreGrid(QWidget* parent = nullptr);
    void setClusters(std::vector<DashboardRules::CoreCluster> clusters, const QString& averageTemplate);
    const std::vector<DashboardRules::CoreCluster>& clusters() const { return clusters_; }
    // "Performance cores · avg 42%", one line per cluster, as drawn.
    QStringList headings() const;
    // Paints the strips from the history's per-core loads, for the clusters last set. The
    // picture is kept and painted over, made anew only when the number of cores changes.
    void setHistory(const std::deque<Snapshot>& history);
    // The strips' picture: a column per snapshot, a row per core in cluster order.
    const QImage& heat() const { return heat_; }
    // The colour a load takes in the strips: the load's colour, fainter the lower it is.
    static QRgb heatColor(double load);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {160, sizeHint().height()}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int stripHeight(size_t cores) const;

    std::vector<DashboardRules::CoreCluster> clusters_;
    QString averageTemplate_;
    QImage heat_;
};

// A titled card: a heading with the current value on the right, and room for content.
class Card : public QFrame {
    Q_OBJECT
  public:
    explicit Card(QWidget* parent = nullptr);
    void setTitle(const QString& title);
    void setValue(const QString& text, const QColor& color = {});
    QString title() const { return title_->text(); }
    QString value() const { return value_->text(); }
    QColor valueColor() const { return valueColor_; }
    void addContent(QWidget* widget);
    // True when some of the card shows in its scroll area.
    bool exposed() const;
    // A card is as tall as its parts ask: wrapped captions keep the lines reserved for them,
    // so a height for the width would only squeeze the chart over them.
    bool hasHeightForWidth() const override { return false; }
    // Whether the card missed data while out of sight.
    bool stale() const { return stale_; }
    void setStale(bool stale) { stale_ = stale; }

  private:
    QLabel* title_;
    QLabel* value_;
    QColor valueColor_;
    bool stale_ = true;
};

// A card around a time chart that can be analysed with a double click.
class ChartCard : public Card {
    Q_OBJECT
  public:
    ChartCard(AnalysisKind kind, QWidget* parent = nullptr);
    AnalysisKind kind() const { return kind_; }
    TimeChart* chart() const { return chart_; }
    // A line under the chart (the swap line, a legend).
    QLabel* footer();
    // Asks for the analysis of the card's kind, as a double click on its chart does; the
    // keyboard's Enter or Space on the focused card, and assistive tools' press action.
    void requestAnalysis() { emit analyse(kind_); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  signals:
    void analyse(velmora::AnalysisKind kind);

  private:
    AnalysisKind kind_;
    TimeChart* chart_;
    QLabel* footer_ = nullptr;
};

}  // namespace velmora
