#pragma once

#include "samplers/process_ranking.h"
#include "ui/common/kill_flow.h"
#include "ui/dashboard/process_tree.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QStringList>

#include <functional>
#include <set>
#include <tuple>
#include <vector>

namespace velmora {

class Localizer;

enum class ProcColumn {
    pid,
    name,
    cpu,
    gpu,
    mem,
    disk,
    energy,
    user,
    command,
    threads,
    state,
    nice,
    started,
    readTotal,
    writeTotal
};

// Every column in the order the table shows them, and the columns shown until the user picks.
const std::vector<ProcColumn>& allProcColumns();
const std::vector<ProcColumn>& defaultProcColumns();
// The columns the user may hide: all but the pid and the name.
bool procColumnOptional(ProcColumn column);
// The column's name in the settings store, and back; nothing for an unknown name.
QString rawValue(ProcColumn column);
std::optional<ProcColumn> procColumnFromRaw(const QString& raw);
// The stored column list as columns: unknown names dropped, pid and name always in, every
// column once, in the table's order. An empty list is the default set.
std::vector<ProcColumn> procColumnsFromRaw(const QStringList& raw);
QStringList rawValues(const std::vector<ProcColumn>& columns);

// What the table shows of a process that costs a read of its own: read only for shown
// columns and rows, once per process.
struct ProcessLabels {
    QString user;
    QString command;  // the argument vector joined by spaces; empty when unreadable
    QString path;     // the executable; empty when unreadable
};

// The dashboard's process table without widgets: ranking options, the rows of the newest
// snapshot and the selection, kept by row identity so it survives re-sorts and ticks.
class ProcessTableState {
  public:
    // What a row stands for, steady across ticks: a process by its pid and start stamp,
    // a group row by its name.
    struct RowKey {
        QString group;  // empty for a process row
        int32_t pid = 0;
        uint64_t startTime = 0;
        bool operator==(const RowKey&) const = default;
        bool operator<(const RowKey& o) const {
            if (group != o.group) return group < o.group;
            return std::tie(pid, startTime) < std::tie(o.pid, o.startTime);
        }
    };

    // A new snapshot's processes: ranks them and rebuilds the rows. Selected rows that are
    // gone leave the selection.
    void setProcesses(const std::vector<ProcInfo>& processes);

    // The recompute triggers. Changing how rows are grouped or ordered forgets the previous
    // order that steadies neighbouring rows.
    void setSearch(const QString& search);
    void setGrouped(bool grouped);
    // Parents with their children; grouping by name and the tree exclude each other.
    void setTree(bool tree);
    bool tree() const { return tree_; }
    // Folds or unfolds a process row of the tree; a folded parent shows its family's totals.
    void setCollapsed(const RowKey& key, bool collapsed);
    bool isCollapsed(const RowKey& key) const;
    // Parallel to rows() in the tree, empty otherwise.
    const std::vector<ProcessTreeRow>& shape() const { return shape_; }
    // The columns the user chose (pid and name are always in); the GPU column shows only
    // while per-process GPU collection is on.
    void setChosenColumns(std::vector<ProcColumn> columns);
    const std::vector<ProcColumn>& chosenColumns() const { return chosen_; }
    // The active column flips its direction; another column takes over in the direction
    // the table already has, so a user comparing columns keeps the order they chose.
    void sortBy(ProcSortKey key);
    void setCumulativeRank(bool cumulative);
    // Turning per-process GPU collection off hides its column and moves a GPU sort to CPU.
    void setCollectGPU(bool collect);

    const ProcTableOptions& options() const { return options_; }
    bool collectGPU() const { return collectGPU_; }
    const std::vector<ProcColumn>& columns() const { return columns_; }
    const std::vector<ProcInfo>& rows() const { return rows_; }

    RowKey keyOf(const ProcInfo& row) const;
    // The processes behind the rows: the snapshot as last given.
    const std::vector<ProcInfo>& processes() const { return processes_; }
    // The process of the snapshot with `key`'s identity, or null.
    const ProcInfo* processOf(const RowKey& key) const;
    // The row shown for `key`, or null when it is hidden or gone.
    const ProcInfo* rowOf(const RowKey& key) const;

