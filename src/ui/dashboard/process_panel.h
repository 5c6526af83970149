#pragma once

#include "ui/common/kill_flow.h"
#include "ui/dashboard/process_table_model.h"

#include <QKeySequence>
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
        ProcessActionServices actions;
    };

    ProcessPanel(AppSettings& settings, Localizer& loc, Services services, QWidget* parent = nullptr);
    ~ProcessPanel() override;

    void setProcesses(const std::vector<ProcInfo>& processes);

    // Asks about and, once confirmed, acts on `targets` through the kill flow.
    void request(ProcessAction action, std::vector<ProcessTarget> targets);
    // The menu a row's context click shows.
    QMenu* makeRowMenu(const ProcessTableState::RowKey& row, QWidget* parent);
    // What closing the window discards: the search, the selection and the scroll position.
    void resetView();

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

    // The keys that quit and force quit the selection.
    static QKeySequence quitKeys();
    static QKeySequence forceQuitKeys();

  private:
    void setUpAccess();
    void renameForAccess();
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
    KillFlow flow_;
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
