#include "ui/dashboard/process_table_model.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/one_line.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <unordered_set>

namespace velmora {

namespace {

struct ColumnName {
    ProcColumn column;
    const char* raw;
};
constexpr ColumnName kColumnNames[] = {
    {ProcColumn::pid, "pid"},          {ProcColumn::name, "name"},           {ProcColumn::cpu, "cpu"},
    {ProcColumn::gpu, "gpu"},          {ProcColumn::mem, "mem"},             {ProcColumn::disk, "disk"},
    {ProcColumn::energy, "energy"},    {ProcColumn::user, "user"},           {ProcColumn::command, "command"},
    {ProcColumn::threads, "threads"},  {ProcColumn::state, "state"},         {ProcColumn::nice, "nice"},
    {ProcColumn::started, "started"},  {ProcColumn::readTotal, "readTotal"}, {ProcColumn::writeTotal, "writeTotal"},
};

}  // namespace

const std::vector<ProcColumn>& allProcColumns() {
    static const std::vector<ProcColumn> all = [] {
        std::vector<ProcColumn> out;
        for (const ColumnName& c : kColumnNames)
            out.push_back(c.column);
        return out;
    }();
    return all;
}

const std::vector<ProcColumn>& defaultProcColumns() {
    static const std::vector<ProcColumn> columns = {ProcColumn::pid, ProcColumn::name, ProcColumn::cpu,
                                                    ProcColumn::gpu, ProcColumn::mem,  ProcColumn::disk,
                                                    ProcColumn::energy};
    return columns;
}

bool procColumnOptional(ProcColumn column) {
    return column != ProcColumn::pid && column != ProcColumn::name;
}

QString rawValue(ProcColumn column) {
    for (const ColumnName& c : kColumnNames)
        if (c.column == column) return QLatin1String(c.raw);
    return {};
}

std::optional<ProcColumn> procColumnFromRaw(const QString& raw) {
    for (const ColumnName& c : kColumnNames)
        if (raw == QLatin1String(c.raw)) return c.column;
    return std::nullopt;
}

std::vector<ProcColumn> procColumnsFromRaw(const QStringList& raw) {
    if (raw.isEmpty()) return defaultProcColumns();
    std::vector<ProcColumn> out;
    for (ProcColumn c : allProcColumns()) {
        const bool wanted = !procColumnOptional(c) || std::any_of(raw.begin(), raw.end(), [&](const QString& r) {
            return procColumnFromRaw(r) == c;
        });
        if (wanted) out.push_back(c);
    }
    return out;
}

QStringList rawValues(const std::vector<ProcColumn>& columns) {
    QStringList out;
    for (ProcColumn c : columns)
        out << rawValue(c);
    return out;
}

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
    if (grouped) tree_ = false;
    table_.forgetOrder();
    recompute();
}

void ProcessTableState::setTree(bool tree) {
    if (tree == tree_) return;
    tree_ = tree;
    if (tree) options_.groupByName = false;
    table_.forgetOrder();
    recompute();
}

void ProcessTableState::setCollapsed(const RowKey& key, bool collapsed) {
    if (!key.group.isEmpty()) return;
    const std::pair<int32_t, uint64_t> id{key.pid, key.startTime};
    const bool changed = collapsed ? collapsed_.insert(id).second : collapsed_.erase(id) > 0;
    if (changed && tree_) recompute();
}

bool ProcessTableState::isCollapsed(const RowKey& key) const {
    return collapsed_.contains({key.pid, key.startTime});
}

void ProcessTableState::setChosenColumns(std::vector<ProcColumn> columns) {
    chosen_ = procColumnsFromRaw(rawValues(columns));
    rebuildColumns();
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
    columns_.clear();
    for (ProcColumn c : chosen_)
        if (c != ProcColumn::gpu || collectGPU_) columns_.push_back(c);
}

