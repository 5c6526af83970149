#include "ui/detail/process_detail_view.h"

#include "core/format.h"
#include "core/localizer.h"
#include "engine/metrics_engine.h"
#include "support/fake_processes.h"
#include "support/test_util.h"
#include "ui/common/elided_label.h"
#include "ui/common/time_chart.h"
#include "support/null_sources.h"

#include <QApplication>
#include <QGridLayout>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSemaphore>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <csignal>
#include <string_view>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

using namespace velmora;
using namespace std::chrono_literals;

using velmora::test::NoSource;

namespace {

// Open-file scans that wait for the test to let each one finish, so the order in which
// results arrive is the test's to choose.
struct ScanGate {
    bool gated = false;  // set before the view is made
    QSemaphore allowed;
    std::atomic<int> calls{0};
    std::atomic<bool> collectorAlive{false};
};

class GatedCollector : public ProcessCollector {
  public:
    explicit GatedCollector(std::shared_ptr<ScanGate> gate) : gate_(std::move(gate)) { gate_->collectorAlive = true; }
    ~GatedCollector() override { gate_->collectorAlive = false; }
    std::optional<ProcessStaticInfo> fetchStatic(int32_t) override { return std::nullopt; }
    std::optional<ProcessLiveInfo> fetchLive(int32_t) override { return std::nullopt; }
    std::optional<MemoryFootprint> memory(int32_t) override { return std::nullopt; }
    std::vector<NetConnection> connections(int32_t) override { return {}; }
    std::optional<OpenFilesResult> openFiles(int32_t) override {
        if (gate_->gated) gate_->allowed.acquire();
        const int n = ++gate_->calls;
        if (n == 3) return std::nullopt;  // the third scan fails
        OpenFilesResult r;
        for (int i = 0; i < n; ++i)
            r.files << QStringLiteral("/tmp/f%1").arg(i);
        r.connections << QStringLiteral("127.0.0.1:80->127.0.0.1:5000");
        r.permissionLimited = n == 2;
        return r;
    }

  private:
    std::shared_ptr<ScanGate> gate_;
};

ProcessStaticInfo facts(int32_t pid, const QString& name) {
    ProcessStaticInfo i;
    i.pid = pid;
    i.name = name;
    i.path = QStringLiteral("/usr/bin/") + name;
    i.ppid = 1;
    i.uid = 1000;
    i.userName = QStringLiteral("ada");
    i.startDate = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 5));
    i.statusKey = QStringLiteral("psSleeping");
    i.command = QStringLiteral("/usr/bin/") + name + QStringLiteral(" --serve");
    i.archText = QStringLiteral("x86_64");
    return i;
}

Snapshot withProcesses(std::vector<ProcInfo> procs, TimePoint t = WallClock::now()) {
    Snapshot s;
    s.time = t;
    s.processes = std::move(procs);
    return s;
}

class Detail : public ::testing::Test {
  protected:
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    MetricsEngine engine{std::make_unique<NoSource>()};
    std::shared_ptr<ScanGate> gate = std::make_shared<ScanGate>();
    std::optional<ProcessStaticInfo> staticInfo;
    std::shared_ptr<test::FakeProcesses> fake = [] {
        auto f = std::make_shared<test::FakeProcesses>();
        for (int32_t pid = 2; pid < 100; ++pid)
            f->add(pid, 100 + static_cast<uint64_t>(pid));
        return f;
    }();
    std::vector<std::pair<int32_t, int>>& sent = fake->sent;  // pid, signal
    std::function<void()> whileAsking;
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
    std::vector<KillRequest> asked;
    bool confirmAnswer = true;
    int closes = 0;

    ProcessDetailView::Services services() {
        ProcessDetailView::Services s;
        s.onClose = [this] { ++closes; };
        s.fetchStatic = [this](int32_t) { return staticInfo; };
        s.fetchLive = [](int32_t) { return ProcessLiveInfo{.threads = 12, .resident = 1 << 20, .cpuSeconds = 75}; };
        s.filesCollector = std::make_unique<GatedCollector>(gate);
        s.actions.advisor = std::make_shared<KillAdvisor>(
            [](int32_t) { return KillAdvisor::Facts{QStringLiteral("worker"), {}, 1000}; }, 1000);
        s.actions.control = test::controlOver(fake);
        s.actions.confirm = [this](const KillRequest& r, QWidget*) {
            asked.push_back(r);
            if (whileAsking) whileAsking();
            return confirmAnswer;
        };
        s.after = [this](std::chrono::milliseconds d, std::function<void()> f) { timers.emplace_back(d, f); };
        return s;
    }

