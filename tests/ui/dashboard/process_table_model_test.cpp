#include "ui/dashboard/process_table_model.h"

#include <QIcon>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace velmora;

namespace {

ProcInfo proc(int32_t pid, const QString& name, double cpu, double gpu = 0, uint64_t mem = 0) {
    ProcInfo p;
    p.pid = pid;
    p.name = name;
    p.cpu = cpu;
    p.gpuPercent = gpu;
    p.memBytes = mem;
    return p;
}

std::vector<int32_t> pidsOf(const std::vector<ProcInfo>& rows) {
    std::vector<int32_t> out;
    for (const ProcInfo& p : rows)
        out.push_back(p.pid);
    return out;
}

const std::vector<ProcInfo> kThree = {proc(10, "alpha", 5, 40, 300), proc(20, "Beta", 50, 10, 100),
                                      proc(30, "gamma", 20, 0, 200)};

}  // namespace

TEST(ProcessTableState, SortingSearchingAndGroupingRebuildTheRows) {
    ProcessTableState state;
    state.setCumulativeRank(false);  // plain figures, so each order is exact
    state.setProcesses(kThree);
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{20, 30, 10})) << "CPU, highest first";

    struct Step {
        const char* what;
        std::function<void(ProcessTableState&)> act;
        std::vector<int32_t> rows;
    };
    const Step steps[] = {
        {"the active column flips", [](auto& s) { s.sortBy(ProcSortKey::cpu); }, {10, 30, 20}},
        {"names, still ascending", [](auto& s) { s.sortBy(ProcSortKey::name); }, {10, 20, 30}},
        {"memory, still ascending", [](auto& s) { s.sortBy(ProcSortKey::mem); }, {20, 30, 10}},
        {"memory flips: highest first", [](auto& s) { s.sortBy(ProcSortKey::mem); }, {10, 30, 20}},
        {"search ignores case", [](auto& s) { s.setSearch("BET"); }, {20}},
        {"no match, no rows", [](auto& s) { s.setSearch("zzz"); }, {}},
        {"search cleared", [](auto& s) { s.setSearch(""); }, {10, 30, 20}},
    };
    for (const Step& step : steps) {
        step.act(state);
        EXPECT_EQ(pidsOf(state.rows()), step.rows) << step.what;
    }

    // Grouping sums rows of one name under the first pid.
    state.setProcesses({proc(1, "worker", 10), proc(2, "worker", 15), proc(3, "solo", 20)});
    state.sortBy(ProcSortKey::cpu);
    state.setGrouped(true);
    ASSERT_EQ(state.rows().size(), 2u);
    EXPECT_EQ(state.rows()[0].name, "worker  (2)");
    EXPECT_DOUBLE_EQ(state.rows()[0].cpu, 25);
}

TEST(ProcessTableState, OnlyTheActiveColumnFlipsTheDirection) {
    // Each click, from the state the previous one left: the active column flips, another
    // column takes over in the direction the table already has.
    struct Click {
        ProcSortKey key;
        ProcSortKey activeAfter;
        bool ascendingAfter;
        std::vector<int32_t> rows;
    };
    const Click clicks[] = {
        {ProcSortKey::mem, ProcSortKey::mem, false, {10, 30, 20}},   // another column, descending kept
        {ProcSortKey::name, ProcSortKey::name, false, {30, 20, 10}},  // names too stay descending
        {ProcSortKey::name, ProcSortKey::name, true, {10, 20, 30}},   // the same column flips
        {ProcSortKey::pid, ProcSortKey::pid, true, {10, 20, 30}},     // another, ascending kept
        {ProcSortKey::cpu, ProcSortKey::cpu, true, {10, 30, 20}},     // a load figure, ascending kept
        {ProcSortKey::cpu, ProcSortKey::cpu, false, {20, 30, 10}},    // flips back
        {ProcSortKey::cpu, ProcSortKey::cpu, true, {10, 30, 20}},     // and again
        {ProcSortKey::pid, ProcSortKey::pid, true, {10, 20, 30}},
        {ProcSortKey::pid, ProcSortKey::pid, false, {30, 20, 10}},
    };
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setProcesses(kThree);
    ASSERT_EQ(state.options().key, ProcSortKey::cpu);
    ASSERT_FALSE(state.options().ascending);
    for (size_t i = 0; i < std::size(clicks); ++i) {
        const Click& c = clicks[i];
        state.sortBy(c.key);
        EXPECT_EQ(state.options().key, c.activeAfter) << "click " << i;
        EXPECT_EQ(state.options().ascending, c.ascendingAfter) << "click " << i;
        EXPECT_EQ(pidsOf(state.rows()), c.rows) << "click " << i;
    }
}

