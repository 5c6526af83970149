#include "ui/dashboard/process_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

using namespace velmora;

namespace {

ProcInfo proc(int32_t pid, int32_t ppid, uint64_t start, double cpu = 0, const QString& name = {}) {
    ProcInfo p;
    p.pid = pid;
    p.ppid = ppid;
    p.startTime = start;
    p.cpu = cpu;
    p.name = name.isEmpty() ? QStringLiteral("p%1").arg(pid) : name;
    return p;
}

// "pid@depth" per row, so a case reads as the tree it expects.
std::vector<std::string> layout(const std::vector<ProcInfo>& rows, const std::vector<ProcessTreeRow>& shape) {
    std::vector<std::string> out;
    for (size_t i = 0; i < rows.size(); ++i)
        out.push_back(std::to_string(rows[i].pid) + "@" + std::to_string(shape[i].depth));
    return out;
}

ProcTableOptions byCpu(bool ascending = false) {
    ProcTableOptions o;
    o.key = ProcSortKey::cpu;
    o.ascending = ascending;
    o.cumulativeRank = false;
    return o;
}

}  // namespace

TEST(ProcessTree, ParentsAndChildrenByPpidAndStartStamp) {
    struct Case {
        const char* name;
        std::vector<ProcInfo> processes;
        ProcTableOptions options;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"children under their parent, each level by CPU",
         {proc(1, 0, 1, 0), proc(10, 1, 5, 1), proc(11, 10, 6, 3), proc(12, 10, 7, 9), proc(20, 1, 8, 2)},
         byCpu(),
         {"1@0", "20@1", "10@1", "12@2", "11@2"}},
        {"ascending reverses every level, not the nesting",
         {proc(1, 0, 1, 0), proc(10, 1, 5, 1), proc(11, 10, 6, 3), proc(12, 10, 7, 9), proc(20, 1, 8, 2)},
         byCpu(true),
         {"1@0", "10@1", "11@2", "12@2", "20@1"}},
        {"equal figures keep pid order",
         {proc(5, 0, 1, 4), proc(3, 0, 1, 4), proc(4, 0, 1, 4)},
         byCpu(),
         {"3@0", "4@0", "5@0"}},
        {"a parent not in the snapshot makes its children roots (it exited first)",
         {proc(30, 29, 50, 1), proc(31, 29, 51, 2), proc(32, 31, 52, 0)},
         byCpu(),
         {"31@0", "32@1", "30@0"}},
        {"pid reuse: a parent younger than its child is not its parent",
         {proc(40, 0, 900, 5), proc(41, 40, 100, 1)},
         byCpu(),
         {"40@0", "41@0"}},
        {"the same start stamp is still a parent (a fork within one clock tick)",
         {proc(40, 0, 100, 5), proc(41, 40, 100, 1)},
         byCpu(),
         {"40@0", "41@1"}},
        {"an unknown stamp on either side trusts the ppid",
         {proc(40, 0, 0, 5), proc(41, 40, 100, 1), proc(42, 40, 0, 0)},
         byCpu(),
         {"40@0", "41@1", "42@1"}},
        {"a process naming itself as its parent is a root",
         {proc(7, 7, 1, 1)},
         byCpu(),
         {"7@0"}},
        {"a loop of parents is cut and nothing is lost",
         {proc(50, 52, 0, 1), proc(51, 50, 0, 2), proc(52, 51, 0, 3)},
         byCpu(),
         {"50@0", "51@1", "52@2"}},
        {"by name, case-insensitive, each level",
         {proc(1, 0, 1, 0, "root"), proc(2, 1, 2, 0, "beta"), proc(3, 1, 2, 0, "Alpha"), proc(4, 3, 3, 0, "zed"),
          proc(5, 3, 3, 0, "Mid")},
         [] {
             ProcTableOptions o = byCpu(true);
             o.key = ProcSortKey::name;
             return o;
         }(),
         {"1@0", "3@1", "5@2", "4@2", "2@1"}},
    };
    ProcessTree tree;
    for (const Case& c : cases) {
        std::vector<ProcInfo> rows;
        std::vector<ProcessTreeRow> shape;
        tree.build(c.processes, c.options, {}, 250, rows, shape);
        EXPECT_EQ(layout(rows, shape), c.rows) << c.name;
    }
}