    std::unique_ptr<ProcessDetailView> make(int32_t pid, ProcessDetailView::Services s) {
        auto v = std::make_unique<ProcessDetailView>(engine, loc, pid, std::move(s));
        v->resize(520, 700);
        v->show();
        return v;
    }
    std::unique_ptr<ProcessDetailView> make(int32_t pid) { return make(pid, services()); }

    static QString textOf(const ProcessDetailView& v, const char* name) {
        const auto* l = v.findChild<QLabel*>(QString::fromLatin1(name));
        return l ? l->text() : QString();
    }
    // The caption → value pairs of a grid of the view, each value below its caption (`above`)
    // or beside it.
    static std::map<QString, QString> pairs(const ProcessDetailView& v, const char* grid, bool above) {
        std::map<QString, QString> out;
        const auto* layout = v.findChild<QGridLayout*>(QString::fromLatin1(grid));
        if (!layout) return out;
        const auto text = [&](int row, int col) {
            const QLayoutItem* item = layout->itemAtPosition(row, col);
            const auto* label = item ? qobject_cast<const QLabel*>(item->widget()) : nullptr;
            return label ? std::optional<QString>(label->text()) : std::nullopt;
        };
        for (int row = 0; row < layout->rowCount(); row += above ? 2 : 1)
            for (int col = 0; col < (above ? layout->columnCount() : 1); ++col) {
                const auto caption = text(row, col);
                const auto value = above ? text(row + 1, col) : text(row, col + 1);
                if (caption && value) out[*caption] = *value;
            }
        return out;
    }
    static bool bodyShown(const ProcessDetailView& v) {
        return v.findChild<QScrollArea*>()->isVisibleTo(&v);
    }
    static bool goneShown(const ProcessDetailView& v) {
        return v.findChild<QWidget*>(QStringLiteral("pdGoneBlock"))->isVisibleTo(&v);
    }
};

}  // namespace

TEST_F(Detail, GoneBlockWhenNeitherFactsNorTheFeedKnowThePid) {
    engine.publish(withProcesses({{.pid = 7, .name = "other"}}));
    auto v = make(4242);
    EXPECT_TRUE(v->gone());
    EXPECT_TRUE(goneShown(*v));
    EXPECT_FALSE(bodyShown(*v));
    // Its button closes.
    for (QPushButton* b : v->findChildren<QPushButton*>())
        if (b->text() == loc.t("anClose")) b->click();
    EXPECT_EQ(closes, 1);
}

TEST_F(Detail, AProcessThatExitsWhileShownTurnsIntoTheGoneBlock) {
    staticInfo = facts(50, "server");
    engine.publish(withProcesses({{.pid = 50, .name = "server", .cpu = 12}}));
    auto v = make(50);
    EXPECT_FALSE(v->gone());
    EXPECT_TRUE(bodyShown(*v));
    // A snapshot that lists no processes at all says nothing about this one.
    engine.publish(withProcesses({}));
    EXPECT_TRUE(bodyShown(*v));
    staticInfo.reset();
    engine.publish(withProcesses({{.pid = 7, .name = "other"}}));
    EXPECT_TRUE(v->gone());
    EXPECT_TRUE(goneShown(*v));
    EXPECT_FALSE(bodyShown(*v));
}

