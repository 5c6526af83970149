#pragma once

#include "inspect/kill_advisor.h"
#include "inspect/process_control.h"
#include "ui/dashboard/process_table_model.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;

namespace velmora {

class AppSettings;
class Localizer;

// The dashboard's right side: the ranked process table with its search field, ranking mode,
// grouping, sortable header, selection bar and the quit flow through the kill advisor.
class ProcessPanel : public QWidget {
    Q_OBJECT
  public:
    struct Services {
        // Opens the process detail view for a pid; without it the menu entry is disabled.
        std::function<void(int32_t pid)> openDetail;
        ProcessTableModel::IconProvider icons;
        std::shared_ptr<const KillAdvisor> advisor;     // null: the running system's
        std::shared_ptr<const ProcessControl> control;  // null: the running system's
        // Asks the user to confirm a request; null: a dialog.
        std::function<bool(const KillRequest&)> confirm;
    };

    ProcessPanel(AppSettings& settings, Localizer& loc, Services services, QWidget* parent = nullptr);
    ~ProcessPanel() override;

    void setProcesses(const std::vector<ProcInfo>& processes);

    // Asks for and, once confirmed, sends a quit to `pids` (pids below 2 are dropped).
    void requestQuit(std::vector<int32_t> pids, bool force);
    // The menu a row's context click shows.
    QMenu* makeRowMenu(int32_t pid, QWidget* parent);

    const ProcessTableState& state() const { return state_; }
    ProcessTableModel& model() { return model_; }
    QTableView* table() const { return table_; }
    QLineEdit* searchField() const { return search_; }
    QComboBox* rankPicker() const { return rankMode_; }
    QToolButton* groupToggle() const { return group_; }
    QString selectionText() const;
    QString resultText() const;
    QPushButton* quitButton() const { return quit_; }
    QPushButton* forceQuitButton() const { return forceQuit_; }
    const QTimer& resultTimer() const { return resultTimer_; }
    // What the result timer does when it runs out.
    void clearResult();

    // Clicks on a column header: the active one flips, another takes over.
    void sortByColumn(int column);

  private:
    void retranslate();
    void refresh();
    void syncSelection();
    void takeSelectionFromView();
    void updateSelectionBar();
    void updateSortIndicator();
    void showResult(const QString& text);

    AppSettings& settings_;
    Localizer& loc_;
    Services services_;
    ProcessTableState state_;
    ProcessTableModel model_;
    QLineEdit* search_;
    QLabel* sortHint_;
    QComboBox* rankMode_;
    QToolButton* group_;
    QTableView* table_;
    QLabel* selection_;
    QPushButton* quit_;
    QPushButton* forceQuit_;
    QLabel* result_;
    QTimer resultTimer_;
    bool syncing_ = false;
    std::vector<ProcColumn> laidOut_;  // the columns the header's widths were set for
};

}  // namespace velmora
