#include "ui/dashboard/process_panel.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "support/fake_processes.h"
#include "ui/dashboard/process_cell_delegate.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>

using namespace velmora;

namespace {

using Key = ProcessTableState::RowKey;

ProcInfo proc(int32_t pid, int32_t ppid, double cpu, const QString& name) {
    ProcInfo p;
    p.pid = pid;
    p.ppid = ppid;
    p.startTime = 100 + static_cast<uint64_t>(pid);  // what the fake system holds
    p.cpu = cpu;
    p.name = name;
    return p;
}

class Panel : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::unique_ptr<AppSettings> settings = std::make_unique<AppSettings>(dir.filePath("settings.json"));
    Localizer& loc = Localizer::shared();
    std::shared_ptr<test::FakeProcesses> fake = std::make_shared<test::FakeProcesses>();
    std::vector<KillRequest> asked;
    std::vector<QUrl> opened;
    std::vector<QString> copied;
    std::vector<int32_t> detailed;
    std::vector<int32_t> labelled;
    std::unique_ptr<ProcessPanel> panel;

    void SetUp() override {
        loc.apply(QStringLiteral("en"));
        fake->add(10, 110, {11, 12});
        fake->add(11, 111);
        fake->add(12, 112, {13});
        fake->add(13, 113);
        fake->add(20, 120);
        makePanel();
    }

    void makePanel() {
        panel.reset();
        ProcessPanel::Services s;
        s.openDetail = [this](int32_t pid) { detailed.push_back(pid); };
        s.actions.control = test::controlOver(fake);
        s.actions.advisor = std::make_shared<KillAdvisor>(
            [](int32_t pid) { return KillAdvisor::Facts{QStringLiteral("p%1").arg(pid), "/usr/bin/x", 1000}; }, 1000);
        s.actions.confirm = [this](const KillRequest& r, QWidget*) {
            asked.push_back(r);
            return true;
        };
        s.labels = [this](int32_t pid) {
            labelled.push_back(pid);
            // Another user's process (pid 12) keeps its executable to itself.
            return ProcessLabels{"ana", QStringLiteral("/opt/app/bin/p%1 --serve").arg(pid),
                                 pid == 12 ? QString() : QStringLiteral("/opt/app/bin/p")};
        };
        s.openUrl = [this](const QUrl& url) { opened.push_back(url); };
        s.copyText = [this](const QString& text) { copied.push_back(text); };
        panel = std::make_unique<ProcessPanel>(*settings, loc, std::move(s));
        panel->resize(900, 600);
        panel->setProcesses({proc(10, 1, 5, "server"), proc(11, 10, 3, "worker"), proc(12, 10, 2, "worker"),
                             proc(13, 12, 1, "helper"), proc(20, 1, 9, "editor")});
    }