TEST_F(Detail, HeaderLiveStripFactsAndChartFromTheFeed) {
    staticInfo = facts(50, "server");
    const TimePoint t0 = WallClock::now() - 10s;
    engine.publish(withProcesses({{.pid = 50, .name = "server-live", .cpu = 42.4, .memBytes = 3u << 20,
                                   .diskReadBps = 2048, .energyImpact = 17.6}},
                                 t0));
    auto v = make(50);
    EXPECT_EQ(v->findChild<ElidedLabel*>("pdName")->fullText(), "server-live");
    EXPECT_EQ(textOf(*v, "pdPidTag"), "PID 50");
    // Each figure under its own caption, each fact beside its own.
    const std::map<QString, QString> strip = {
        {"CPU", "42%"},
        {loc.t("dashMemory"), "3.0 MB"},
        {loc.t("adThreads"), "12"},
        {loc.t("pdCpuTime2"), Format::duration(75)},
        {loc.t("adDiskRead"), Format::bps(2048)},
        {loc.t("adDiskWrite"), Format::bps(0)},
        {loc.t("adEnergy"), "18"},
    };
    EXPECT_EQ(pairs(*v, "pdLiveGrid", true), strip);
    const std::map<QString, QString> factRows = {
        {loc.t("pdCommand"), "/usr/bin/server --serve"},
        {loc.t("pdUser"), "ada (uid 1000)"},
        {loc.t("pdParentPid"), "1"},
        {loc.t("pdStartTime"), "2026-03-01 09:30:05"},
        {loc.t("pdStatus"), loc.t("psSleeping")},
        {loc.t("pdArch"), "x86_64"},
    };
    std::map<QString, QString> shownFacts = pairs(*v, "pdFactsGrid", false);
    // The uptime runs on the clock; its wording is the text model's to test.
    EXPECT_NE(shownFacts[loc.t("pdUptime")], "-");
    shownFacts.erase(loc.t("pdUptime"));
    EXPECT_EQ(shownFacts, factRows);
    QStringList shown;
    for (const QLabel* l : v->findChildren<QLabel*>())
        if (l->isVisibleTo(v.get())) shown << l->text();
    EXPECT_TRUE(shown.contains(loc.t("pdParentInline", 1)));
    // One point of history: still collecting.
    EXPECT_TRUE(shown.contains(loc.t("pdCollecting")));
    EXPECT_FALSE(v->findChild<TimeChart*>()->isVisibleTo(v.get()));
    engine.publish(withProcesses({{.pid = 50, .name = "server-live", .cpu = 80}}, t0 + 1s));
    auto* chart = v->findChild<TimeChart*>();
    EXPECT_TRUE(chart->isVisibleTo(v.get()));
    ASSERT_EQ(chart->series().size(), 1u);
    EXPECT_EQ(chart->series()[0].points.size(), 2u);
}

TEST_F(Detail, OpenFilesSummaryWithStaleResultsDropped) {
    staticInfo = facts(50, "server");
    gate->gated = true;
    engine.publish(withProcesses({{.pid = 50, .name = "server"}}));
    auto v = make(50);  // first scan asked for
    EXPECT_TRUE(v->loadingFiles());
    v->loadOpenFiles();  // second scan asked for before the first ends
    gate->allowed.release();
    ASSERT_TRUE(test::waitUntil([&] { return gate->calls.load() == 1; }));
    // The first result arrives and is dropped: still loading.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(v->loadingFiles());
    EXPECT_FALSE(v->openFiles());
    gate->allowed.release();
    ASSERT_TRUE(test::waitUntil([&] { return !v->loadingFiles(); }));
    ASSERT_TRUE(v->openFiles());
    EXPECT_EQ(v->openFiles()->files.size(), 2);
    EXPECT_EQ(textOf(*v, "pdFilesSummary"),
              loc.t("pdFileSummary", loc.t("pdNetConnsN", 1), loc.t("pdOpenFilesN", 2)) + "\n" + loc.t("pdPermLimited"));
    // A failing scan says so.
    v->loadOpenFiles();
    gate->allowed.release();
    ASSERT_TRUE(test::waitUntil([&] { return !v->loadingFiles(); }));
    EXPECT_TRUE(v->filesFailed());
    EXPECT_EQ(textOf(*v, "pdFilesSummary"), loc.t("pdLoadFail"));
}

TEST_F(Detail, ResultsOfAClosedViewAreDropped) {
    staticInfo = facts(50, "server");
    gate->gated = true;
    auto v = make(50);
    gate->allowed.release();
    // The scan has ended and its completion waits for the GUI thread when the view goes.
    ASSERT_TRUE(test::waitUntil([&] { return gate->calls.load() == 1; }));
    v.reset();
    EXPECT_FALSE(gate->collectorAlive) << "the view's scans went with it";
    QCoreApplication::processEvents();
    // Nor does the result reach the next view of the same process: it shows its own scan.
    auto next = make(50);
    EXPECT_TRUE(next->loadingFiles());
    EXPECT_FALSE(next->openFiles());
    gate->allowed.release();
    ASSERT_TRUE(test::waitUntil([&] { return !next->loadingFiles(); }));
    ASSERT_TRUE(next->openFiles());
    EXPECT_EQ(next->openFiles()->files.size(), 2) << "the second scan's result";
}

