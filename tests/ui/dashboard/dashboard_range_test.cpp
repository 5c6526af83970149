// The dashboard's load charts over a remembered range: the records come through an injected
// reader, as made-up records here, with no database.
#include "ui/dashboard/dashboard_view.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "dashboard_test_support.h"
#include "samplers/cpu_sampler.h"
#include "ui/common/range_picker.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace velmora;

namespace {

class DashboardRange : public ::testing::Test {
  protected:
    void SetUp() override {
        loc.apply(QStringLiteral("en"));
        topology.groups = {{CoreKind::efficiency(), {0, 1}}, {CoreKind::performance(), {2, 3}}};
    }

    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer& loc = Localizer::shared();
    test::FakeFeed feed;
    CoreTopology topology;
};

Snapshot busy() {
    Snapshot s;
    s.cpuTotal = 93;
    s.cpuPerCore = {10, 20, 90, 70};
    s.memPercent = 50;
    return s;
}

}  // namespace

// The load charts over a remembered range, read through an injected reader.
TEST_F(DashboardRange, TheLoadChartsShowARememberedRangeAndLiveAgain) {
    struct Request {
        TimePoint from, to;
        std::function<void(std::vector<history::Record>)> done;
    };
    auto asked = std::make_shared<std::vector<Request>>();
    DashboardView::Hooks hooks;
    hooks.topology = &topology;
    hooks.history = [asked](TimePoint from, TimePoint to, std::function<void(std::vector<history::Record>)> done) {
        asked->push_back({from, to, std::move(done)});
    };
    DashboardView ranged(feed, settings, loc, std::move(hooks));
    ranged.resize(1000, 3000);
    ranged.show();
    feed.publish(busy());
    TimeChart* cpu = ranged.chartCard(AnalysisKind::cpu)->chart();
    const double liveSeconds = cpu->viewport().visibleSeconds();
    ASSERT_EQ(cpu->series().size(), 1u);

    ranged.showSpan(HistorySpan::sixHours);
    ASSERT_EQ(asked->size(), 1u);
    EXPECT_EQ(asked->front().to - asked->front().from, std::chrono::hours(6));
    std::vector<history::Record> records;
    for (int i = 0; i < 3; ++i) {
        history::Record r;
        // Two records, then one after an hour of nothing.
        r.start = asked->front().from + std::chrono::minutes(i < 2 ? i : 62);
        r.end = r.start + std::chrono::minutes(1);
        r.stat(history::Series::cpuPercent) = {80, 40};
        records.push_back(r);
    }
    asked->front().done(records);
    for (AnalysisKind kind : {AnalysisKind::cpu, AnalysisKind::gpu, AnalysisKind::memory, AnalysisKind::disk,
                              AnalysisKind::network}) {
        TimeChart* chart = ranged.chartCard(kind)->chart();
        EXPECT_DOUBLE_EQ(chart->viewport().visibleSeconds(), 6 * 3600.0);
        // Between the records and from the last one to now.
        ASSERT_EQ(chart->gaps().size(), 2u);
        EXPECT_EQ(chart->gaps().front(), std::make_pair(asked->front().from + std::chrono::minutes(2),
                                                         asked->front().from + std::chrono::minutes(62)));
    }
    ASSERT_EQ(cpu->series().size(), 2u) << "mean and peak";
    EXPECT_DOUBLE_EQ(cpu->series()[0].points[1].value, 40);
    EXPECT_DOUBLE_EQ(cpu->series()[1].points[1].value, 80);
    EXPECT_EQ(ranged.chartCard(AnalysisKind::disk)->chart()->series().size(), 4u);
    // A tick changes the figures of now, not the range.
    feed.publish(busy());
    EXPECT_EQ(cpu->series().size(), 2u);
    EXPECT_EQ(asked->size(), 1u);

    ranged.showSpan(HistorySpan::live);
    EXPECT_DOUBLE_EQ(cpu->viewport().visibleSeconds(), liveSeconds);
    EXPECT_TRUE(cpu->gaps().empty());
    EXPECT_EQ(cpu->series().size(), 1u);
}

TEST_F(DashboardRange, WithoutARecordTheChartsOfferLiveOnly) {
    DashboardView::Hooks hooks;
    hooks.topology = &topology;
    auto view = std::make_unique<DashboardView>(feed, settings, loc, std::move(hooks));
    EXPECT_FALSE(view->rangePicker()->spanEnabled(HistorySpan::hour));
    EXPECT_EQ(view->rangePicker()->spanToolTip(HistorySpan::hour), loc.t("hrSpanOff"));
    view->showSpan(HistorySpan::hour);
    EXPECT_EQ(view->rangeLoader().span(), HistorySpan::live);
}
