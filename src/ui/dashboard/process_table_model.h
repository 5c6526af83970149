#pragma once

#include "samplers/process_ranking.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>
#include <set>
#include <vector>

namespace velmora {

class Localizer;

enum class ProcColumn { pid, name, cpu, gpu, mem, disk, energy };

// The dashboard's process table without widgets: ranking options, the rows of the newest
// snapshot and the selection, kept by pid so it survives re-sorts and ticks.
class ProcessTableState {
  public:
    // A new snapshot's processes: ranks them and rebuilds the rows. Selected pids that are
    // gone from the snapshot leave the selection.
    void setProcesses(const std::vector<ProcInfo>& processes);

    // The recompute triggers. Changing how rows are grouped or ordered forgets the previous
    // order that steadies neighbouring rows.
    void setSearch(const QString& search);
    void setGrouped(bool grouped);
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

    const std::set<int32_t>& selection() const { return selection_; }
    void toggleSelected(int32_t pid);
    void setSelection(std::set<int32_t> pids);
    // What a quit from a row's menu applies to: the whole selection when the row is part of
    // it, else the row alone. Pids below 2 are never targets.
    std::vector<int32_t> targetsFor(int32_t rowPid) const;
    // The name shown for `pid` in a confirmation: its row's name, or "pid N".
    QString nameOf(int32_t pid) const;
    // Signalled pids leave the selection; refused ones stay so the user can try again.
    void signalled(const std::vector<int32_t>& pids);

  private:
    void recompute();
    void rebuildColumns();

    ProcessTable table_;
    ProcTableOptions options_;
    bool collectGPU_ = false;
    std::vector<ProcInfo> processes_;
    std::vector<ProcInfo> rows_;
    std::vector<ProcColumn> columns_;
    std::set<int32_t> selection_;
};

// The rows of a ProcessTableState as a Qt table model. Call refresh() after the state
// changed; rows keep their identity by pid, so views keep their scroll position.
class ProcessTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int PidRole = Qt::UserRole + 1;

    // The icon shown beside a process's name; none by default.
    using IconProvider = std::function<QIcon(int32_t pid, const QString& name)>;

    explicit ProcessTableModel(const ProcessTableState& state, QObject* parent = nullptr);
    void setIconProvider(IconProvider provider) { icons_ = std::move(provider); }
    // The localizer the headers are read from; the shared one by default.
    void setLocalizer(const Localizer* loc) { loc_ = loc; }

    void refresh();
    ProcColumn columnAt(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QString cellText(const ProcInfo& p, ProcColumn column);
    static QString headerText(ProcColumn column, const Localizer* loc = nullptr);
    static ProcSortKey sortKeyOf(ProcColumn column);

  private:
    static bool differs(const ProcInfo& a, const ProcInfo& b, ProcColumn column);

    const ProcessTableState& state_;
    std::vector<ProcColumn> shownColumns_;
    std::vector<ProcInfo> drawn_;  // the rows as the view last drew them
    int shownRows_ = 0;
    IconProvider icons_;
    const Localizer* loc_ = nullptr;
};

}  // namespace velmora
