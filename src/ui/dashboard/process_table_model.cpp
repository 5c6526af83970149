#include "ui/dashboard/process_table_model.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/one_line.h"

#include <algorithm>
#include <unordered_set>

namespace velmora {

void ProcessTableState::setProcesses(const std::vector<ProcInfo>& processes) {
    processes_ = processes;
    table_.tick(processes_);
    recompute();
}

void ProcessTableState::setSearch(const QString& search) {
    if (search == options_.search) return;
    options_.search = search;
    recompute();
}

void ProcessTableState::setGrouped(bool grouped) {
    if (grouped == options_.groupByName) return;
    options_.groupByName = grouped;
    table_.forgetOrder();
    recompute();
}

void ProcessTableState::sortBy(ProcSortKey key) {
    if (key == options_.key)
        options_.ascending = !options_.ascending;
    else
        options_.key = key;
    table_.forgetOrder();
    recompute();
}

void ProcessTableState::setCumulativeRank(bool cumulative) {
    if (cumulative == options_.cumulativeRank) return;
    options_.cumulativeRank = cumulative;
    table_.forgetOrder();
    recompute();
}

void ProcessTableState::setCollectGPU(bool collect) {
    collectGPU_ = collect;
    if (!collect && options_.key == ProcSortKey::gpu) options_.key = ProcSortKey::cpu;
    table_.forgetOrder();
    rebuildColumns();
    recompute();
}

void ProcessTableState::rebuildColumns() {
    columns_ = {ProcColumn::pid, ProcColumn::name, ProcColumn::cpu};
    if (collectGPU_) columns_.push_back(ProcColumn::gpu);
    columns_.insert(columns_.end(), {ProcColumn::mem, ProcColumn::disk, ProcColumn::energy});
}

void ProcessTableState::recompute() {
    if (columns_.empty()) rebuildColumns();
    rows_ = table_.recompute(processes_, options_);
    byPidStale_ = true;
    pruneSelection();
}

void ProcessTableState::pruneSelection() {
    if (selection_.empty()) return;
    std::erase_if(selection_, [&](const RowKey& key) { return rowOf(key) == nullptr; });
}

ProcessTableState::RowKey ProcessTableState::keyOf(const ProcInfo& row) const {
    if (!options_.groupByName) return {{}, row.pid, row.startTime};
    // A group row carries the pid of whichever member ranked first this tick; its name is
    // what stays. The member's own name is the group's, without the count. The index is made
    // only when a key is asked for, and reuses its storage from tick to tick.
    if (byPidStale_) {
        byPid_.clear();
        for (uint32_t i = 0; i < processes_.size(); ++i)
            byPid_.push_back({processes_[i].pid, i});
        std::sort(byPid_.begin(), byPid_.end());
        byPidStale_ = false;
    }
    const auto it = std::lower_bound(byPid_.begin(), byPid_.end(), std::pair<int32_t, uint32_t>{row.pid, 0});
    if (it != byPid_.end() && it->first == row.pid && it->second < processes_.size())
        return {processes_[it->second].name, 0, 0};
    return {row.name, 0, 0};
}

const ProcInfo* ProcessTableState::rowOf(const RowKey& key) const {
    const size_t shown = std::min(rows_.size(), ProcessTable::rowLimit);
    for (size_t i = 0; i < shown; ++i)
        if (keyOf(rows_[i]) == key) return &rows_[i];
    return nullptr;
}

void ProcessTableState::toggleSelected(const RowKey& key) {
    if (!selection_.erase(key) && rowOf(key)) selection_.insert(key);
}

void ProcessTableState::setSelection(std::set<RowKey> keys) {
    selection_ = std::move(keys);
    pruneSelection();
}

std::vector<ProcessTarget> ProcessTableState::targetsOf(const RowKey& key) const {
    std::vector<ProcessTarget> out;
    const ProcInfo* row = rowOf(key);
    if (!row) return out;
    if (key.group.isEmpty()) {
        out.push_back({{row->pid, row->startTime}, row->name});
        return out;
    }
    for (const ProcInfo& p : processes_)
        if (p.name == key.group) out.push_back({{p.pid, p.startTime}, p.name});
    return out;
}

std::vector<ProcessTarget> ProcessTableState::selectedTargets() const {
    std::vector<ProcessTarget> out;
    for (const RowKey& key : selection_)
        for (ProcessTarget& t : targetsOf(key))
            out.push_back(std::move(t));
    return out;
}

std::vector<ProcessTarget> ProcessTableState::targetsFor(const RowKey& row) const {
    return selection_.contains(row) ? selectedTargets() : targetsOf(row);
}

void ProcessTableState::settle(const ActionResult& result) {
    std::unordered_set<int32_t> refused(result.refused.begin(), result.refused.end());
    std::unordered_set<int32_t> acted(result.done.begin(), result.done.end());
    acted.insert(result.ended.begin(), result.ended.end());
    std::erase_if(selection_, [&](const RowKey& key) {
        const std::vector<ProcessTarget> targets = targetsOf(key);
        if (targets.empty()) return true;
        bool any = false;
        for (const ProcessTarget& t : targets) {
            if (refused.contains(t.ref.pid)) return false;
            any = any || acted.contains(t.ref.pid);
        }
        return any;
    });
}

void ProcessTableState::reset() {
    selection_.clear();
    setSearch({});
}

ProcessTableModel::ProcessTableModel(const ProcessTableState& state, QObject* parent)
    : QAbstractTableModel(parent), state_(state) {
    refresh();
}

void ProcessTableModel::refresh() {
    if (state_.columns() != shownColumns_) {
        // A column came or went: the header changes, so everything does.
        beginResetModel();
        shownColumns_ = state_.columns();
        shownRows_ = static_cast<int>(state_.rows().size());
        drawn_ = state_.rows();
        endResetModel();
        return;
    }
    const int rows = static_cast<int>(state_.rows().size());
    if (rows < shownRows_) {
        beginRemoveRows({}, rows, shownRows_ - 1);
        shownRows_ = rows;
        endRemoveRows();
    } else if (rows > shownRows_) {
        beginInsertRows({}, shownRows_, rows - 1);
        shownRows_ = rows;
        endInsertRows();
    }
    // Only cells whose figures moved are repainted: in a long list most rows hold still from
    // one tick to the next, and drawing a cell's text is the table's main cost.
    const int columns = static_cast<int>(shownColumns_.size());
    const std::vector<ProcInfo>& now = state_.rows();
    const size_t before = drawn_.size();
    drawn_.resize(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        const ProcInfo& next = now[r];
        ProcInfo& last = drawn_[r];
        const bool sameProcess = static_cast<size_t>(r) < before && last.pid == next.pid;
        int first = -1, end = -1;
        for (int c = 0; c < columns; ++c) {
            if (sameProcess && !differs(last, next, shownColumns_[c])) continue;
            if (first < 0) first = c;
            end = c;
        }
        if (first >= 0) emit dataChanged(index(r, first), index(r, end));
        last = next;
    }
}

bool ProcessTableModel::differs(const ProcInfo& a, const ProcInfo& b, ProcColumn column) {
    // Exact comparison: a NaN always counts as changed, which only costs a repaint.
    switch (column) {
        case ProcColumn::pid:
            return a.pid != b.pid;
        case ProcColumn::name:
            return a.name != b.name;
        case ProcColumn::cpu:
            return !(a.cpu == b.cpu);
        case ProcColumn::gpu:
            return !(a.gpuPercent == b.gpuPercent);
        case ProcColumn::mem:
            return a.memBytes != b.memBytes;
        case ProcColumn::disk:
            return !(a.diskReadBps + a.diskWriteBps == b.diskReadBps + b.diskWriteBps);
        case ProcColumn::energy:
            return !(a.energyImpact == b.energyImpact);
    }
    return true;
}

ProcColumn ProcessTableModel::columnAt(int column) const {
    return column >= 0 && column < static_cast<int>(shownColumns_.size()) ? shownColumns_[column] : ProcColumn::name;
}

int ProcessTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int ProcessTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shownColumns_.size());
}