TEST_F(Detail, PriorityIsClampedWrittenAndReadBack) {
    staticInfo = facts(50, "server");
    std::vector<int> written;
    int current = 0;
    bool refuse = false, readFails = false;
    auto s = services();
    s.priority = ProcessPriority(
        [&](int32_t) -> std::optional<int> {
            if (readFails) return std::nullopt;
            return current;
        },
        [](int32_t, int) { return false; });
    fake->renice = [&](int32_t, int value) {
        written.push_back(value);
        if (refuse) return ActionOutcome::refused;
        current = std::min(value, 19);  // the kernel's own ceiling
        return ActionOutcome::done;
    };
    auto v = make(50, std::move(s));
    EXPECT_EQ(v->nice(), 0);
    const struct {
        int requested;
        int written;
        int readBack;
    } cases[] = {{5, 5, 5}, {99, PRIO_MAX, 19}, {-99, PRIO_MIN, PRIO_MIN}};
    for (const auto& c : cases) {
        v->applyNice(c.requested);
        EXPECT_EQ(written.back(), c.written) << c.requested;
        EXPECT_EQ(v->nice(), c.readBack) << c.requested;
        EXPECT_EQ(v->niceMessage(), loc.t("pdNiceChanged", c.readBack));
        EXPECT_EQ(textOf(*v, "pdNiceValue"), QString::number(c.readBack));
    }
    refuse = true;
    v->applyNice(3);
    EXPECT_EQ(v->niceMessage(), loc.t("pdNiceFail"));
    EXPECT_EQ(v->nice(), PRIO_MIN) << "what the process has";
    refuse = false;
    readFails = true;
    v->applyNice(7);
    EXPECT_EQ(v->niceMessage(), loc.t("pdNiceChanged", 7)) << "the requested value when the read-back fails";

    // The pid now belongs to another process: it is not reniced, and the view says so.
    readFails = false;
    const size_t before = written.size();
    fake->reuse(50);
    v->applyNice(4);
    EXPECT_EQ(written.size(), before);
    EXPECT_EQ(v->niceMessage(), loc.t("pdEnded"));
    EXPECT_FALSE(v->nice().has_value());
}

TEST_F(Detail, InitsPriorityIsNeverChanged) {
    staticInfo = facts(1, "init");
    auto v = make(1);
    v->applyNice(5);
    EXPECT_EQ(v->niceMessage(), loc.t("pdNiceFail"));
    EXPECT_TRUE(fake->reniced.empty());
}

TEST_F(Detail, PriorityOfARealChildIsLoweredReadBackAndRaisingNeedsPrivileges) {
    test::ForkedChild child([] {
        for (;;)
            ::pause();
    });
    ASSERT_TRUE(child.started());
    staticInfo = facts(child.pid(), "child");
    auto s = services();
    s.priority.reset();  // the real system calls
    s.actions.control.reset();
    auto v = make(child.pid(), std::move(s));
    const std::optional<int> start = v->nice();
    ASSERT_TRUE(start);
    v->applyNice(*start + 5);
    EXPECT_EQ(v->nice(), *start + 5);
    EXPECT_EQ(v->niceMessage(), loc.t("pdNiceChanged", *start + 5));
    errno = 0;
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(child.pid())), *start + 5);
    v->applyNice(50);  // past the top: clamped, and the kernel's ceiling read back
    const int top = ::getpriority(PRIO_PROCESS, static_cast<id_t>(child.pid()));
    EXPECT_EQ(v->nice(), top);
    EXPECT_GE(top, *start + 5);

    // Raising it again: refused unless this user may raise priorities.
    rlimit lim{};
    ::getrlimit(RLIMIT_NICE, &lim);
    const bool mayRaise = ::geteuid() == 0 || lim.rlim_cur > static_cast<rlim_t>(20 - *start);
    v->applyNice(*start);
    if (mayRaise) {
        EXPECT_EQ(v->nice(), *start);
        EXPECT_EQ(v->niceMessage(), loc.t("pdNiceChanged", *start));
    } else {
        EXPECT_EQ(v->niceMessage(), loc.t("pdNiceFail"));
        EXPECT_EQ(v->nice(), top);
    }
}

