#pragma once

#include "ui/popover/popover_model.h"

#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QToolButton;

namespace velmora {

class AppSettings;
class GaugeRow;
class Localizer;
class MetricsFeed;

// The one-glance summary of the latest snapshot: load level, five gauges, battery and fans,
// thermal state, heavy processes and the bottom bar. Holds no state of its own: every value
// comes from the feed's current snapshot at each redraw.
class PopoverView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int contentWidth = 320;
    static constexpr int padding = 14;

    struct Actions {
        std::function<void()> onExpand;
        std::function<void()> onSettings;
        std::function<void()> onStorage;
        std::function<void()> onQuit;
    };

    // The bottom bar's buttons. Those whose window does not exist yet are hidden.
    enum class Button { expand, storage, settings, quit };

    PopoverView(MetricsFeed& feed, AppSettings& settings, Localizer& loc, Actions actions,
                QWidget* parent = nullptr);

    void setButtonAvailable(Button button, bool available);
    QToolButton* button(Button b) const { return buttons_[static_cast<size_t>(b)]; }

    // Redraws from the feed's current snapshot. Done on every snapshot while visible, and
    // when shown; a hidden popover does no work.
    void refresh();
    const PopoverModel& model() const { return model_; }
    // At most this many heavy processes are listed (the panel holds some back while it may
    // not grow); kHeavyProcessLimit unless set.
    void setHeavyRowLimit(int rows);
    int heavyRowLimit() const { return heavyRowLimit_; }
    // How many heavy processes are listed now.
    int heavyRowsShown() const;
    // The bottom bar, whose place the panel keeps while open.
    QWidget* bottomBar() const { return bottomBar_; }

  signals:
    // The view was redrawn from a snapshot; its rows may have changed.
    void refreshed();

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct HeavyRow {
        QWidget* row;
        QLabel* name;
        QLabel* memory;
        QLabel* cpu;
    };

    void buildLayout();
    void retranslate();
    void applyModel();
    void applyHeavyRows();
    void restyle();

    MetricsFeed& feed_;
    AppSettings& settings_;
    Localizer& loc_;
    Actions actions_;
    PopoverModel model_;

    QWidget* severityDot_ = nullptr;
    QLabel* header_ = nullptr;
    std::array<GaugeRow*, 5> gauges_{};
    QWidget* powerRow_ = nullptr;
    QLabel* batteryIcon_ = nullptr;
    QLabel* batteryText_ = nullptr;
    QLabel* fanIcon_ = nullptr;
    QLabel* fanText_ = nullptr;
    QLabel* thermalIcon_ = nullptr;
    QLabel* thermalText_ = nullptr;
    QLabel* cpuTemp_ = nullptr;
    QLabel* gpuTemp_ = nullptr;
    QWidget* noLoadRow_ = nullptr;
    QLabel* noLoadIcon_ = nullptr;
    QLabel* noLoadText_ = nullptr;
    QWidget* measuringRow_ = nullptr;
    QLabel* measuringIcon_ = nullptr;
    QLabel* measuringText_ = nullptr;
    QLabel* heavyHeading_ = nullptr;
    std::array<HeavyRow, kHeavyProcessLimit> heavyRows_{};
    std::array<QToolButton*, 4> buttons_{};
    QWidget* bottomBar_ = nullptr;
    int heavyRowLimit_ = kHeavyProcessLimit;
};

}  // namespace velmora
