// The analysis window over a remembered range: the records come through an injected reader,
// as made-up records here, with no database.
#include "ui/analysis/analysis_view.h"

#include "core/localizer.h"
#include "engine/metrics_engine.h"
#include "ui/common/range_picker.h"
#include "ui/common/time_chart.h"
#include "support/null_sources.h"

#include <gtest/gtest.h>

#include <memory>

using namespace velmora;
using namespace std::chrono_literals;

using velmora::test::NoSource;
using velmora::test::NoCollector;
using velmora::test::NoTraffic;

namespace {

struct Request {
    TimePoint from, to;
    std::function<void(std::vector<history::Record>)> done;
};

class AnalysisRange : public ::testing::Test {
  protected:
    void SetUp() override { Localizer::shared().apply("en"); }

    MetricsEngine engine{std::make_unique<NoSource>()};
    std::shared_ptr<std::vector<Request>> asked = std::make_shared<std::vector<Request>>();

    AnalysisView::Services services(bool withHistory = true) {
        AnalysisView::Services s;
        s.detail.describe = [](const QString&, QObject*, std::function<void(std::optional<QString>)>) {};
        s.detail.inspector = std::make_unique<ProcInspector>(std::make_unique<NoCollector>(), std::make_unique<NoCollector>());
        if (withHistory)
            s.history = [asked = asked](TimePoint from, TimePoint to, std::function<void(std::vector<history::Record>)> done) {
                asked->push_back({from, to, std::move(done)});
            };
        return s;
    }

    void publishLive(std::vector<ProcInfo> procs) {
        Snapshot s;
        s.time = WallClock::now();
        s.cpuTotal = 40;
        s.processes = std::move(procs);
        s.processesMeasured = true;
        engine.publish(std::move(s));
    }

    // Records of 10 s from `from` to the read's end, save a gap over [gapFrom, gapTo): the
    // process `pid` at `cpu` % in each.
    static std::vector<history::Record> records(const Request& r, std::chrono::seconds gapFrom,
                                                std::chrono::seconds gapTo, int32_t pid, float cpu) {
        std::vector<history::Record> out;
        for (TimePoint t = r.from; t + 10s <= r.to; t += 10s) {
            if (t >= r.from + gapFrom && t < r.from + gapTo) continue;
            history::Record rec;
            rec.start = t;
            rec.end = t + 10s;
            rec.stat(history::Series::cpuPercent) = {cpu + 5, cpu};
            history::ProcessEntry e;
            e.pid = pid;
            e.startTime = 77;
            e.name = QStringLiteral("stored-%1").arg(pid);
            e.values[static_cast<int>(history::Metric::cpu)] = cpu;
            rec.processes.push_back(e);
            out.push_back(rec);
        }
        return out;
    }

    static std::vector<int32_t> pidsOf(const std::vector<AnalysisRow>& rows) {
        std::vector<int32_t> out;
        for (const AnalysisRow& r : rows) out.push_back(r.pid);
        return out;
    }
};

ProcInfo proc(int32_t pid, double cpu) {
    ProcInfo p;
    p.pid = pid;
    p.startTime = 5;
    p.name = QStringLiteral("live-%1").arg(pid);
    p.cpu = cpu;
    return p;
}

}  // namespace

