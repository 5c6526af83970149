#pragma once

#include "ui/dashboard/dashboard_cards.h"
#include "ui/common/stored_range.h"
#include "ui/dashboard/process_panel.h"

#include <QWidget>

#include <functional>

class QScrollArea;

namespace velmora {

class AppSettings;
class Localizer;
class MetricsFeed;
class RangePicker;
struct CoreTopology;

// The dashboard window's content: a scrolling column of live cards on the left, the process
// table on the right. It redraws from the feed only while it shows; cards scrolled out of
// sight wait until they come back, and a hidden or minimised window does nothing per tick.
class DashboardView : public QWidget {
    Q_OBJECT
  public:
    struct Hooks {
        // A chart asked for analysis.
        std::function<void(AnalysisKind)> onAnalyze;
        ProcessPanel::Services processes;
        const CoreTopology* topology = nullptr;  // null: the machine's
        // The remembered record; empty: the charts show live only.
        HistoryReader history;
    };

    DashboardView(MetricsFeed& feed, AppSettings& settings, Localizer& loc, Hooks hooks,
                  QWidget* parent = nullptr);
    ~DashboardView() override;

    static constexpr QSize minimumContent{900, 560};

    ProcessPanel* processes() const { return processes_; }
    // Whether ticks redraw: shown and not minimised.
    bool live() const { return live_; }
    // How many times a card took new data; lets a test see that nothing happens while hidden.
    int cardUpdates() const { return cardUpdates_; }

    // The parts, for tests and screenshots.
    QString statusText() const;
    QColor statusColor() const { return statusColor_; }
    QString diskBadgeText() const;
    std::optional<QColor> diskBadgeColor() const { return badgeColor_; }
    QString diskBadgeHelp() const;
    ChartCard* chartCard(AnalysisKind kind) const;
    CoreGrid* coreGrid() const { return cores_; }
    QString swapText() const;
    TempChip* tempChip(int index) const { return chips_[index]; }
    QColor hottestCurveColor() const { return hottestColor_; }
    QString thermalText() const;
    QString powerText() const;
    QString batteryText() const;
    const std::vector<SpinningFanView*>& fanViews() const { return fanViews_; }
    QStringList fanTexts() const;
    bool fansStoppedShown() const;
    QScrollArea* cardColumn() const { return scroll_; }
    // The one scroll position of every chart; closing the window makes them follow again.
    ChartScroll* chartScroll() const { return chartScroll_; }
    // Every chart of the card column, the hottest-temperature curve included.
    std::vector<TimeChart*> charts() const;
    // The span the load charts show above them, and what was read of it.
    RangePicker* rangePicker() const { return picker_; }
    const RangeLoader& rangeLoader() const { return *loader_; }
    void showSpan(HistorySpan span);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void retranslate();
    void onSnapshot();
    void updateLive();
    void updateCards(bool all);
    void updateStatus(const Snapshot& s);
    void updateCharts(const Snapshot& s, bool all);
    void updateCores(const Snapshot& s);
    void updateTemps(const Snapshot& s);
    void updateBatteryFans(const Snapshot& s);
    bool due(Card* card, bool all);
    void keepColumnHeight();
    // Puts the remembered range (or, back to live, the feed's history) on the load charts.
    void applySpan();

    MetricsFeed& feed_;
    AppSettings& settings_;
    Localizer& loc_;
    Hooks hooks_;
    const CoreTopology* topology_;

    bool live_ = false;
    bool stale_ = true;
    int cardUpdates_ = 0;
    QWidget* watchedWindow_ = nullptr;

    QScrollArea* scroll_ = nullptr;
    ChartScroll* chartScroll_ = nullptr;
    // Status strip and hint.
    QLabel* statusDot_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* badgeIcon_ = nullptr;
    QLabel* badgeText_ = nullptr;
    QWidget* badge_ = nullptr;
    QColor statusColor_;
    std::optional<QColor> badgeColor_;
    QLabel* hintIcon_ = nullptr;
    QLabel* hint_ = nullptr;
    // Cards.
    ChartCard* cpu_ = nullptr;
    ChartCard* gpu_ = nullptr;
    Card* coreCard_ = nullptr;
    CoreGrid* cores_ = nullptr;
    ChartCard* memory_ = nullptr;
    ChartCard* disk_ = nullptr;
    ChartCard* network_ = nullptr;
    Card* tempCard_ = nullptr;
    QLabel* thermalIcon_ = nullptr;
    QLabel* thermal_ = nullptr;
    std::array<TempChip*, 3> chips_{};
    TimeChart* hottest_ = nullptr;
    QColor hottestColor_;
    QLabel* power_ = nullptr;
    Card* batteryCard_ = nullptr;
    QWidget* batteryRow_ = nullptr;
    QLabel* batteryIcon_ = nullptr;
    QLabel* battery_ = nullptr;
    QWidget* fanBox_ = nullptr;
    std::vector<SpinningFanView*> fanViews_;
    std::vector<QLabel*> fanLabels_;
    QLabel* fansStopped_ = nullptr;
    QLabel* noBatteryFans_ = nullptr;

    ProcessPanel* processes_ = nullptr;
    RangePicker* picker_ = nullptr;
    RangeLoader* loader_ = nullptr;
    double liveSeconds_ = 300;  // what the load charts show at a time while live
};

}  // namespace velmora
