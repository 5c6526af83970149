#pragma once

#include "engine/metrics_feed.h"
#include "ui/analysis/analysis_detail.h"
#include "ui/analysis/analysis_model.h"
#include "ui/common/kill_flow.h"
#include "ui/common/stored_range.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QListView;
class QPushButton;
class QTimer;

namespace velmora {

class AnalysisRowsModel;
class RangePicker;
class TimeChart;

// The analysis window's content for one metric: the whole history as a chart, the processes
// behind the load (recent peaks, or the moment picked on the chart) and the selected
// process with quit and force quit through the kill advisor.
class AnalysisView : public QWidget {
    Q_OBJECT
  public:
    struct Services {
        ProcessActionServices actions;
        // The network kind's monitor; null: one over the system's sockets.
        std::unique_ptr<NetProcMonitor> netMonitor;
        AnalysisDetailPane::Services detail;
        // The remembered record; empty: only live can be shown.
        HistoryReader history;
        // Takes each per-process network measurement into the remembered record; empty: none.
        std::function<void(const std::vector<ProcNet>&)> networkMeasured;
    };

    AnalysisView(const MetricsFeed& feed, AnalysisKind kind, Services services, QWidget* parent = nullptr);
    ~AnalysisView() override;

    const ResourceAnalysis& analysis() const { return analysis_; }
    const std::vector<AnalysisRow>& rows() const { return rows_; }
    TimeChart* chart() const { return chart_; }
    QString listTitle() const;
    QString emptyText() const;
    QString killResult() const;

    // The moment of the history nearest to `at` becomes the list's instant.
    void pickTime(TimePoint at);
    void backToRealtime();
    // Selects the first shown row of the pid, or the row itself.
    void select(int32_t pid);
    void select(const AnalysisRowKey& key);
    // Removes the first shown row of the pid from the peak list, or the row itself.
    void dismiss(int32_t pid);
    void dismiss(const AnalysisRowKey& key);
    // The hint under the chart, and the network kind's line on what its figures count.
    QString hintText() const;
    QString networkNote() const;
    // The chart's caption: the unit and what each line is, for the rate kinds.
    QString legendText() const;
    // Asks about and, once confirmed, acts on the process of the row with `pid` (the
    // selected one when several rows share it), through the kill flow.
    void request(ProcessAction action, int32_t pid);
    void requestKill(int32_t pid, bool force) {
        request(force ? ProcessAction::forceQuit : ProcessAction::quit, pid);
    }
    // The same for a process and everything under it, children first.
    void requestTreeKill(int32_t pid);
    AnalysisDetailPane* detail() const { return detail_; }
    RangePicker* rangePicker() const { return picker_; }
    const RangeLoader& rangeLoader() const { return *loader_; }
    // Shows `span` (live, or a stretch of the remembered record read anew).
    void showSpan(HistorySpan span);
    // The remembered stretch shown; null while live or still being read.
    const StoredRange* storedRange() const { return loader_->range(); }
    // The gap the picked moment falls in, when it does.
    const history::Gap* pickedGap() const;

  signals:
    void closeRequested();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    AnalysisInputs inputs() const;
    // The stretch of the record the window draws: the one read, nothing while it is read,
    // null while live.
    const StoredRange* shownRange() const;
    std::optional<ProcessTarget> targetOf(int32_t pid) const;
    void report(ProcessAction action, const std::optional<ActionResult>& result);
    void refresh();
    void refreshChart();
    void retranslate();
    void showRowMenu(const QPoint& at);
    void showSelectedRow();

    const MetricsFeed& feed_;
    ResourceAnalysis analysis_;
    Services services_;
    KillFlow flow_;
    std::vector<AnalysisRow> rows_;
    std::deque<NetProcMonitor::Entry> noNetHistory_;
    std::vector<ProcNet> noNet_;

    QLabel* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* now_ = nullptr;
    QPushButton* close_ = nullptr;
    TimeChart* chart_ = nullptr;
    QLabel* legend_ = nullptr;
    QLabel* hint_ = nullptr;
    QLabel* netNote_ = nullptr;
    QLabel* listTitle_ = nullptr;
    QPushButton* realtime_ = nullptr;
    QListView* list_ = nullptr;
    AnalysisRowsModel* model_ = nullptr;
    QLabel* empty_ = nullptr;
    AnalysisDetailPane* detail_ = nullptr;
    QLabel* result_ = nullptr;
    QTimer* resultClear_ = nullptr;
    RangePicker* picker_ = nullptr;
    RangeLoader* loader_ = nullptr;
    StoredRange reading_;  // what a span still being read shows: nothing
    bool placingSelection_ = false;  // the list's current row is being set by refresh()
};

}  // namespace velmora