TEST_F(AnalysisRange, ARangeIsReadOnceShownAndLeftForLiveAsItWas) {
    publishLive({proc(10, 90)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.resize(1040, 720);
    view.show();
    const std::vector<AnalysisRow> liveRows = view.rows();
    ASSERT_EQ(pidsOf(liveRows), std::vector<int32_t>{10});
    EXPECT_DOUBLE_EQ(view.chart()->viewport().visibleSeconds(), MetricsFeed::historyRetentionSeconds);

    view.showSpan(HistorySpan::hour);
    ASSERT_EQ(asked->size(), 1u);
    EXPECT_EQ(asked->front().to - asked->front().from, 1h);
    EXPECT_TRUE(view.rows().empty()) << "nothing of the hour is shown before it is read";
    EXPECT_EQ(view.emptyText(), Localizer::shared().t("hrLoading"));

    asked->front().done(records(asked->front(), 600s, 1200s, 42, 30));
    ASSERT_NE(view.storedRange(), nullptr);
    EXPECT_EQ(pidsOf(view.rows()), std::vector<int32_t>{42}) << "the hour's peaks";
    EXPECT_EQ(view.listTitle(), Localizer::shared().t("hrPeakTitle"));
    EXPECT_DOUBLE_EQ(view.chart()->viewport().visibleSeconds(), 3600);
    ASSERT_EQ(view.chart()->gaps().size(), 1u);
    EXPECT_EQ(view.chart()->gaps().front().first, asked->front().from + 600s);
    ASSERT_EQ(view.chart()->series().size(), 2u) << "mean and peak";
    EXPECT_EQ(asked->size(), 1u) << "a tick reads nothing again";
    publishLive({proc(10, 95)});
    EXPECT_EQ(asked->size(), 1u);
    EXPECT_EQ(pidsOf(view.rows()), std::vector<int32_t>{42});

    view.showSpan(HistorySpan::live);
    EXPECT_EQ(view.storedRange(), nullptr);
    EXPECT_EQ(pidsOf(view.rows()), std::vector<int32_t>{10});
    EXPECT_EQ(view.listTitle(), Localizer::shared().t("anPeakTitle"));
    EXPECT_DOUBLE_EQ(view.chart()->viewport().visibleSeconds(), MetricsFeed::historyRetentionSeconds);
    EXPECT_TRUE(view.chart()->gaps().empty());
    EXPECT_EQ(view.chart()->series().size(), 1u);
}

TEST_F(AnalysisRange, AMomentInAGapIsNamedAsOneAndItsEdgesAreNot) {
    publishLive({proc(10, 90)});
    AnalysisView view(engine, AnalysisKind::cpu, services());
    view.show();
    view.showSpan(HistorySpan::hour);
    ASSERT_EQ(asked->size(), 1u);
    const Request r = asked->front();
    r.done(records(r, 600s, 1200s, 42, 30));
    ASSERT_NE(view.storedRange(), nullptr);
    const TimePoint gapFrom = r.from + 600s, gapTo = r.from + 1200s;
    struct Case {
        TimePoint t;
        bool gap;
        const char* name;
    };
    const Case cases[] = {{gapFrom - 1ms, false, "just before"}, {gapFrom, true, "at its start"},
                          {gapFrom + 300s, true, "inside"},      {gapTo - 1ms, true, "just before its end"},
                          {gapTo, false, "at its end"},          {gapTo + 1s, false, "after"}};
    for (const Case& c : cases) {
        view.pickTime(c.t);
        ASSERT_TRUE(view.analysis().selectedTime.has_value()) << c.name;
        EXPECT_EQ(view.pickedGap() != nullptr, c.gap) << c.name;
        if (c.gap) {
            EXPECT_TRUE(view.rows().empty()) << c.name;
            EXPECT_EQ(view.emptyText(), Localizer::shared().t("hrGap")) << c.name;
            EXPECT_EQ(*view.analysis().selectedTime, c.t) << c.name << ": the gap's own moment, not a record's";
        } else {
            EXPECT_EQ(pidsOf(view.rows()), std::vector<int32_t>{42}) << c.name << ": the nearest record's culprit";
        }
    }
}

TEST_F(AnalysisRange, AnAnswerForASpanLeftOrAWindowGoneIsDropped) {
    publishLive({proc(10, 90)});
    auto view = std::make_unique<AnalysisView>(engine, AnalysisKind::cpu, services());
    view->show();
    view->showSpan(HistorySpan::hour);
    view->showSpan(HistorySpan::day);
    ASSERT_EQ(asked->size(), 2u);
    (*asked)[0].done(records((*asked)[0], 0s, 0s, 1, 50));
    EXPECT_EQ(view->storedRange(), nullptr) << "the hour's answer is not the day's";
    (*asked)[1].done(records((*asked)[1], 0s, 0s, 2, 50));
    ASSERT_NE(view->storedRange(), nullptr);
    EXPECT_EQ(pidsOf(view->rows()), std::vector<int32_t>{2});

    view->showSpan(HistorySpan::week);
    ASSERT_EQ(asked->size(), 3u);
    view.reset();
    // Must not reach the closed window (a sanitizer build sees any touch).
    (*asked)[2].done(records((*asked)[2], 0s, 0s, 3, 50));
}

TEST_F(AnalysisRange, WithoutARecordOnlyLiveIsOffered) {
    publishLive({proc(10, 90)});
    AnalysisView view(engine, AnalysisKind::cpu, services(false));
    view.show();
    EXPECT_FALSE(view.rangePicker()->spanEnabled(HistorySpan::day));
    EXPECT_EQ(view.rangePicker()->spanToolTip(HistorySpan::day), Localizer::shared().t("hrSpanOff"));
    view.showSpan(HistorySpan::day);
    EXPECT_EQ(view.rangeLoader().span(), HistorySpan::live);
    EXPECT_EQ(pidsOf(view.rows()), std::vector<int32_t>{10});
}

TEST_F(AnalysisRange, NetworkSaysItsProcessesAreUnknownWhereNoWindowMeasuredThem) {
    AnalysisView::Services s = services();
    s.netMonitor = std::make_unique<NetProcMonitor>(std::make_unique<NoTraffic>());
    AnalysisView view(engine, AnalysisKind::network, std::move(s));
    view.showSpan(HistorySpan::hour);
    ASSERT_EQ(asked->size(), 1u);
    asked->front().done(records(asked->front(), 0s, 0s, 1, 50));
    EXPECT_TRUE(view.rows().empty());
    EXPECT_EQ(view.emptyText(), Localizer::shared().t("hrNoNetwork"));
}

// The network window's measurements are the only per-process network figures there are:
// each one it shows is handed to the record; a failed one is not.
TEST_F(AnalysisRange, EachNetworkMeasurementShownIsHandedToTheRecord) {
    AnalysisView::Services s = services();
    auto monitor = std::make_unique<NetProcMonitor>(std::make_unique<NoTraffic>());
    NetProcMonitor* net = monitor.get();
    s.netMonitor = std::move(monitor);
    std::vector<std::vector<ProcNet>> handed;
    s.networkMeasured = [&handed](const std::vector<ProcNet>& procs) { handed.push_back(procs); };
    AnalysisView view(engine, AnalysisKind::network, std::move(s));
    ProcNet busy;
    busy.pid = 42;
    busy.inBps = 3e5;
    busy.outBps = 1e4;
    net->publish(std::vector<ProcNet>{busy});
    net->publish(std::nullopt);
    ASSERT_EQ(handed.size(), 1u) << "the failed measurement is not handed over";
    EXPECT_EQ(handed.front(), std::vector<ProcNet>{busy});
}