TEST(ProcessTree, AFoldedParentShowsItsFamilysTotalsAndRanksByThem) {
    std::vector<ProcInfo> ps = {proc(1, 0, 1, 1), proc(2, 1, 2, 2), proc(3, 2, 3, 4), proc(9, 0, 1, 5)};
    ps[0].memBytes = 100;
    ps[1].memBytes = 20;
    ps[2].memBytes = 3;
    ps[0].threads = 1;
    ps[1].threads = 2;
    ps[2].threads = 4;
    ps[2].diskWriteTotal = 7;
    ProcessTree tree;
    std::vector<ProcInfo> rows;
    std::vector<ProcessTreeRow> shape;

    tree.build(ps, byCpu(), {}, 250, rows, shape);
    EXPECT_EQ(layout(rows, shape), (std::vector<std::string>{"9@0", "1@0", "2@1", "3@2"})) << "open: own CPU 1 < 5";
    EXPECT_EQ(shape[1], (ProcessTreeRow{0, true, true, 2}));
    EXPECT_DOUBLE_EQ(rows[1].cpu, 1);

    tree.build(ps, byCpu(), {{1, 1}}, 250, rows, shape);
    ASSERT_EQ(layout(rows, shape), (std::vector<std::string>{"1@0", "9@0"})) << "folded: family CPU 7 > 5";
    EXPECT_EQ(shape[0], (ProcessTreeRow{0, true, false, 2}));
    EXPECT_DOUBLE_EQ(rows[0].cpu, 7);
    EXPECT_EQ(rows[0].memBytes, 123u);
    EXPECT_EQ(rows[0].threads, 7);
    EXPECT_EQ(rows[0].diskWriteTotal, 7u);
    EXPECT_EQ(rows[0].name, "p1") << "the parent's own name";

    // Folding the middle: the root's row is its own again, the middle one sums below it.
    tree.build(ps, byCpu(), {{2, 2}}, 250, rows, shape);
    ASSERT_EQ(layout(rows, shape), (std::vector<std::string>{"9@0", "1@0", "2@1"}));
    EXPECT_DOUBLE_EQ(rows[2].cpu, 6);
    EXPECT_EQ(shape[2], (ProcessTreeRow{1, true, false, 1}));

    // A fold naming a pid whose stamp differs is another process: nothing folds.
    tree.build(ps, byCpu(), {{1, 99}}, 250, rows, shape);
    EXPECT_EQ(rows.size(), 4u);
    // A leaf cannot fold.
    tree.build(ps, byCpu(), {{3, 3}}, 250, rows, shape);
    EXPECT_EQ(rows.size(), 4u);
}

TEST(ProcessTree, TheCumulativeOrderRanksByTheScore) {
    std::vector<ProcInfo> ps = {proc(1, 0, 1, 90), proc(2, 0, 1, 10)};
    ps[0].stableScore = 1;
    ps[1].stableScore = 2;
    ProcTableOptions o = byCpu();
    o.cumulativeRank = true;
    ProcessTree tree;
    std::vector<ProcInfo> rows;
    std::vector<ProcessTreeRow> shape;
    tree.build(ps, o, {}, 250, rows, shape);
    EXPECT_EQ(layout(rows, shape), (std::vector<std::string>{"2@0", "1@0"}));
    o.key = ProcSortKey::mem;  // not a scored key: plain figures, ties by pid
    tree.build(ps, o, {}, 250, rows, shape);
    EXPECT_EQ(layout(rows, shape), (std::vector<std::string>{"1@0", "2@0"}));
}

TEST(ProcessTree, RowsStopAtTheLimit) {
    std::vector<ProcInfo> ps;
    for (int32_t i = 1; i <= 10; ++i)
        ps.push_back(proc(i, i - 1, static_cast<uint64_t>(i), 0));
    ProcessTree tree;
    std::vector<ProcInfo> rows;
    std::vector<ProcessTreeRow> shape;
    for (size_t limit : {0u, 1u, 9u, 10u, 11u}) {
        tree.build(ps, byCpu(), {}, limit, rows, shape);
        EXPECT_EQ(rows.size(), std::min<size_t>(limit, 10)) << limit;
        EXPECT_EQ(shape.size(), rows.size());
    }
    tree.build({}, byCpu(), {}, 250, rows, shape);
    EXPECT_TRUE(rows.empty());
}

TEST(ProcessTree, AThousandProcessesEachOnceUnderItsParent) {
    // A deep chain, a wide fan, and orphans mixed: every process shows once, after its parent,
    // one level deeper.
    std::vector<ProcInfo> ps;
    for (int32_t i = 1; i <= 1000; ++i) {
        int32_t ppid = 0;
        if (i <= 300) ppid = i - 1;             // a chain 300 deep
        else if (i <= 900) ppid = 300 + i % 7;  // fans under the chain's end
        else ppid = 5000 + i;                   // parents not listed
        ps.push_back(proc(i, ppid, static_cast<uint64_t>(i), (i * 37) % 101));
    }
    ProcessTree tree;
    std::vector<ProcInfo> rows;
    std::vector<ProcessTreeRow> shape;
    tree.build(ps, byCpu(), {}, 5000, rows, shape);
    ASSERT_EQ(rows.size(), 1000u);
    std::map<int32_t, size_t> at;
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_TRUE(at.emplace(rows[i].pid, i).second) << "twice: " << rows[i].pid;
    for (size_t i = 0; i < rows.size(); ++i) {
        const ProcInfo& p = ps[static_cast<size_t>(rows[i].pid - 1)];
        const auto parent = at.find(p.ppid);
        if (parent == at.end()) {
            EXPECT_EQ(shape[i].depth, 0) << p.pid;
            continue;
        }
        EXPECT_LT(parent->second, i) << p.pid;
        EXPECT_EQ(shape[i].depth, shape[parent->second].depth + 1) << p.pid;
    }
    EXPECT_EQ(shape[at[1]].family, 899) << "the chain's head holds the chain and the fans";
    EXPECT_EQ(shape[at[299]].depth, 298);
}
