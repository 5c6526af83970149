#include "ui/dashboard/process_table_model.h"

#include "core/localizer.h"
#include "ui/common/one_line.h"

#include <QDateTime>
#include <QLocale>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <map>

using namespace velmora;

namespace {

using Key = ProcessTableState::RowKey;

ProcInfo proc(int32_t pid, int32_t ppid, uint64_t start, double cpu, const QString& name = {}) {
    ProcInfo p;
    p.pid = pid;
    p.ppid = ppid;
    p.startTime = start;
    p.cpu = cpu;
    p.name = name.isEmpty() ? QStringLiteral("p%1").arg(pid) : name;
    return p;
}

std::vector<int32_t> pidsOf(const std::vector<ProcInfo>& rows) {
    std::vector<int32_t> out;
    for (const ProcInfo& p : rows)
        out.push_back(p.pid);
    return out;
}

Key key(int32_t pid, uint64_t start) {
    return {{}, pid, start};
}

// A shell (10) running a build (20) with two compilers (21, 22), and an editor (30).
std::vector<ProcInfo> family() {
    return {proc(10, 1, 100, 1, "bash"), proc(20, 10, 200, 2, "make"), proc(21, 20, 210, 40, "cc1"),
            proc(22, 20, 220, 30, "cc1"), proc(30, 1, 300, 5, "editor")};
}

}  // namespace

TEST(ProcessTableState, TheTreeKeepsSelectionAndFoldsAcrossTicks) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setTree(true);
    state.setProcesses(family());
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{30, 10, 20, 21, 22}));
    ASSERT_EQ(state.shape().size(), 5u);
    EXPECT_EQ(state.shape()[3].depth, 2);

    state.setSelection({key(21, 210), key(30, 300)});
    state.setCollapsed(key(20, 200), true);
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{30, 10, 20})) << "make folds under the shell";
    EXPECT_EQ(state.rows()[2].cpu, 72) << "with its family's CPU";
    EXPECT_EQ(state.selection(), (std::set<Key>{key(30, 300)})) << "a folded-away row leaves the selection";

    // Next tick: the editor is busier, the shell exits before its children.
    std::vector<ProcInfo> next = family();
    next.erase(next.begin());
    next.back().cpu = 90;
    state.setProcesses(next);
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{30, 20})) << "make is a root now";
    EXPECT_EQ(state.shape()[1].depth, 0);
    EXPECT_TRUE(state.isCollapsed(key(20, 200))) << "still folded";
    EXPECT_EQ(state.selection(), (std::set<Key>{key(30, 300)}));

    // make exits and its pid is reused: the fold is forgotten, not handed to the newcomer.
    next = {proc(20, 1, 999, 1, "newcomer"), proc(21, 20, 210, 1, "cc1")};
    state.setProcesses(next);
    EXPECT_FALSE(state.isCollapsed(key(20, 200)));
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{20, 21})) << "the older cc1 is no child of the newcomer";
    EXPECT_EQ(state.shape()[1].depth, 0);
    EXPECT_TRUE(state.selection().empty());
}

TEST(ProcessTableState, TreeAndGroupingExcludeEachOtherAndSearchKeepsMatches) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setProcesses(family());
    state.setTree(true);
    state.setGrouped(true);
    EXPECT_FALSE(state.tree());
    EXPECT_TRUE(state.shape().empty());
    EXPECT_EQ(state.rows().size(), 4u) << "bash, make, cc1 (2), editor";
    state.setTree(true);
    EXPECT_FALSE(state.options().groupByName);

    // Matches whose parent does not match stand at the top level.
    state.setSearch("cc1");
    EXPECT_EQ(pidsOf(state.rows()), (std::vector<int32_t>{21, 22}));
    EXPECT_EQ(state.shape()[0].depth, 0);
    state.setSearch("nothing");
    EXPECT_TRUE(state.rows().empty());
    EXPECT_TRUE(state.shape().empty());
}

TEST(ProcessTableState, AFoldedRowActsOnItsOwnProcess) {
    ProcessTableState state;
    state.setTree(true);
    state.setProcesses(family());
    state.setCollapsed(key(20, 200), true);
    const std::vector<ProcessTarget> targets = state.targetsFor(key(20, 200));
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].ref, (ProcessRef{20, 200})) << "the family goes through quit with children";
}