    // The selection is what the user sees: a row the search hides, or one gone from the
    // list, leaves it.
    const std::set<RowKey>& selection() const { return selection_; }
    void toggleSelected(const RowKey& key);
    void setSelection(std::set<RowKey> keys);
    // The processes a selected or given row stands for: a group row for every member.
    // Velmora's rules for which may be acted on are the kill flow's.
    std::vector<ProcessTarget> targetsOf(const RowKey& key) const;
    std::vector<ProcessTarget> selectedTargets() const;
    // What an action from a row's menu applies to: the whole selection when the row is
    // part of it, else the row alone.
    std::vector<ProcessTarget> targetsFor(const RowKey& row) const;
    // Rows whose every process was acted on (done, or found already ended) leave the
    // selection; a row with a refused process stays so the user can try again.
    void settle(const ActionResult& result);
    // The search and the selection are dropped, as when the window closes.
    void reset();

  private:
    void recompute();
    void rebuildColumns();

    ProcessTable table_;
    ProcTableOptions options_;
    bool collectGPU_ = false;
    bool tree_ = false;
    ProcessTree builder_;
    ProcessTree::Collapsed collapsed_;
    std::vector<ProcessTreeRow> shape_;
    std::vector<ProcInfo> matching_;  // reused by the tree
    std::vector<ProcColumn> chosen_ = defaultProcColumns();
    std::vector<ProcInfo> processes_;
    std::vector<ProcInfo> rows_;
    std::vector<ProcColumn> columns_;
    void pruneSelection();

    std::set<RowKey> selection_;
    // pid and index in processes_, for group rows' keys
    mutable std::vector<std::pair<int32_t, uint32_t>> byPid_;
    mutable bool byPidStale_ = true;
};

// The rows of a ProcessTableState as a Qt table model. Call refresh() after the state
// changed; rows keep their identity by pid, so views keep their scroll position.
class ProcessTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int PidRole = Qt::UserRole + 1;
    // The tree's indentation level of a row (0 outside the tree), and whether it has children
    // and shows them; on the name column.
    static constexpr int DepthRole = Qt::UserRole + 2;
    static constexpr int BranchRole = Qt::UserRole + 3;  // 0 leaf, 1 folded parent, 2 open parent
    // How a cell's text is cut when it does not fit (Qt::TextElideMode).
    static constexpr int ElideRole = Qt::UserRole + 4;

    // The icon shown beside a process's name; none by default.
    using IconProvider = std::function<QIcon(int32_t pid, const QString& name)>;
    // The labels of a process; asked once per process while a column that needs them shows.
    using LabelProvider = std::function<ProcessLabels(int32_t pid)>;

    explicit ProcessTableModel(const ProcessTableState& state, QObject* parent = nullptr);
    void setIconProvider(IconProvider provider) { icons_ = std::move(provider); }
    void setLabelProvider(LabelProvider provider) { labels_ = std::move(provider); }
    // The labels of a shown process, read now when not known yet; empty without a provider.
    const ProcessLabels& labelsOf(const ProcInfo& p) const;
    // A note for the header: rows ranked by the cumulative score rather than by a column.
    void setHeaderNote(const QString& note) { headerNote_ = note; }
    const QString& headerNote() const { return headerNote_; }
    // The localizer the headers are read from; the shared one by default.
    void setLocalizer(const Localizer* loc) { loc_ = loc; }

    void refresh();
    ProcColumn columnAt(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The cell's text; the user and command columns take theirs from `labels`.
    static QString cellText(const ProcInfo& p, ProcColumn column, const ProcessLabels* labels = nullptr);
    static QString headerText(ProcColumn column, const Localizer* loc = nullptr);
    // The sort key a click on the column asks for; nothing for columns that do not sort.
    static std::optional<ProcSortKey> sortKeyOf(ProcColumn column);

  private:
    static bool differs(const ProcInfo& a, const ProcInfo& b, ProcColumn column);

    const ProcessTableState& state_;
    std::vector<ProcColumn> shownColumns_;
    std::vector<ProcInfo> drawn_;  // the rows as the view last drew them
    std::vector<ProcessTreeRow> drawnShape_;
    LabelProvider labels_;
    mutable QHash<QPair<int32_t, quint64>, ProcessLabels> labelCache_;
    QString headerNote_;
    int shownRows_ = 0;
    IconProvider icons_;
    const Localizer* loc_ = nullptr;
};

}  // namespace velmora