void ProcessTableState::recompute() {
    if (columns_.empty()) rebuildColumns();
    if (tree_) {
        // The tree ranks every match, not the capped top of the flat order.
        const bool stabilised = options_.cumulativeRank && rankStabilized(options_.key);
        const QLocale locale;
        const QString needle = locale.toLower(options_.search);
        matching_.clear();
        for (const ProcInfo& p : processes_) {
            if (!needle.isEmpty() && !locale.toLower(p.name).contains(needle)) continue;
            ProcInfo& row = matching_.emplace_back(p);
            if (stabilised) row.stableScore = table_.ranker().metricScore(p.pid, options_.key);
        }
        builder_.build(matching_, options_, collapsed_, ProcessTable::rowLimit, rows_, shape_);
        // Folds of processes that ended are forgotten.
        if (!collapsed_.empty())
            std::erase_if(collapsed_, [&](const auto& id) {
                return std::none_of(processes_.begin(), processes_.end(), [&](const ProcInfo& p) {
                    return p.pid == id.first && p.startTime == id.second;
                });
            });
    } else {
        rows_ = table_.recompute(processes_, options_);
        shape_.clear();
    }
    byPidStale_ = true;
    pruneSelection();
}

const ProcInfo* ProcessTableState::processOf(const RowKey& key) const {
    if (!key.group.isEmpty()) return nullptr;
    for (const ProcInfo& p : processes_)
        if (p.pid == key.pid && p.startTime == key.startTime) return &p;
    return nullptr;
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
        drawnShape_ = state_.shape();
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
    const std::vector<ProcessTreeRow>& shape = state_.shape();
    const size_t before = drawn_.size();
    drawn_.resize(static_cast<size_t>(rows));
    drawnShape_.resize(shape.size());
    for (int r = 0; r < rows; ++r) {
        const ProcInfo& next = now[r];
        ProcInfo& last = drawn_[r];
        const bool sameProcess = static_cast<size_t>(r) < before && last.pid == next.pid &&
                                 last.startTime == next.startTime;
        // A row that moved in the tree or was folded repaints its name (indent, disclosure).
        bool sameShape = true;
        if (static_cast<size_t>(r) < shape.size()) {
            sameShape = drawnShape_[r] == shape[r];
            drawnShape_[r] = shape[r];
        }
        int first = -1, end = -1;
        for (int c = 0; c < columns; ++c) {
            if (sameProcess && !differs(last, next, shownColumns_[c]) &&
                (sameShape || shownColumns_[c] != ProcColumn::name))
                continue;
            if (first < 0) first = c;
            end = c;
        }
        if (first >= 0) emit dataChanged(index(r, first), index(r, end));
        last = next;
    }
    // Labels of processes that ended are let go once the cache outgrows the rows.
    if (labelCache_.size() > 2 * static_cast<qsizetype>(state_.processes().size()) + 64) {
        QHash<QPair<int32_t, quint64>, ProcessLabels> kept;
        for (const ProcInfo& p : state_.processes())
            if (const auto it = labelCache_.constFind({p.pid, p.startTime}); it != labelCache_.cend())
                kept.insert(it.key(), *it);
        labelCache_.swap(kept);
    }
}