    // Selects the rows of `pids` as a click on each would.
    void selectPids(const std::set<int32_t>& pids) {
        QTableView* t = panel->table();
        t->clearSelection();
        for (int r = 0; r < t->model()->rowCount(); ++r)
            if (pids.contains(t->model()->index(r, 0).data(ProcessTableModel::PidRole).toInt()))
                t->selectionModel()->select(t->model()->index(r, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QAction* action(QMenu* menu, const QString& name) {
        QAction* a = menu->findChild<QAction*>(name);
        if (!a)
            for (QMenu* sub : menu->findChildren<QMenu*>())
                if (sub->menuAction()->objectName() == name) return sub->menuAction();
        return a;
    }
};

}  // namespace

TEST_F(Panel, EveryRowActionReachesTheControlWithTheProvenIdentity) {
    struct Case {
        const char* action;
        std::set<int32_t> selected;  // besides the row the menu is for, 10
        std::vector<std::pair<int32_t, int>> sent;
        std::vector<std::pair<int32_t, int>> reniced;
        size_t asked;
    };
    const Case cases[] = {
        {"anQuitSig", {}, {{10, SIGTERM}}, {}, 1},
        {"anForceSig", {}, {{10, SIGKILL}}, {}, 1},
        {"ptSuspend", {}, {{10, SIGSTOP}}, {}, 1},
        {"ptResume", {}, {{10, SIGCONT}}, {}, 1},
        {"ptResume", {10, 20}, {{10, SIGCONT}, {20, SIGCONT}}, {}, 1},
        {"ptQuitTree", {}, {{11, SIGTERM}, {13, SIGTERM}, {12, SIGTERM}, {10, SIGTERM}}, {}, 1},
        {"ptNice_10", {}, {}, {{10, 10}}, 0},
        {"ptNice_-5", {10, 20}, {}, {{10, -5}, {20, -5}}, 0},
        {"SIGHUP", {}, {{10, SIGHUP}}, {}, 1},
        {"SIGINT", {}, {{10, SIGINT}}, {}, 1},
        {"SIGTERM", {}, {{10, SIGTERM}}, {}, 1},
        {"SIGKILL", {}, {{10, SIGKILL}}, {}, 1},
        {"SIGUSR1", {}, {{10, SIGUSR1}}, {}, 1},
        {"SIGUSR2", {10, 20}, {{10, SIGUSR2}, {20, SIGUSR2}}, {}, 1},
        {"SIGSTOP", {}, {{10, SIGSTOP}}, {}, 1},
        {"SIGCONT", {}, {{10, SIGCONT}}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        fake->sent.clear();
        fake->reniced.clear();
        asked.clear();
        selectPids(c.selected);
        QMenu* menu = panel->makeRowMenu({{}, 10, 110}, panel.get());
        QAction* a = action(menu, c.action);
        ASSERT_NE(a, nullptr);
        ASSERT_TRUE(a->isEnabled());
        a->trigger();
        EXPECT_EQ(fake->sent, c.sent);
        EXPECT_EQ(fake->reniced, c.reniced);
        EXPECT_EQ(asked.size(), c.asked);
        EXPECT_FALSE(panel->resultText().isEmpty());
        delete menu;
    }
}

TEST_F(Panel, AProcessReplacedUnderItsPidIsNotActedOn) {
    const char* actions[] = {"anQuitSig", "ptSuspend", "ptQuitTree", "ptNice_5", "SIGUSR1"};
    for (const char* name : actions) {
        SCOPED_TRACE(name);
        SetUp();
        fake->sent.clear();
        fake->reniced.clear();
        QMenu* menu = panel->makeRowMenu({{}, 10, 110}, panel.get());
        fake->reuse(10);  // while the menu is open
        action(menu, name)->trigger();
        EXPECT_TRUE(fake->reniced.empty());
        for (const auto& [pid, signal] : fake->sent)
            EXPECT_NE(pid, 10) << "signal " << signal;
        delete menu;
    }
}

TEST_F(Panel, CopyRevealAndDetailFromTheRowMenu) {
    QMenu* menu = panel->makeRowMenu({{}, 20, 120}, panel.get());
    action(menu, "ptCopyPid")->trigger();
    action(menu, "ptCopyName")->trigger();
    action(menu, "ptCopyCommand")->trigger();
    action(menu, "ptReveal")->trigger();
    action(menu, "ctxDetail")->trigger();
    EXPECT_EQ(copied, (std::vector<QString>{"20", "editor", "/opt/app/bin/p20 --serve"}));
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl::fromLocalFile("/opt/app/bin")}));
    EXPECT_EQ(detailed, (std::vector<int32_t>{20}));
    delete menu;

    menu = panel->makeRowMenu({{}, 12, 112}, panel.get());
    EXPECT_FALSE(action(menu, "ptReveal")->isEnabled()) << "no executable, no folder";
    delete menu;

    // On the selection: one line per process.
    copied.clear();
    selectPids({10, 20});
    menu = panel->makeRowMenu({{}, 20, 120}, panel.get());
    action(menu, "ptCopyPid")->trigger();
    EXPECT_EQ(copied, (std::vector<QString>{"10\n20"}));
    delete menu;
}

TEST_F(Panel, ThePriorityMenuMarksTheCurrentValueAndVelmoraIsNeverOffered) {
    std::vector<ProcInfo> ps = {proc(10, 1, 5, "server"), proc(test::kOwnPid, 1, 1, "velmora")};
    ps[0].nice = 5;
    panel->setProcesses(ps);
    QMenu* menu = panel->makeRowMenu({{}, 10, 110}, panel.get());
    for (int value : ProcessPanel::offeredNiceValues())
        EXPECT_EQ(action(menu, QStringLiteral("ptNice_%1").arg(value))->isChecked(), value == 5) << value;
    delete menu;
    menu = panel->makeRowMenu({{}, test::kOwnPid, 100 + test::kOwnPid}, panel.get());
    for (const char* name : {"anQuitSig", "ptSuspend", "ptQuitTree", "ptPriority", "ptSendSignal"})
        EXPECT_FALSE(action(menu, name)->isEnabled()) << name;
    delete menu;
}

