#include "ui/analysis/analysis_view.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/system_colors.h"
#include "engine/metrics_engine.h"
#include "support/fake_processes.h"
#include "support/test_util.h"
#include "ui/common/time_chart.h"
#include "support/null_sources.h"

#include <QDateTime>
#include <QLabel>
#include <QListView>
#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QHelpEvent>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;

using velmora::test::NoSource;
using velmora::test::NoTraffic;

namespace {

// A process with made-up facts, a connection, two open files and a memory breakdown.
class Collector : public ProcessCollector {
  public:
    std::optional<ProcessStaticInfo> fetchStatic(int32_t pid) override {
        ProcessStaticInfo info;
        info.pid = pid;
        info.name = QStringLiteral("made-up");
        info.path = QStringLiteral("/opt/made up/bin/made-up");
        info.startDate = QDateTime::currentDateTime().addSecs(-90);
        return info;
    }
    std::optional<ProcessLiveInfo> fetchLive(int32_t) override { return ProcessLiveInfo{7, 1 << 20, 1 << 30, 12.5}; }
    std::optional<MemoryFootprint> memory(int32_t) override {
        return MemoryFootprint{3 << 20, {{"heap", 2 << 20, 1 << 20, 0, 3}}};
    }
    std::vector<NetConnection> connections(int32_t) override {
        NetConnection c;
        c.proto = "TCP4";
        c.localAddr = "10.0.0.2:5000";
        c.remoteAddr = "10.0.0.9:443";
        c.state = "ESTABLISHED";
        return {c};
    }
    std::optional<OpenFilesResult> openFiles(int32_t) override {
        OpenFilesResult r;
        r.totalCount = 2;
        r.files = {"/tmp/a\nb", "/var/log/x"};
        return r;
    }
};

ProcInfo proc(int32_t pid, const QString& name, double cpu, uint64_t startTime = 0) {
    ProcInfo p;
    p.pid = pid;
    p.startTime = startTime != 0 ? startTime : static_cast<uint64_t>(pid) * 10;
    p.name = name;
    p.cpu = cpu;
    return p;
}

class Analysis : public ::testing::Test {
  protected:
    void SetUp() override { Localizer::shared().apply("en"); }

    MetricsEngine engine{std::make_unique<NoSource>()};
    TimePoint start = WallClock::now() - std::chrono::seconds(30);
    std::shared_ptr<test::FakeProcesses> fake = std::make_shared<test::FakeProcesses>();
    std::vector<std::pair<int32_t, int>>& signalled = fake->sent;  // pid, signal
    std::vector<KillRequest> asked;
    bool answer = true;
    std::function<void()> whileAsking;

    void publishAt(int second, std::vector<ProcInfo> procs) {
        for (const ProcInfo& p : procs)
            if (!fake->procs.contains(p.pid)) fake->add(p.pid, p.startTime);
        Snapshot s;
        s.time = start + std::chrono::seconds(second);
        s.cpuTotal = 50;
        s.processes = std::move(procs);
        s.processesMeasured = true;
        engine.publish(std::move(s));
    }

    AnalysisView::Services services() {
        AnalysisView::Services s;
        fake->refusing = {666};
        s.actions.control = test::controlOver(fake);
        s.actions.advisor = std::make_shared<KillAdvisor>(
            [](int32_t pid) { return KillAdvisor::Facts{QStringLiteral("p%1").arg(pid), {}, 1000}; }, 1000);
        s.detail.describe = [](const QString&, QObject*, std::function<void(std::optional<QString>)>) {};
        s.detail.inspector = std::make_unique<ProcInspector>(std::make_unique<Collector>(), std::make_unique<Collector>());
        s.actions.confirm = [this](const KillRequest& r, QWidget*) {
            asked.push_back(r);
            if (whileAsking) whileAsking();
            return answer;
        };
        return s;
    }

    static std::vector<int32_t> pidsOf(const std::vector<AnalysisRow>& rows) {
        std::vector<int32_t> out;
        for (const AnalysisRow& r : rows)
            out.push_back(r.pid);
        return out;
    }
};

}  // namespace