TEST(ProcessTableState, TurningGPUCollectionOffHidesTheColumnAndMovesItsSort) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setCollectGPU(true);
    state.setProcesses(kThree);
    state.sortBy(ProcSortKey::gpu);
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{10, 20, 30}));
    ProcessTableModel model(state);
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "GPU%");

    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    state.setCollectGPU(false);
    model.refresh();
    EXPECT_EQ(state.options().key, ProcSortKey::cpu);
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{20, 30, 10}));
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_EQ(resets, 1);
    for (int c = 0; c < model.columnCount(); ++c)
        EXPECT_NE(model.columnAt(c), ProcColumn::gpu);

    // Sorted by CPU already: turning it off again leaves the sort alone.
    state.sortBy(ProcSortKey::mem);
    state.setCollectGPU(false);
    EXPECT_EQ(state.options().key, ProcSortKey::mem);
}

namespace {

using Key = ProcessTableState::RowKey;

Key row(int32_t pid, uint64_t start = 0) {
    return {{}, pid, start};
}

std::vector<int32_t> pidsOf(const std::vector<ProcessTarget>& targets) {
    std::vector<int32_t> out;
    for (const ProcessTarget& t : targets)
        out.push_back(t.ref.pid);
    return out;
}

ProcInfo stamped(int32_t pid, const QString& name, double cpu, uint64_t start) {
    ProcInfo p = proc(pid, name, cpu);
    p.startTime = start;
    return p;
}

}  // namespace

TEST(ProcessTableState, SelectionFollowsRowsAcrossSortsTicksAndExits) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setProcesses(kThree);
    state.toggleSelected(row(30));
    state.toggleSelected(row(10));
    state.toggleSelected(row(99));  // no such row: nothing to select
    state.sortBy(ProcSortKey::name);
    EXPECT_EQ(state.selection(), (std::set<Key>{row(10), row(30)}));

    // A row's menu acts on the whole selection when the row is in it, else on the row alone.
    EXPECT_EQ(pidsOf(state.targetsFor(row(30))), (std::vector<int32_t>{10, 30}));
    EXPECT_EQ(pidsOf(state.targetsFor(row(20))), (std::vector<int32_t>{20}));
    EXPECT_EQ(state.targetsFor(row(20)).front().name, "Beta");

    // pid 10 exits; a new process appears.
    state.setProcesses({proc(20, "Beta", 50), proc(30, "gamma", 20), proc(40, "delta", 1)});
    EXPECT_EQ(state.selection(), (std::set<Key>{row(30)}));

    // Of three asked to quit, one refused and one had ended: the refused one stays selected.
    state.setSelection({row(20), row(30), row(40)});
    state.settle({{20}, {40}, {30}});
    EXPECT_EQ(state.selection(), (std::set<Key>{row(30)}));
}

TEST(ProcessTableState, APidTakenOverByAnotherProcessLeavesTheSelection) {
    ProcessTableState state;
    state.setProcesses({stamped(10, "old", 5, 1), stamped(20, "other", 4, 2)});
    state.setSelection({row(10, 1), row(20, 2)});
    state.setProcesses({stamped(10, "newcomer", 5, 9), stamped(20, "other", 4, 2)});
    EXPECT_EQ(state.selection(), (std::set<Key>{row(20, 2)})) << "the newcomer was never chosen";
    ASSERT_EQ(state.selectedTargets().size(), 1u);
    EXPECT_EQ(state.selectedTargets()[0].ref, (ProcessRef{20, 2}));
}

TEST(ProcessTableState, TheSelectionIsWhatTheSearchShows) {
    ProcessTableState state;
    state.setProcesses(kThree);
    state.setSelection({row(10), row(20), row(30)});
    state.setSearch("beta");
    EXPECT_EQ(state.selection(), (std::set<Key>{row(20)})) << "hidden rows leave the selection";
    EXPECT_EQ(pidsOf(state.selectedTargets()), std::vector<int32_t>{20});
    state.setSearch({});
    EXPECT_EQ(state.selection(), (std::set<Key>{row(20)})) << "and do not come back with the rows";
    state.reset();
    EXPECT_TRUE(state.selection().empty());
    EXPECT_TRUE(state.options().search.isEmpty());
}

TEST(ProcessTableState, AGroupRowIsItsNameAndStandsForEveryMember) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setGrouped(true);
    state.setProcesses({stamped(11, "burnC", 30, 1), stamped(12, "burnC", 20, 2), stamped(13, "burnC", 10, 3),
                        stamped(20, "solo", 5, 4)});
    ASSERT_EQ(state.rows().size(), 2u);
    const Key group = state.keyOf(state.rows()[0]);
    EXPECT_EQ(group, (Key{"burnC", 0, 0}));
    state.setSelection({group});
    EXPECT_EQ(pidsOf(state.selectedTargets()), (std::vector<int32_t>{11, 12, 13}));

    // Another member leads the group next tick: the row, its key and the selection stay.
    state.setProcesses({stamped(13, "burnC", 90, 3), stamped(12, "burnC", 20, 2), stamped(11, "burnC", 10, 1),
                        stamped(20, "solo", 5, 4)});
    EXPECT_EQ(state.keyOf(state.rows()[0]), group);
    EXPECT_EQ(state.selection(), (std::set<Key>{group}));

    // A member refused: the group stays selected; all acted on: it leaves.
    state.settle({{13, 12}, {}, {11}});
    EXPECT_EQ(state.selection(), (std::set<Key>{group}));
    state.settle({{13, 12}, {11}, {}});
    EXPECT_TRUE(state.selection().empty());

    // Ungrouping turns group keys into rows the user never chose.
    state.setSelection({group});
    state.setGrouped(false);
    EXPECT_TRUE(state.selection().empty());
}