QVariant ProcessTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(state_.rows().size())) return {};
    const ProcInfo& p = state_.rows()[index.row()];
    const ProcColumn column = columnAt(index.column());
    switch (role) {
        case Qt::DisplayRole:
            return cellText(p, column);
        case Qt::ToolTipRole:
            return column == ProcColumn::name ? QVariant(plainToolTip(p.name)) : QVariant();
        case Qt::TextAlignmentRole:
            return column == ProcColumn::name ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                              : QVariant(Qt::AlignRight | Qt::AlignVCenter);
        case Qt::DecorationRole:
            if (column == ProcColumn::name && icons_) return icons_(p.pid, p.name);
            return {};
        case PidRole:
            return p.pid;
        default:
            return {};
    }
}

QVariant ProcessTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return headerText(columnAt(section), loc_);
}

QString ProcessTableModel::cellText(const ProcInfo& p, ProcColumn column) {
    switch (column) {
        case ProcColumn::pid:
            return QString::number(p.pid);
        case ProcColumn::name: {
            // One line whatever the name holds: control characters would break the row.
            return oneLine(p.name);
        }
        case ProcColumn::cpu:
            return Format::fixed(p.cpu, 0) + u'%';
        case ProcColumn::gpu:
            return Format::fixed(p.gpuPercent, 0) + u'%';
        case ProcColumn::mem:
            return Format::bytes(p.memBytes);
        case ProcColumn::disk:
            return Format::bps(p.diskReadBps + p.diskWriteBps);
        case ProcColumn::energy:
            return Format::fixed(p.energyImpact, 0);
    }
    return {};
}

QString ProcessTableModel::headerText(ProcColumn column, const Localizer* from) {
    const Localizer& loc = from ? *from : Localizer::shared();
    switch (column) {
        case ProcColumn::pid:
            return QStringLiteral("PID");
        case ProcColumn::name:
            return loc.t(QStringLiteral("colName"));
        case ProcColumn::cpu:
            return QStringLiteral("CPU%");
        case ProcColumn::gpu:
            return QStringLiteral("GPU%");
        case ProcColumn::mem:
            return loc.t(QStringLiteral("dashMemory"));
        case ProcColumn::disk:
            return loc.t(QStringLiteral("colDisk"));
        case ProcColumn::energy:
            return loc.t(QStringLiteral("colEnergy"));
    }
    return {};
}

ProcSortKey ProcessTableModel::sortKeyOf(ProcColumn column) {
    switch (column) {
        case ProcColumn::pid:
            return ProcSortKey::pid;
        case ProcColumn::name:
            return ProcSortKey::name;
        case ProcColumn::cpu:
            return ProcSortKey::cpu;
        case ProcColumn::gpu:
            return ProcSortKey::gpu;
        case ProcColumn::mem:
            return ProcSortKey::mem;
        case ProcColumn::disk:
            return ProcSortKey::disk;
        case ProcColumn::energy:
            return ProcSortKey::energy;
    }
    return ProcSortKey::cpu;
}

}  // namespace velmora