TEST(ProcColumns, TheStoredChoiceReadsBackSafely) {
    struct Case {
        const char* name;
        QStringList raw;
        std::vector<ProcColumn> columns;
    };
    using C = ProcColumn;
    const Case cases[] = {
        {"nothing stored: today's columns", {}, defaultProcColumns()},
        {"pid and name always, in the table's order",
         {"command", "cpu", "user"},
         {C::pid, C::name, C::cpu, C::user, C::command}},
        {"unknown names and repeats dropped", {"bogus", "nice", "nice", ""}, {C::pid, C::name, C::nice}},
        {"only unknown names: the two fixed ones", {"bogus"}, {C::pid, C::name}},
        {"every column",
         rawValues(allProcColumns()),
         allProcColumns()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(procColumnsFromRaw(c.raw), c.columns) << c.name;
    for (ProcColumn c : allProcColumns())
        EXPECT_EQ(procColumnFromRaw(rawValue(c)), c);
    EXPECT_FALSE(procColumnOptional(ProcColumn::pid));
    EXPECT_FALSE(procColumnOptional(ProcColumn::name));
    EXPECT_TRUE(procColumnOptional(ProcColumn::cpu));
}

TEST(ProcessTableModel, ChosenColumnsShowWithTheirTexts) {
    ProcInfo p = proc(7, 1, 5, 0);
    p.threads = 12;
    p.state = 'S';
    p.nice = -5;
    p.diskReadTotal = 2048;
    p.diskWriteTotal = 3u << 20;
    const ProcessLabels labels{QStringLiteral("ana"), QStringLiteral("make -j8\nall"), QStringLiteral("/usr/bin/make")};
    struct Case {
        ProcColumn column;
        QString text;
    };
    const Case cases[] = {
        {ProcColumn::user, "ana"},
        {ProcColumn::command, QStringLiteral("make -j8\uFFFDall")},
        {ProcColumn::threads, "12"},
        {ProcColumn::state, "S"},
        {ProcColumn::nice, "-5"},
        {ProcColumn::started, "-"},
        {ProcColumn::readTotal, "2.0 KB"},
        {ProcColumn::writeTotal, "3.0 MB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessTableModel::cellText(p, c.column, &labels), c.text) << rawValue(c.column).toStdString();
    EXPECT_EQ(ProcessTableModel::cellText(p, ProcColumn::user), QString()) << "no labels, no text";
    p.state = 0;
    p.threads = 0;
    EXPECT_EQ(ProcessTableModel::cellText(p, ProcColumn::state), "-");
    EXPECT_EQ(ProcessTableModel::cellText(p, ProcColumn::threads), "-");
    p.startedSec = QDateTime::currentSecsSinceEpoch();
    EXPECT_EQ(ProcessTableModel::cellText(p, ProcColumn::started),
              QLocale().toString(QDateTime::fromSecsSinceEpoch(p.startedSec).time(), QLocale::ShortFormat))
        << "today's start by its time";
    p.startedSec -= 3 * 86400;
    EXPECT_EQ(ProcessTableModel::cellText(p, ProcColumn::started),
              QLocale().toString(QDateTime::fromSecsSinceEpoch(p.startedSec).date(), QLocale::ShortFormat));
}

TEST(ProcessTableModel, LabelsAreReadOncePerProcessAndOnlyForShownColumns) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setProcesses(family());
    ProcessTableModel model(state);
    std::map<int32_t, int> reads;
    model.setLabelProvider([&](int32_t pid) {
        ++reads[pid];
        return ProcessLabels{QStringLiteral("u%1").arg(pid), QStringLiteral("/bin/p%1 --flag").arg(pid), {}};
    });
    // Every default cell drawn: no label read.
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c) {
            model.index(r, c).data(Qt::DisplayRole);
            model.index(r, c).data(Qt::ToolTipRole);
        }
    EXPECT_TRUE(reads.empty());

    state.setChosenColumns({ProcColumn::cpu, ProcColumn::user, ProcColumn::command});
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.refresh();
    EXPECT_EQ(resets.count(), 1) << "the header changed";
    ASSERT_EQ(model.columnCount(), 5);
    EXPECT_EQ(model.columnAt(3), ProcColumn::user);
    const QModelIndex command = model.index(0, 4);
    const int32_t pid = command.data(ProcessTableModel::PidRole).toInt();
    EXPECT_EQ(command.data(Qt::DisplayRole).toString(), QStringLiteral("/bin/p%1 --flag").arg(pid));
    EXPECT_EQ(command.data(Qt::ToolTipRole).toString(), plainToolTip(QStringLiteral("/bin/p%1 --flag").arg(pid)));
    EXPECT_EQ(command.data(ProcessTableModel::ElideRole).toInt(), Qt::ElideMiddle) << "both ends of a command tell";
    EXPECT_EQ(model.index(0, 3).data(ProcessTableModel::ElideRole).toInt(), Qt::ElideRight);
    EXPECT_EQ(model.index(0, 3).data(Qt::DisplayRole).toString(), QStringLiteral("u%1").arg(pid));
    // Ticks and repaints read nothing again.
    state.setProcesses(family());
    model.refresh();
    model.index(0, 3).data(Qt::DisplayRole);
    model.index(0, 4).data(Qt::DisplayRole);
    EXPECT_EQ(reads[pid], 1);
    EXPECT_EQ(reads.size(), 1u) << "rows not drawn are not read";
}

TEST(ProcessTableModel, TreeRowsCarryTheirDepthAndDisclosure) {
    ProcessTableState state;
    state.setCumulativeRank(false);
    state.setProcesses(family());
    ProcessTableModel model(state);
    EXPECT_FALSE(model.index(0, 1).data(ProcessTableModel::DepthRole).isValid()) << "flat: no tree marks";

    state.setTree(true);
    model.refresh();
    std::vector<std::tuple<int32_t, int, int>> got;
    for (int r = 0; r < model.rowCount(); ++r) {
        const QModelIndex name = model.index(r, 1);
        got.emplace_back(name.data(ProcessTableModel::PidRole).toInt(),
                         name.data(ProcessTableModel::DepthRole).toInt(),
                         name.data(ProcessTableModel::BranchRole).toInt());
    }
    EXPECT_EQ(got, (std::vector<std::tuple<int32_t, int, int>>{{30, 0, 0}, {10, 0, 2}, {20, 1, 2}, {21, 2, 0}, {22, 2, 0}}));
    EXPECT_FALSE(model.index(1, 0).data(ProcessTableModel::DepthRole).isValid()) << "only the name column";
    EXPECT_EQ(model.index(1, 1).data(Qt::AccessibleDescriptionRole).toString(), Localizer::shared().t("ptRowOpen", 3));
    EXPECT_FALSE(model.index(0, 1).data(Qt::AccessibleDescriptionRole).isValid()) << "a leaf has nothing to open";

    // Folding repaints the folded row's name although its pid and figures moved with it.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    state.setCollapsed(key(10, 100), true);
    model.refresh();
    EXPECT_EQ(resets.count(), 0) << "updated in place";
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(0, 1).data(ProcessTableModel::PidRole).toInt(), 10);
    EXPECT_EQ(model.index(0, 1).data(ProcessTableModel::BranchRole).toInt(), 1);
    EXPECT_EQ(model.index(0, 1).data(Qt::AccessibleDescriptionRole).toString(), Localizer::shared().t("ptRowFolded", 3));
    EXPECT_EQ(model.index(0, 2).data(Qt::DisplayRole).toString(), "73%") << "the family's CPU";
    EXPECT_GE(changed.count(), 2);
}

TEST(ProcessTableState, TheNewFiguresSortFlatAndInTheTree) {
    // Three roots and a child whose figures would lead every column if it were a root.
    std::vector<ProcInfo> ps = {proc(1, 0, 1, 0), proc(2, 0, 2, 0), proc(3, 0, 3, 0), proc(4, 3, 4, 0)};
    const auto set = [&](int i, int threads, int nice, int64_t started, uint64_t read, uint64_t written) {
        ps[i].threads = threads;
        ps[i].nice = nice;
        ps[i].startedSec = started;
        ps[i].diskReadTotal = read;
        ps[i].diskWriteTotal = written;
    };
    set(0, 5, 0, 300, 10, 30);
    set(1, 9, -5, 100, 30, 20);
    set(2, 1, 19, 200, 20, 10);
    set(3, 99, 19, 999, 99, 99);
    struct Case {
        ProcSortKey key;
        std::vector<int32_t> flatDescending;
        std::vector<int32_t> treeDescending;
    };
    const Case cases[] = {
        {ProcSortKey::threads, {4, 2, 1, 3}, {2, 1, 3, 4}},
        {ProcSortKey::nice, {3, 4, 1, 2}, {3, 4, 1, 2}},  // a tie keeps the incoming order flat
        {ProcSortKey::started, {4, 1, 3, 2}, {1, 3, 4, 2}},
        {ProcSortKey::readTotal, {4, 2, 3, 1}, {2, 3, 4, 1}},
        {ProcSortKey::writeTotal, {4, 1, 2, 3}, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        for (bool tree : {false, true}) {
            ProcessTableState state;
            state.setCumulativeRank(true);  // no score for these: plain figures
            state.setTree(tree);
            state.setProcesses(ps);
            state.sortBy(c.key);
            const std::vector<int32_t>& want = tree ? c.treeDescending : c.flatDescending;
            EXPECT_EQ(pidsOf(state.rows()), want) << rawValue(c.key).toStdString() << (tree ? " tree" : " flat");
            state.sortBy(c.key);
            EXPECT_TRUE(state.options().ascending);
        }
    }
    // The columns that ask for them; user and command lines do not sort.
    EXPECT_EQ(ProcessTableModel::sortKeyOf(ProcColumn::threads), ProcSortKey::threads);
    EXPECT_EQ(ProcessTableModel::sortKeyOf(ProcColumn::writeTotal), ProcSortKey::writeTotal);
    EXPECT_FALSE(ProcessTableModel::sortKeyOf(ProcColumn::user).has_value());
    EXPECT_FALSE(ProcessTableModel::sortKeyOf(ProcColumn::command).has_value());
}