TEST_F(Analysis, PeaksThenAPickedMomentThenRealTimeAgain) {
    publishAt(0, {proc(10, "encoder", 90), proc(11, "idle", 1)});
    publishAt(10, {proc(12, "compiler", 60), proc(10, "encoder", 20)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.resize(1040, 720);
    view.show();

    EXPECT_EQ(pidsOf(view.rows()), (std::vector<int32_t>{10, 12}));
    EXPECT_EQ(view.analysis().selectedPID(), 10) << "the first row is selected";
    EXPECT_EQ(view.listTitle(), Localizer::shared().t("anPeakTitle"));

    // A click on the chart near the first snapshot shows that moment's processes.
    view.pickTime(start + std::chrono::seconds(3));
    EXPECT_EQ(view.analysis().selectedTime, start);
    EXPECT_EQ(pidsOf(view.rows()), (std::vector<int32_t>{10, 11}));
    EXPECT_TRUE(view.listTitle().contains(QDateTime::fromMSecsSinceEpoch(
                                              std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  start.time_since_epoch())
                                                  .count())
                                              .toString("HH:mm:ss")));
    EXPECT_EQ(view.chart()->marker(), start) << "the picked moment is marked";

    view.backToRealtime();
    EXPECT_FALSE(view.analysis().selectedTime.has_value());
    EXPECT_FALSE(view.chart()->marker().has_value());

    // A removed row stays away while the view lives, and the selection moves on.
    view.dismiss(10);
    EXPECT_EQ(pidsOf(view.rows()), std::vector<int32_t>{12});
    EXPECT_EQ(view.analysis().selectedPID(), 12);
    publishAt(20, {proc(10, "encoder", 99)});
    EXPECT_EQ(pidsOf(view.rows()), std::vector<int32_t>{12});
}

TEST_F(Analysis, QuitGoesThroughTheAdvisorAndReportsWhatWasSent) {
    publishAt(0, {proc(666, "stubborn", 50), proc(20, "worker", 40), proc(1, "init", 30)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.show();

    view.requestKill(1, true);
    view.requestKill(0, false);
    EXPECT_TRUE(asked.empty()) << "the system's own pids are never offered";

    view.requestKill(20, false);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].names, QStringList{"worker"});
    EXPECT_FALSE(asked[0].advice.title.isEmpty());
    EXPECT_EQ(signalled, (std::vector<std::pair<int32_t, int>>{{20, SIGTERM}}));
    EXPECT_EQ(view.killResult(), Localizer::shared().t("killSent", 1));

    view.requestKill(666, true);
    EXPECT_EQ(signalled.size(), 1u) << "the system refused";
    EXPECT_EQ(view.killResult(), Localizer::shared().t("killFailed", 1).trimmed());

    answer = false;
    view.requestKill(20, true);
    EXPECT_EQ(signalled.size(), 1u) << "a cancelled confirmation signals nothing";

    // Only a process on a row can be asked about.
    answer = true;
    const size_t before = asked.size();
    view.requestKill(4343, false);
    EXPECT_EQ(asked.size(), before);
}

TEST_F(Analysis, RowActionsReachOnlyTheRowsOwnProcess) {
    struct Case {
        const char* name;
        ProcessAction action;
        int signal;
        bool reused;  // the row's pid belongs to a newcomer by the time the user confirms
    };
    const Case cases[] = {
        {"quit", ProcessAction::quit, SIGTERM, false},
        {"force quit", ProcessAction::forceQuit, SIGKILL, false},
        {"suspend", ProcessAction::suspend, SIGSTOP, false},
        {"resume", ProcessAction::resume, SIGCONT, false},
        {"quit, reused", ProcessAction::quit, SIGTERM, true},
        {"suspend, reused", ProcessAction::suspend, SIGSTOP, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<test::FakeProcesses>();
        asked.clear();
        publishAt(0, {proc(20, "worker", 40)});
        AnalysisView view(engine, AnalysisKind::cpu, services());
        view.show();
        whileAsking = [&] {
            if (c.reused) fake->reuse(20);
        };
        view.request(c.action, 20);
        whileAsking = nullptr;
        ASSERT_EQ(asked.size(), 1u) << "every action is confirmed";
        EXPECT_EQ(asked[0].action, c.action);
        EXPECT_EQ(asked[0].targets, (std::vector<ProcessRef>{{20, 200}}));
        if (c.reused) {
            EXPECT_TRUE(fake->sent.empty());
            EXPECT_EQ(view.killResult(), Localizer::shared().t("killEnded", 1));
        } else {
            EXPECT_EQ(fake->sent, (std::vector<std::pair<int32_t, int>>{{20, c.signal}}));
        }
    }
}

TEST_F(Analysis, ANewcomerOnAnOldPidIsAnotherRowAndNotBusy) {
    publishAt(0, {proc(30, "encoder", 95, 7)});
    publishAt(10, {proc(30, "newcomer", 80, 9)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.show();
    ASSERT_EQ(view.rows().size(), 2u);
    EXPECT_EQ(view.rows()[0].name, "encoder");
    EXPECT_FALSE(view.rows()[0].active) << "its pid is busy, but with another process";
    EXPECT_EQ(view.rows()[1].startTime, 9u);
    EXPECT_TRUE(view.rows()[1].active);

    // The first row's process is gone: quitting from it reaches nobody.
    fake->reuse(30);
    fake->procs[30].start = 9;
    view.select(30);
    view.requestKill(30, false);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].targets, (std::vector<ProcessRef>{{30, 7}}));
    EXPECT_TRUE(fake->sent.empty());
    EXPECT_EQ(view.killResult(), Localizer::shared().t("killEnded", 1));
}

TEST_F(Analysis, EmptyListsSayWhy) {
    AnalysisView cpu(engine, AnalysisKind::cpu, services());
    cpu.show();
    EXPECT_TRUE(cpu.rows().empty());
    EXPECT_EQ(cpu.emptyText(), Localizer::shared().t("anNoProcData")) << "nothing measured yet";
    EXPECT_FALSE(cpu.analysis().selectedPID().has_value());
    Snapshot blind;
    blind.time = start;
    engine.publish(blind);
    EXPECT_EQ(cpu.emptyText(), Localizer::shared().t("anNoProcData")) << "a snapshot without processes";
    publishAt(1, {proc(3, "idle", 0)});
    EXPECT_EQ(cpu.emptyText(), Localizer::shared().t("anNoLoad")) << "measured, and nothing busy";
    EXPECT_EQ(cpu.chart()->shadedSpans().size(), 1u) << "the moment without processes is shaded";

    AnalysisView::Services s = services();
    auto monitor = std::make_unique<NetProcMonitor>(std::make_unique<NoTraffic>());
    NetProcMonitor* net = monitor.get();
    s.netMonitor = std::move(monitor);
    AnalysisView network(engine, AnalysisKind::network, std::move(s));
    EXPECT_EQ(network.emptyText(), Localizer::shared().t("anMeasuring"));
    net->publish(std::nullopt);
    EXPECT_EQ(network.emptyText(), Localizer::shared().t("anNettopFail"));
    net->publish(std::vector<ProcNet>{});
    EXPECT_EQ(network.emptyText(), Localizer::shared().t("anMeasuringNet"));
}

TEST_F(Analysis, OddNamesKeepOneLineRows) {
    const QString longName(300, QChar(u'w'));
    publishAt(0, {proc(30, longName, 80), proc(31, QStringLiteral("evil\n\u202Egnp.exe"), 70)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.resize(1040, 720);
    view.show();
    ASSERT_EQ(view.rows().size(), 2u);
    const QListView* list = view.findChild<QListView*>();
    ASSERT_NE(list, nullptr);
    const QRect first = list->visualRect(list->model()->index(0, 0));
    const QRect second = list->visualRect(list->model()->index(1, 0));
    EXPECT_EQ(first.height(), second.height());
    EXPECT_LE(first.width(), list->viewport()->width());
    EXPECT_FALSE(view.grab().isNull());
}

TEST_F(Analysis, TheDetailPaneFollowsTheSelectionWithItsSectionsInTheKindsOrder) {
    using S = AnalysisDetailPane::Section;
    struct Order {
        AnalysisKind kind;
        std::array<S, 4> sections;
    };
    const Order orders[] = {
        {AnalysisKind::cpu, {S::cpudisk, S::memory, S::network, S::files}},
        {AnalysisKind::memory, {S::memory, S::cpudisk, S::network, S::files}},
        {AnalysisKind::disk, {S::cpudisk, S::files, S::network, S::memory}},
        {AnalysisKind::network, {S::network, S::files, S::cpudisk, S::memory}},
        {AnalysisKind::gpu, {S::cpudisk, S::memory, S::network, S::files}},
    };
    for (const Order& o : orders)
        EXPECT_EQ(AnalysisDetailPane::sectionOrder(o.kind), o.sections) << rawValue(o.kind).toStdString();

    publishAt(0, {proc(4100, "made-up", 70)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.show();
    AnalysisDetailPane* pane = view.detail();
    ASSERT_EQ(pane->pid(), 4100);
    ASSERT_TRUE(test::waitUntil([&] { return pane->sectionText(S::files).contains("/var/log/x"); }));
    ASSERT_TRUE(test::waitUntil([&] { return pane->sectionText(S::memory).contains("heap"); }));
    EXPECT_TRUE(pane->headerText().contains("PID 4100"));
    EXPECT_TRUE(pane->sectionText(S::network).contains("10.0.0.9:443"));
    EXPECT_TRUE(test::waitUntil([&] { return pane->sectionText(S::cpudisk).contains(Localizer::shared().t("adThreads") + ": 7"); }));

    // Nothing selected: the prompt, and the inspector rests.
    view.dismiss(4100);
    EXPECT_FALSE(pane->pid().has_value());
}

TEST_F(Analysis, AProcessTreeIsAdvisedAsAWholeAndEndedChildrenFirst) {
    publishAt(0, {proc(50, "make", 10), proc(51, "cc1", 90), proc(52, "as", 40)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.show();
    view.requestTreeKill(1);
    EXPECT_TRUE(asked.empty());

    fake->procs[50].children = {51, 52};
    // A child born while the question is open was never judged: it is not signalled.
    whileAsking = [&] {
        fake->add(53, 153);
        fake->procs[50].children.push_back(53);
    };
    view.requestTreeKill(50);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].pids(), (std::vector<int32_t>{51, 52, 50}));
    EXPECT_EQ(asked[0].names, (QStringList{"cc1", "as", "make"}));
    EXPECT_TRUE(asked[0].advice.message.contains("3")) << "the count of the whole tree";
    EXPECT_EQ(signalled, (std::vector<std::pair<int32_t, int>>{{51, SIGTERM}, {52, SIGTERM}, {50, SIGTERM}}));
    EXPECT_EQ(view.killResult(), Localizer::shared().t("killSent", 3));

    // A root whose pid now holds another process is not asked about: it already ended.
    whileAsking = nullptr;
    fake->reuse(50);
    view.requestTreeKill(50);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(view.killResult(), Localizer::shared().t("killEnded", 1));
}

TEST_F(Analysis, ATreeOfThirtyIsJudgedToItsLastMember) {
    std::vector<ProcInfo> procs;
    std::vector<int32_t> children;
    for (int32_t pid = 701; pid <= 729; ++pid) {
        procs.push_back(proc(pid, QStringLiteral("w%1").arg(pid), 1));
        children.push_back(pid);
    }
    procs.push_back(proc(700, "root", 90));
    publishAt(0, procs);
    fake->procs[700].children = children;
    AnalysisView::Services s = services();
    // The last member signalled before the root belongs to another user.
    s.actions.advisor = std::make_shared<KillAdvisor>(
        [](int32_t pid) { return KillAdvisor::Facts{QStringLiteral("p%1").arg(pid), {}, pid == 729 ? 0u : 1000u}; },
        1000);
    answer = false;
    AnalysisView view(engine, AnalysisKind::cpu, std::move(s));
    view.show();
    view.requestTreeKill(700);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].targets.size(), 30u);
    EXPECT_EQ(asked[0].advice.severity, KillSeverity::danger);
    EXPECT_TRUE(asked[0].advice.message.contains("w729"));
    EXPECT_TRUE(fake->sent.empty());
}

TEST_F(Analysis, QuittingARealProcessEndsIt) {
    test::ForkedChild child([] {
        for (;;)
            pause();
    });
    ASSERT_TRUE(child.started());
    publishAt(0, {proc(child.pid(), "sleeper", 50, ProcessControl().stamp(child.pid()).startTime)});
    AnalysisView::Services s = services();
    s.actions.control.reset();  // the real signals
    AnalysisView view(engine, AnalysisKind::cpu, std::move(s));
    view.show();
    view.requestKill(child.pid(), false);
    ASSERT_EQ(asked.size(), 1u);
    const int status = child.reap();
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(view.killResult(), Localizer::shared().t("killSent", 1));
}

// A picked moment that leaves the history is not replaced by another one under its title:
// the pick is cleared and the list returns to real time.
TEST_F(Analysis, APickedMomentThatLeavesTheHistoryReturnsToRealTime) {
    publishAt(0, {proc(10, "culprit", 90)});
    publishAt(300, {proc(11, "innocent", 20)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.show();
    view.pickTime(start);
    ASSERT_EQ(view.analysis().selectedTime, start);
    ASSERT_EQ(pidsOf(view.rows()), std::vector<int32_t>{10});

    publishAt(599, {proc(11, "innocent", 20)});
    EXPECT_EQ(view.analysis().selectedTime, start) << "still in the history";
    publishAt(601, {proc(11, "innocent", 20)});
    EXPECT_FALSE(view.analysis().selectedTime.has_value());
    EXPECT_FALSE(view.chart()->marker().has_value());
    EXPECT_EQ(view.listTitle(), Localizer::shared().t("anPeakTitle"));
    EXPECT_EQ(view.hintText(), Localizer::shared().t("anHintLive"));
}

// Each tick changes the rows in place: no reset, so the reader's scroll position, the
// selection and the keyboard focus stay.
TEST_F(Analysis, TheListUpdatesInPlaceKeepingScrollSelectionAndFocus) {
    std::vector<ProcInfo> procs;
    for (int i = 0; i < 40; ++i)
        procs.push_back(proc(100 + i, QStringLiteral("w%1").arg(i), 90 - i));
    publishAt(0, procs);
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.resize(1040, 500);
    view.show();
    auto* list = view.findChild<QListView*>();
    ASSERT_NE(list, nullptr);
    list->setFocus();
    QSignalSpy resets(list->model(), &QAbstractItemModel::modelReset);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    const int scrolled = list->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    view.select(120);
    for (int t = 1; t <= 3; ++t) {
        std::vector<ProcInfo> more = procs;
        more.push_back(proc(200 + t, "new", 95 + t));  // a new top row each tick
        publishAt(t, more);
    }
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(list->verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(view.analysis().selectedPID(), 120);
    EXPECT_EQ(list->currentIndex().data(Qt::UserRole).toInt(), 120);
    EXPECT_TRUE(list->hasFocus() || !QApplication::focusWidget()) << "focus was not taken elsewhere";
    // The keyboard moves the selection.
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_NE(view.analysis().selectedPID(), 120);
}

// A process that ended keeps its name, path and last figures in the pane, says when it
// ended, stops its uptime and can no longer be signalled.
TEST_F(Analysis, AnEndedProcessKeepsWhatWasKnownAndOffersNoActions) {
    publishAt(0, {proc(4100, "made-up", 70)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.show();
    AnalysisDetailPane* pane = view.detail();
    ASSERT_EQ(pane->pid(), 4100);
    ASSERT_TRUE(test::waitUntil([&] { return pane->headerText().contains(Localizer::shared().t("adUptime", "")); }));
    EXPECT_FALSE(pane->ended());

    publishAt(1, {proc(7, "other", 1)});
    EXPECT_TRUE(pane->ended());
    EXPECT_EQ(pidsOf(view.rows()), (std::vector<int32_t>{4100})) << "its peak stays listed";
    const QString header = pane->headerText();
    EXPECT_TRUE(header.startsWith("made-up")) << header.toStdString();
    EXPECT_TRUE(header.contains("PID 4100"));
    EXPECT_TRUE(header.contains(Localizer::shared().t("adEnded", ResourceAnalysis::agoText(start, WallClock::now()))))
        << header.toStdString();
    // The uptime stopped at its last sight: it started 90 s ago, and was last seen 30 s ago.
    EXPECT_TRUE(header.contains(Localizer::shared().t("adUptime", Format::duration(60))) ||
                header.contains(Localizer::shared().t("adUptime", Format::duration(59))))
        << header.toStdString();
    EXPECT_TRUE(pane->sectionText(AnalysisDetailPane::Section::cpudisk).contains("70%"));
    EXPECT_TRUE(pane->sectionText(AnalysisDetailPane::Section::files).contains(Localizer::shared().t("pdGone")));
    int actions = 0;
    for (QPushButton* b : pane->findChildren<QPushButton*>()) {
        if (b->text() == Localizer::shared().t("actQuit") || b->text() == Localizer::shared().t("actForceQuit")) {
            ++actions;
            EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
        }
    }
    EXPECT_EQ(actions, 2) << "Quit and Force Quit are there, disabled";
    for (QToolButton* b : pane->findChildren<QToolButton*>())
        EXPECT_FALSE(b->isEnabled());
    const QLabel* path = nullptr;
    for (QLabel* l : pane->findChildren<QLabel*>())
        if (l->text() == "/opt/made up/bin/made-up") path = l;
    EXPECT_NE(path, nullptr) << "the path stays";

    // Its pid reused by another process: still the ended one.
    ProcInfo reborn = proc(4100, "impostor", 5);
    reborn.startTime = 999;
    publishAt(2, {reborn});
    EXPECT_TRUE(pane->ended());
    EXPECT_TRUE(pane->headerText().startsWith("made-up"));
}

// The rate kinds name their lines and unit; the instant title has one space; the network
// kind says what its rows count where that differs from the chart.
TEST_F(Analysis, CaptionsAndNotesSayWhatIsCounted) {
    AnalysisView disk(engine, AnalysisKind::disk, services());
    EXPECT_EQ(disk.legendText().count(Localizer::shared().t("anRead")), 1);
    EXPECT_TRUE(disk.legendText().startsWith("MB/s, "));
    EXPECT_TRUE(disk.legendText().contains(Localizer::shared().t("anWrite")));
    AnalysisView cpu(engine, AnalysisKind::cpu, services());
    EXPECT_TRUE(cpu.legendText().isEmpty());
    disk.show();
    publishAt(0, {proc(1, "p", 50)});
    ASSERT_EQ(disk.chart()->series().size(), 2u);
    for (const TimeChart::Series& s : disk.chart()->series())
        EXPECT_EQ(s.lineWidth, 2.0);
    EXPECT_EQ(disk.chart()->series()[0].color, SystemColor::blue());
    EXPECT_EQ(disk.chart()->series()[1].color, SystemColor::purple());

    cpu.pickTime(start);
    EXPECT_FALSE(cpu.listTitle().contains("  ")) << cpu.listTitle().toStdString();
    EXPECT_TRUE(cpu.listTitle().startsWith(Localizer::shared().t("anInstantTitle") + " "));

    class Tcp : public NoTraffic {
      public:
        bool tcpOnly() const override { return true; }
    };
    AnalysisView::Services s = services();
    auto monitor = std::make_unique<NetProcMonitor>(std::make_unique<Tcp>());
    NetProcMonitor* net = monitor.get();
    s.netMonitor = std::move(monitor);
    AnalysisView network(engine, AnalysisKind::network, std::move(s));
    EXPECT_TRUE(network.legendText().contains(Localizer::shared().t("anDown")));
    EXPECT_TRUE(network.legendText().contains(Localizer::shared().t("anUp")));
    net->publish(std::vector<ProcNet>{{5, "web", 1000, 1000, 0}});
    EXPECT_EQ(network.networkNote(), Localizer::shared().t("anNetTcpOnly"));
    net->publish(std::vector<ProcNet>{{5, "web", 1000, 1000, 500}});
    EXPECT_EQ(network.networkNote(),
              Localizer::shared().t("anNetLoopback") + " " + Localizer::shared().t("anNetTcpOnly"));
}

// Hovering the remove button explains it; the rest of the row names its process.
TEST_F(Analysis, TheRemoveButtonHasItsOwnHelp) {
    publishAt(0, {proc(10, "encoder", 90)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.resize(1040, 720);
    view.show();
    auto* list = view.findChild<QListView*>();
    ASSERT_NE(list, nullptr);
    const QRect row = list->visualRect(list->model()->index(0, 0));
    struct Case {
        QPoint at;
        QString tip;
    };
    const Case cases[] = {{QPoint(row.right() - 6 - 8, row.center().y()), Localizer::shared().t("anRemoveRow")},
                          {QPoint(row.left() + 60, row.center().y()), QStringLiteral("encoder")}};
    for (const Case& c : cases) {
        QHelpEvent help(QEvent::ToolTip, c.at, list->viewport()->mapToGlobal(c.at));
        QApplication::sendEvent(list->viewport(), &help);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::text() == c.tip; }, 2000))
            << "got " << QToolTip::text().toStdString();
        QToolTip::hideText();
    }
    // An instant has no remove button: its rows name their process only.
    view.pickTime(start);
    QHelpEvent help(QEvent::ToolTip, cases[0].at, list->viewport()->mapToGlobal(cases[0].at));
    QApplication::sendEvent(list->viewport(), &help);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::text() == QStringLiteral("encoder"); }, 2000));
}