TEST_F(Panel, ColumnChoiceAndWidthsComeBackFromTheSettings) {
    QMenu* menu = panel->makeColumnMenu(panel.get());
    EXPECT_EQ(menu->findChild<QAction*>("ptColumn_pid"), nullptr) << "pid and name cannot be hidden";
    QAction* user = menu->findChild<QAction*>("ptColumn_user");
    ASSERT_NE(user, nullptr);
    EXPECT_FALSE(user->isChecked());
    user->setChecked(true);
    menu->findChild<QAction*>("ptColumn_energy")->setChecked(false);
    delete menu;
    panel->setColumnShown(ProcColumn::command, true);
    const auto indexOf = [&](ProcColumn c) {
        for (int i = 0; i < panel->model().columnCount(); ++i)
            if (panel->model().columnAt(i) == c) return i;
        return -1;
    };
    ASSERT_GE(indexOf(ProcColumn::user), 0);
    EXPECT_EQ(indexOf(ProcColumn::energy), -1);
    panel->table()->horizontalHeader()->resizeSection(indexOf(ProcColumn::command), 333);
    EXPECT_EQ(panel->model().index(0, indexOf(ProcColumn::user)).data().toString(), "ana");
    ASSERT_TRUE(settings->flush());

    // A new run reads the same choice and widths.
    panel.reset();
    settings = std::make_unique<AppSettings>(dir.filePath("settings.json"));
    makePanel();
    EXPECT_GE(indexOf(ProcColumn::user), 0);
    EXPECT_GE(indexOf(ProcColumn::command), 0);
    EXPECT_EQ(indexOf(ProcColumn::energy), -1);
    EXPECT_EQ(panel->table()->horizontalHeader()->sectionSize(indexOf(ProcColumn::command)), 333);
}

TEST_F(Panel, TheTreeToggleFoldsByClickAndKeyAndIsRemembered) {
    settings->setCumulativeRank(false);
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    EXPECT_FALSE(panel->treeToggle()->isChecked());
    EXPECT_FALSE(panel->treeToggle()->accessibleName().isEmpty());
    panel->groupToggle()->click();
    panel->treeToggle()->click();
    EXPECT_FALSE(panel->groupToggle()->isChecked()) << "one or the other";
    EXPECT_TRUE(settings->processTree());
    ASSERT_EQ(panel->model().rowCount(), 5);
    EXPECT_EQ(panel->model().index(1, 0).data(ProcessTableModel::PidRole).toInt(), 10);

    // A click on the server's disclosure mark folds it without selecting it.
    QTableView* t = panel->table();
    const QModelIndex name = panel->model().index(1, 1);
    const QRect mark = ProcessCellDelegate::branchRect(t->visualRect(name), 0);
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, mark.center());
    ASSERT_EQ(panel->model().rowCount(), 2);
    EXPECT_EQ(panel->model().index(0, 0).data(ProcessTableModel::PidRole).toInt(), 10) << "its family's 11 % lead";
    EXPECT_TRUE(panel->state().selection().empty());

    // Right unfolds the current row, Left folds it again; on a leaf they do nothing.
    t->setFocus();
    t->setCurrentIndex(panel->model().index(1, 1));
    QTest::keyClick(t, Qt::Key_Right);
    EXPECT_EQ(panel->model().rowCount(), 2);
    t->setCurrentIndex(panel->model().index(0, 1));
    QTest::keyClick(t, Qt::Key_Right);
    EXPECT_EQ(panel->model().rowCount(), 5);
    QTest::keyClick(t, Qt::Key_Left);
    EXPECT_EQ(panel->model().rowCount(), 2);
}

TEST_F(Panel, WordsOverAnEmptySearchAndTheCumulativeHeader) {
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    EXPECT_FALSE(panel->emptyNote()->isVisible());
    panel->searchField()->setText("zzz");
    EXPECT_TRUE(panel->emptyNote()->isVisible());
    EXPECT_EQ(panel->emptyNote()->text(), loc.t("ptNoMatch"));
    panel->searchField()->setText("edit");
    EXPECT_FALSE(panel->emptyNote()->isVisible());
    panel->searchField()->clear();
    panel->setProcesses({});
    EXPECT_FALSE(panel->emptyNote()->isVisible()) << "no processes at all is not a search without a match";

    QHeaderView* header = panel->table()->horizontalHeader();
    struct Case {
        bool cumulative;
        int clickColumn;  // -1: none
        bool chevron;
        bool note;
    };
    const Case cases[] = {
        {true, -1, false, true},  // CPU ranked by its score
        {true, 4, true, false},   // memory has no score: sorted by its figures
        {true, 2, false, true},   // back to CPU
        {false, -1, true, false},
    };
    for (const Case& c : cases) {
        settings->setCumulativeRank(c.cumulative);
        if (c.clickColumn >= 0) panel->sortByColumn(c.clickColumn);
        EXPECT_EQ(header->isSortIndicatorShown(), c.chevron) << c.cumulative << c.clickColumn;
        EXPECT_EQ(panel->model().headerData(2, Qt::Horizontal, Qt::ToolTipRole).toString(),
                  c.note ? loc.t("ptRankedCumulative") : QString());
        EXPECT_EQ(panel->sortHint()->text(), c.note ? loc.t("ptRankedCumulative") : loc.t("procSortHint"));
    }
}