TEST_F(Detail, KillFlowAsksTheAdvisorConfirmsAndReports) {
    staticInfo = facts(50, "server");
    engine.publish(withProcesses({{.pid = 50, .name = "server"}}));
    const struct {
        const char* what;
        int32_t pid;
        bool force = false;
        bool asks = false;  // the advisor is asked and the user confirms
        bool confirm = false;
        bool refuses = false;
        bool reused = false;  // a newcomer takes the pid while the question is open
        std::vector<std::pair<int32_t, int>> sent = {};
        const char* message = "";  // empty: nothing shown
        std::chrono::milliseconds delay = 0ms;
        bool closes = false;
    } cases[] = {
        {.what = "cancelled", .pid = 50, .asks = true, .confirm = false},
        {.what = "quit", .pid = 50, .asks = true, .confirm = true, .sent = {{50, SIGTERM}}, .message = "pdQuitSent",
         .delay = ProcessDetailView::kCloseAfterSent, .closes = true},
        {.what = "force", .pid = 50, .force = true, .asks = true, .confirm = true, .sent = {{50, SIGKILL}},
         .message = "pdQuitSent", .delay = ProcessDetailView::kCloseAfterSent, .closes = true},
        {.what = "refused", .pid = 50, .asks = true, .confirm = true, .refuses = true, .message = "pdQuitFail",
         .delay = ProcessDetailView::kFailureShown},
        {.what = "reused", .pid = 50, .asks = true, .confirm = true, .reused = true, .message = "pdEnded",
         .delay = ProcessDetailView::kFailureShown},
        {.what = "init", .pid = 1, .force = true, .confirm = true, .message = "pdQuitFail",
         .delay = ProcessDetailView::kFailureShown},
        {.what = "kernel", .pid = 0, .confirm = true, .message = "pdQuitFail", .delay = ProcessDetailView::kFailureShown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake->add(50, 150);
        sent.clear();
        timers.clear();
        asked.clear();
        closes = 0;
        confirmAnswer = c.confirm;
        fake->refusing = c.refuses ? std::set<int32_t>{50} : std::set<int32_t>{};
        whileAsking = [&] {
            if (c.reused) fake->reuse(50);
        };
        auto v = make(c.pid);
        v->requestKill(c.force);
        ASSERT_EQ(asked.size(), c.asks ? 1u : 0u);
        if (c.asks) {
            EXPECT_EQ(asked[0].targets, (std::vector<ProcessRef>{{c.pid, 100 + static_cast<uint64_t>(c.pid)}}));
            EXPECT_EQ(asked[0].force(), c.force);
            EXPECT_FALSE(asked[0].advice.title.isEmpty());
        }
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(v->resultMessage(), *c.message ? loc.t(c.message) : QString());
        ASSERT_EQ(timers.size(), *c.message ? 1u : 0u);
        if (timers.empty()) continue;
        EXPECT_EQ(timers[0].first, c.delay);
        timers[0].second();
        EXPECT_EQ(closes, c.closes ? 1 : 0);
        if (!c.closes) {
            EXPECT_TRUE(v->resultMessage().isEmpty());
        }
    }
}

TEST_F(Detail, AnOlderFailureTimerLeavesANewerMessage) {
    staticInfo = facts(50, "server");
    fake->refusing = {50};
    auto v = make(50);
    v->requestKill(false);
    v->requestKill(true);
    ASSERT_EQ(timers.size(), 2u);
    timers[0].second();
    EXPECT_EQ(v->resultMessage(), loc.t("pdQuitFail"));
    timers[1].second();
    EXPECT_TRUE(v->resultMessage().isEmpty());
}

TEST_F(Detail, TimersOfAClosedViewDoNothing) {
    staticInfo = facts(50, "server");
    auto v = make(50);
    v->requestKill(false);
    v.reset();
    ASSERT_EQ(timers.size(), 1u);
    timers[0].second();
    EXPECT_EQ(closes, 0);
}

TEST_F(Detail, PathCopiesAndReveals) {
    staticInfo = facts(50, "server");
    QString revealed;
    auto s = services();
    s.reveal = [&](const QString& p) { revealed = p; };
    auto v = make(50, std::move(s));
    for (QPushButton* b : v->findChildren<QPushButton*>()) {
        if (b->text() == loc.t("pdCopy")) b->click();
        if (b->text() == loc.t("pdReveal")) b->click();
    }
    EXPECT_EQ(QApplication::clipboard()->text(), "/usr/bin/server");
    EXPECT_EQ(revealed, "/usr/bin/server");
}

TEST_F(Detail, LongAndOddNamesKeepTheLayout) {
    const QString names[] = {
        QString(300, QLatin1Char('W')),
        QStringLiteral("evil\nname\twith\x01" "controls\x7f"),
        QStringLiteral("\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD ") + QString(120, QChar(0x05D0)),
        QString(),
    };
    for (const QString& name : names) {
        ProcessStaticInfo i = facts(60, name);
        i.command = QString(2000, QLatin1Char('x'));
        i.path = QStringLiteral("/") + QString(400, QLatin1Char('p'));
        staticInfo = i;
        engine.publish(withProcesses({{.pid = 60, .name = name, .cpu = std::nan("")}}));
        auto v = make(60);
        QCoreApplication::processEvents();
        EXPECT_LE(v->minimumSizeHint().width(), 520) << name.size();
        EXPECT_LE(v->width(), 520);
        const auto* label = v->findChild<ElidedLabel*>("pdName");
        EXPECT_LE(label->geometry().right(), v->width());
        for (QChar c : label->shownText())
            EXPECT_NE(c.category(), QChar::Other_Control) << name.size();
        EXPECT_LE(v->findChild<ElidedLabel*>("pdPathValue")->width(), v->width());
    }
}

TEST_F(Detail, QuitAndForceQuitShowWithoutScrollingAtTheWindowsDefaultSize) {
    // The detail window opens 540 × 720; Korean and Thai texts make the body taller than
    // English (how much depends on the fonts at hand).
    struct Case {
        const char* language;
        QSize size;
        bool bodyScrolls;  // so the check means something below the fold
    };
    const Case cases[] = {
        {"en", {540, 720}, false}, {"ko", {540, 720}, false}, {"th", {540, 720}, false},
        {"th", {540, 460}, true},  // and when the user makes it shorter than its body
    };
    for (const Case& c : cases) {
        loc.apply(QString::fromLatin1(c.language));
        staticInfo = facts(50, "server");
        staticInfo->command = QString(600, QLatin1Char('x'));  // a command line that wraps
        engine.publish(withProcesses({{.pid = 50, .name = "server", .cpu = 12}}));
        auto v = make(50);
        v->resize(c.size);
        QCoreApplication::processEvents();
        const QString what = QStringLiteral("%1 at %2 × %3").arg(c.language).arg(c.size.width()).arg(c.size.height());
        auto* body = v->findChild<QScrollArea*>();
        ASSERT_NE(body, nullptr);
        if (c.bodyScrolls) {
            EXPECT_GT(body->widget()->height(), body->viewport()->height()) << what.toStdString();
        }
        for (const char* name : {"pdQuit", "pdForceQuit"}) {
            auto* button = v->findChild<QPushButton*>(QString::fromLatin1(name));
            ASSERT_NE(button, nullptr) << name;
            EXPECT_TRUE(button->isVisible()) << what.toStdString() << " " << name;
            EXPECT_EQ(button->text(), loc.t(name == std::string_view("pdQuit") ? "actQuit" : "actForceQuit"));
            const QRect inView(button->mapTo(v.get(), QPoint(0, 0)), button->size());
            EXPECT_TRUE(v->rect().contains(inView)) << what.toStdString() << " " << name;
            // Nothing clips it: it is not inside the scrolling body.
            EXPECT_EQ(button->visibleRegion(), QRegion(button->rect())) << what.toStdString() << " " << name;
            EXPECT_FALSE(body->isAncestorOf(button)) << name;
            EXPECT_GE(button->width(), button->sizeHint().width()) << what.toStdString() << ": the label fits";
        }
    }
    loc.apply(QStringLiteral("en"));

    // A gone process has nothing to quit.
    staticInfo.reset();
    engine.publish(withProcesses({{.pid = 7, .name = "other"}}));
    auto gone = make(4242);
    EXPECT_FALSE(gone->findChild<QPushButton*>(QStringLiteral("pdQuit"))->isVisibleTo(gone.get()));
    EXPECT_FALSE(gone->findChild<QPushButton*>(QStringLiteral("pdForceQuit"))->isVisibleTo(gone.get()));
}