TEST(ProcessTableModel, RowsComeAndGoWithoutResettingTheView) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setProcesses(kThree);
    ProcessTableModel model(state);
    EXPECT_EQ(model.rowCount(), 3);
    int resets = 0, inserted = 0, removed = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                     [&](const QModelIndex&, int first, int last) { removed += last - first + 1; });

    state.setProcesses({proc(20, "Beta", 50)});
    model.refresh();
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(model.data(model.index(0, 0), ProcessTableModel::PidRole).toInt(), 20);

    // 5 000 processes: the table shows the first 250.
    std::vector<ProcInfo> many;
    for (int i = 0; i < 5000; ++i)
        many.push_back(proc(100 + i, QStringLiteral("p%1").arg(i), i % 97));
    state.setProcesses(many);
    model.refresh();
    EXPECT_EQ(model.rowCount(), 250);
    EXPECT_EQ(inserted, 249);

    state.setProcesses({});
    model.refresh();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(resets, 0);
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::DisplayRole).isValid());
}

TEST(ProcessTableModel, ATickRepaintsOnlyTheCellsWhoseFiguresMoved) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setProcesses(kThree);  // rows: 20, 30, 10
    ProcessTableModel model(state);
    std::vector<std::tuple<int, int, int>> changed;  // row, first column, last column
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         ASSERT_EQ(from.row(), to.row()) << "one row per signal";
                         changed.emplace_back(from.row(), from.column(), to.column());
                     });
    const auto column = [&](ProcColumn c) {
        for (int i = 0; i < model.columnCount(); ++i)
            if (model.columnAt(i) == c) return i;
        return -1;
    };

    state.setProcesses(kThree);
    model.refresh();
    EXPECT_TRUE(changed.empty()) << "nothing moved, nothing to repaint";

    std::vector<ProcInfo> next = kThree;
    next[2].memBytes = 999;  // pid 30's memory only
    state.setProcesses(next);
    model.refresh();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], std::make_tuple(1, column(ProcColumn::mem), column(ProcColumn::mem)));

    // 10 overtakes 30: both rows now show another process, every cell of them changes.
    changed.clear();
    next[0].cpu = 30;
    state.setProcesses(next);
    model.refresh();
    const int last = model.columnCount() - 1;
    EXPECT_EQ(changed, (std::vector<std::tuple<int, int, int>>{{1, 0, last}, {2, 0, last}}));
    EXPECT_EQ(model.data(model.index(1, column(ProcColumn::pid)), Qt::DisplayRole).toString(), "10");

    // A figure that is not a number is redrawn every time rather than never.
    changed.clear();
    next[1].diskReadBps = NAN;
    state.setProcesses(next);
    model.refresh();
    model.refresh();
    EXPECT_EQ(changed.size(), 2u);
}

TEST(ProcessTableModel, CellTexts) {
    ProcInfo p = proc(4242, QStringLiteral("bad\nname\t\x1b[31m"), 12.6, 3.4, 1536);
    p.diskReadBps = 1024;
    p.diskWriteBps = 1024;
    p.energyImpact = 7.5;
    struct Case {
        ProcColumn column;
        QString text;
    };
    const Case cases[] = {
        {ProcColumn::pid, "4242"},   {ProcColumn::name, QStringLiteral("bad\uFFFDname\uFFFD\uFFFD[31m")}, {ProcColumn::cpu, "13%"},
        {ProcColumn::gpu, "3%"},     {ProcColumn::mem, "1.5 KB"},          {ProcColumn::disk, "2.0 KB/s"},
        {ProcColumn::energy, "8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessTableModel::cellText(p, c.column), c.text) << static_cast<int>(c.column);
}

TEST(ProcessTableModel, TheNameColumnAsksTheIconProvider) {
    ProcessTableState state;
    state.setProcesses(kThree);
    ProcessTableModel model(state);
    EXPECT_FALSE(model.index(0, 1).data(Qt::DecorationRole).isValid()) << "no provider, no icon";

    std::vector<std::pair<int32_t, QString>> asked;
    QPixmap red(8, 8);
    red.fill(Qt::red);
    model.setIconProvider([&](int32_t pid, const QString& name) {
        asked.emplace_back(pid, name);
        return QIcon(red);
    });
    const QModelIndex name = model.index(0, 1);
    EXPECT_TRUE(model.data(name, Qt::DecorationRole).value<QIcon>().isNull() == false);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, name.data(ProcessTableModel::PidRole).toInt());
    EXPECT_EQ(asked[0].second, state.rows()[0].name);
    EXPECT_FALSE(model.index(0, 0).data(Qt::DecorationRole).isValid()) << "only beside the name";
    EXPECT_EQ(asked.size(), 1u);
}