const ProcessLabels& ProcessTableModel::labelsOf(const ProcInfo& p) const {
    static const ProcessLabels none;
    if (!labels_) return none;
    const QPair<int32_t, quint64> key{p.pid, p.startTime};
    if (const auto it = labelCache_.constFind(key); it != labelCache_.cend()) return *it;
    return *labelCache_.insert(key, labels_(p.pid));
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
        case ProcColumn::user:
        case ProcColumn::command:
            return a.pid != b.pid || a.startTime != b.startTime;
        case ProcColumn::threads:
            return a.threads != b.threads;
        case ProcColumn::state:
            return a.state != b.state;
        case ProcColumn::nice:
            return a.nice != b.nice;
        case ProcColumn::started:
            return a.startedSec != b.startedSec;
        case ProcColumn::readTotal:
            return a.diskReadTotal != b.diskReadTotal;
        case ProcColumn::writeTotal:
            return a.diskWriteTotal != b.diskWriteTotal;
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
    const bool text = column == ProcColumn::name || column == ProcColumn::user || column == ProcColumn::command;
    const bool labelled = column == ProcColumn::user || column == ProcColumn::command;
    switch (role) {
        case Qt::DisplayRole:
            return cellText(p, column, labelled ? &labelsOf(p) : nullptr);
        case Qt::ToolTipRole:
            if (column == ProcColumn::name) return plainToolTip(p.name);
            if (column == ProcColumn::command) {
                const QString& command = labelsOf(p).command;
                return command.isEmpty() ? QVariant() : QVariant(plainToolTip(command));
            }
            return {};
        case Qt::TextAlignmentRole:
            return text ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignRight | Qt::AlignVCenter);
        case ElideRole:
            return static_cast<int>(column == ProcColumn::command ? Qt::ElideMiddle : Qt::ElideRight);
        case DepthRole: {
            const auto& shape = state_.shape();
            if (column != ProcColumn::name || index.row() >= static_cast<int>(shape.size())) return {};
            return shape[index.row()].depth;
        }
        case Qt::AccessibleDescriptionRole: {
            // What the disclosure mark shows, for a screen reader.
            const auto& shape = state_.shape();
            if (column != ProcColumn::name || index.row() >= static_cast<int>(shape.size())) return {};
            const ProcessTreeRow& at = shape[index.row()];
            if (!at.hasChildren) return {};
            const Localizer& loc = loc_ ? *loc_ : Localizer::shared();
            return loc.t(at.expanded ? QStringLiteral("ptRowOpen") : QStringLiteral("ptRowFolded"),
                         static_cast<qulonglong>(at.family));
        }
        case BranchRole: {
            const auto& shape = state_.shape();
            if (column != ProcColumn::name || index.row() >= static_cast<int>(shape.size())) return 0;
            const ProcessTreeRow& at = shape[index.row()];
            return at.hasChildren ? (at.expanded ? 2 : 1) : 0;
        }
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
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::ToolTipRole) return headerNote_.isEmpty() ? QVariant() : QVariant(headerNote_);
    if (role != Qt::DisplayRole) return {};
    return headerText(columnAt(section), loc_);
}

QString ProcessTableModel::cellText(const ProcInfo& p, ProcColumn column, const ProcessLabels* labels) {
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
        case ProcColumn::user:
            return labels ? oneLine(labels->user) : QString();
        case ProcColumn::command:
            return labels ? oneLine(labels->command) : QString();
        case ProcColumn::threads:
            return p.threads > 0 ? QString::number(p.threads) : QStringLiteral("-");
        case ProcColumn::state:
            return p.state > ' ' && p.state < 0x7f ? QString(QChar(p.state)) : QStringLiteral("-");
        case ProcColumn::nice:
            return QString::number(p.nice);
        case ProcColumn::started: {
            if (p.startedSec <= 0) return QStringLiteral("-");
            const QDateTime at = QDateTime::fromSecsSinceEpoch(p.startedSec);
            const QLocale locale;
            // Today's processes by their time; older ones by their date.
            return at.date() == QDate::currentDate() ? locale.toString(at.time(), QLocale::ShortFormat)
                                                     : locale.toString(at.date(), QLocale::ShortFormat);
        }
        case ProcColumn::readTotal:
            return Format::bytes(p.diskReadTotal);
        case ProcColumn::writeTotal:
            return Format::bytes(p.diskWriteTotal);
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
        case ProcColumn::user:
            return loc.t(QStringLiteral("pdUser"));
        case ProcColumn::command:
            return loc.t(QStringLiteral("pdCommand"));
        case ProcColumn::threads:
            return loc.t(QStringLiteral("adThreads"));
        case ProcColumn::state:
            return loc.t(QStringLiteral("ptColState"));
        case ProcColumn::nice:
            return loc.t(QStringLiteral("ptColNice"));
        case ProcColumn::started:
            return loc.t(QStringLiteral("pdStartTime"));
        case ProcColumn::readTotal:
            return loc.t(QStringLiteral("ptColReadTotal"));
        case ProcColumn::writeTotal:
            return loc.t(QStringLiteral("ptColWriteTotal"));
    }
    return {};
}

std::optional<ProcSortKey> ProcessTableModel::sortKeyOf(ProcColumn column) {
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
        case ProcColumn::threads:
            return ProcSortKey::threads;
        case ProcColumn::nice:
            return ProcSortKey::nice;
        case ProcColumn::started:
            return ProcSortKey::started;
        case ProcColumn::readTotal:
            return ProcSortKey::readTotal;
        case ProcColumn::writeTotal:
            return ProcSortKey::writeTotal;
        case ProcColumn::user:
        case ProcColumn::command:
            // Their texts are read only for the rows in sight; ordering by them would read all.
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace velmora
