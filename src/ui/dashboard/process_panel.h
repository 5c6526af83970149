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
class QUrl;

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
        // The user, command line and executable of a process; null: read from the system.
        ProcessTableModel::LabelProvider labels;
        // Opens a folder; null: the desktop's file manager.
        std::function<void(const QUrl&)> openUrl;
        // Puts text on the clipboard; null: the system's clipboard.
        std::function<void(const QString&)> copyText;
    };

    // The nice values the priority menu offers.
    static const std::vector<int>& offeredNiceValues();

    ProcessPanel(AppSettings& settings, Localizer& loc, Services services, QWidget* parent = nullptr);
    ~ProcessPanel() override;

    void setProcesses(const std::vector<ProcInfo>& processes);

    // Asks about and, once confirmed, acts on `targets` through the kill flow.
    void request(ProcessAction action, std::vector<ProcessTarget> targets);
    // The menu a row's context click shows.
    QMenu* makeRowMenu(const ProcessTableState::RowKey& row, QWidget* parent);
    // The menu a click on the header shows: a check per optional column.
    QMenu* makeColumnMenu(QWidget* parent);
    // Shows or hides an optional column and keeps the choice in the settings.
    void setColumnShown(ProcColumn column, bool shown);
    // Folds or unfolds a tree row.
    void setCollapsed(const ProcessTableState::RowKey& row, bool collapsed);
    // What closing the window discards: the search, the selection and the scroll position.
    void resetView();

    const ProcessTableState& state() const { return state_; }
    ProcessTableModel& model() { return model_; }
    QTableView* table() const { return table_; }
    QLineEdit* searchField() const { return search_; }
    QComboBox* rankPicker() const { return rankMode_; }
    QToolButton* groupToggle() const { return group_; }
    QToolButton* treeToggle() const { return tree_; }
    // The words over an empty search result; hidden otherwise.
    QLabel* emptyNote() const { return empty_; }
    QLabel* sortHint() const { return sortHint_; }
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

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setUpAccess();
    void renameForAccess();
    void retranslate();
    void layOutColumns();
    void saveWidth(int section, int width);
    void updateEmptyNote();
    void setPriority(const std::vector<ProcessTarget>& targets, int value);
    void sendSignal(int signal, std::vector<ProcessTarget> targets);
    void quitTree(const ProcessTarget& root);
    void copy(const QStringList& lines);
    void reveal(const QString& path);
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
    QToolButton* tree_;
    QLabel* empty_;
    QTableView* table_;
    QLabel* selection_;
    QPushButton* quit_;
    QPushButton* forceQuit_;
    QLabel* result_;
    QTimer resultTimer_;
    bool syncing_ = false;
    bool layingOut_ = false;
    std::vector<ProcColumn> laidOut_;  // the columns the header's widths were set for
};

}  // namespace velmora
