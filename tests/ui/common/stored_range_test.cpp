#include "ui/common/range_picker.h"
#include "ui/common/stored_range.h"

#include "core/localizer.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const TimePoint t0 = TimePoint{} + std::chrono::hours(24 * 365 * 50);

TimePoint at(double seconds) {
    return t0 + std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
}

history::Record record(double from, double to, double cpuMean = 10, double cpuPeak = 20) {
    history::Record r;
    r.start = at(from);
    r.end = at(to);
    r.stat(history::Series::cpuPercent) = {cpuPeak, cpuMean};
    return r;
}

// A reader that keeps each request, to be answered when and in what order a test says.
struct HeldReader {
    struct Request {
        TimePoint from, to;
        std::function<void(std::vector<history::Record>)> done;
    };
    std::shared_ptr<std::vector<Request>> asked = std::make_shared<std::vector<Request>>();
    HistoryReader reader() {
        return [asked = asked](TimePoint from, TimePoint to, std::function<void(std::vector<history::Record>)> done) {
            asked->push_back({from, to, std::move(done)});
        };
    }
};

}  // namespace

TEST(StoredRange, EachSpanReadsItsOwnStretchEndingNow) {
    struct Case {
        HistorySpan span;
        std::chrono::seconds length;
        const char* label;
    };
    const Case cases[] = {{HistorySpan::live, 0s, "Live"},
                          {HistorySpan::hour, 3600s, "1 hour"},
                          {HistorySpan::sixHours, 6 * 3600s, "6 hours"},
                          {HistorySpan::day, 24 * 3600s, "24 hours"},
                          {HistorySpan::week, 7 * 24 * 3600s, "7 days"}};
    Localizer::shared().apply("en");
    for (const Case& c : cases) {
        EXPECT_EQ(spanLength(c.span), c.length) << c.label;
        EXPECT_EQ(Localizer::shared().t(spanKey(c.span)), c.label);
        HeldReader held;
        RangeLoader loader(held.reader(), [] { return at(1e6); });
        loader.setSpan(c.span);
        EXPECT_EQ(loader.span(), c.span);
        if (c.span == HistorySpan::live) {
            EXPECT_TRUE(held.asked->empty()) << "live reads nothing";
            continue;
        }
        ASSERT_EQ(held.asked->size(), 1u) << c.label;
        EXPECT_EQ(held.asked->front().to, at(1e6));
        EXPECT_EQ(held.asked->front().to - held.asked->front().from, c.length) << c.label;
    }
}

TEST(StoredRange, SwitchingReadsOnceAndDropsTheAnswerForASpanLeft) {
    HeldReader held;
    double now = 1e6;
    RangeLoader loader(held.reader(), [&] { return at(now); });
    QSignalSpy changed(&loader, &RangeLoader::changed);

    loader.setSpan(HistorySpan::hour);
    EXPECT_EQ(held.asked->size(), 1u);
    EXPECT_TRUE(loader.loading());
    EXPECT_EQ(loader.range(), nullptr);
    now += 5;
    loader.setSpan(HistorySpan::day);
    ASSERT_EQ(held.asked->size(), 2u) << "one read per choice";

    // The hour's answer arrives late: it is not shown under the day.
    (*held.asked)[0].done({record(1e6 - 100, 1e6 - 90)});
    EXPECT_EQ(loader.range(), nullptr);
    EXPECT_TRUE(loader.loading());
    const int before = changed.count();
    (*held.asked)[1].done({record(1e6 - 50, 1e6 - 40), record(1e6 - 40, 1e6 - 30)});
    ASSERT_NE(loader.range(), nullptr);
    EXPECT_FALSE(loader.loading());
    EXPECT_EQ(changed.count(), before + 1);
    EXPECT_EQ(loader.range()->records.size(), 2u);
    EXPECT_EQ(loader.range()->to, at(1e6 + 5));
    EXPECT_EQ(loader.range()->to - loader.range()->from, std::chrono::hours(24));

    // Back to live: the range goes, and an answer still on its way is dropped.
    loader.setSpan(HistorySpan::week);
    loader.setSpan(HistorySpan::live);
    EXPECT_EQ(loader.range(), nullptr);
    EXPECT_FALSE(loader.loading());
    held.asked->back().done({record(0, 10)});
    EXPECT_EQ(loader.range(), nullptr);
    EXPECT_EQ(loader.span(), HistorySpan::live);
    EXPECT_EQ(loader.reads(), 3);
}

TEST(StoredRange, AnAnswerForALoaderGoneIsDropped) {
    // Two windows read through one record; the first closes before its answer comes.
    HeldReader held;
    auto gone = std::make_unique<RangeLoader>(held.reader(), [] { return at(1e6); });
    RangeLoader stays(held.reader(), [] { return at(1e6); });
    gone->setSpan(HistorySpan::hour);
    stays.setSpan(HistorySpan::hour);
    gone.reset();
    ASSERT_EQ(held.asked->size(), 2u);
    (*held.asked)[0].done({record(0, 10)});  // reaches no one (a sanitizer build sees any touch)
    EXPECT_EQ(stays.range(), nullptr) << "another window's answer is not this one's";
    (*held.asked)[1].done({record(0, 10), record(10, 20)});
    ASSERT_NE(stays.range(), nullptr);
    EXPECT_EQ(stays.range()->records.size(), 2u);
}

TEST(StoredRange, WithoutARecordOnlyLiveCanBeChosen) {
    Localizer::shared().apply("en");
    RangeLoader loader(HistoryReader{});
    EXPECT_FALSE(loader.available());
    loader.setSpan(HistorySpan::day);
    EXPECT_EQ(loader.span(), HistorySpan::live);
    EXPECT_EQ(loader.reads(), 0);

    RangePicker picker;
    picker.setHistoryAvailable(false);
    for (HistorySpan span : kHistorySpans) {
        const bool live = span == HistorySpan::live;
        EXPECT_EQ(picker.spanEnabled(span), live);
        EXPECT_EQ(picker.spanToolTip(span).isEmpty(), live);
    }
    EXPECT_EQ(picker.spanToolTip(HistorySpan::week), Localizer::shared().t("hrSpanOff"));
    picker.setSpan(HistorySpan::week);
    EXPECT_EQ(picker.span(), HistorySpan::live);

    picker.setHistoryAvailable(true);
    for (HistorySpan span : kHistorySpans) {
        EXPECT_TRUE(picker.spanEnabled(span));
        EXPECT_TRUE(picker.spanToolTip(span).isEmpty());
    }
    picker.setSpan(HistorySpan::week);
    EXPECT_EQ(picker.span(), HistorySpan::week);
    // A choice of the user's is announced, the same span again too (it reads up to now anew).
    std::vector<HistorySpan> chosen;
    QObject::connect(&picker, &RangePicker::spanChosen, [&](HistorySpan span) { chosen.push_back(span); });
    emit picker.activated(picker.currentIndex());
    EXPECT_EQ(chosen, std::vector<HistorySpan>{HistorySpan::week});
    picker.setSpan(HistorySpan::hour);
    EXPECT_EQ(chosen.size(), 1u) << "a span set by the window is not the user's choice";
}

TEST(StoredRange, AMomentInAGapIsNamedAsOneAtItsEdges) {
    // Records [0, 10) and [10, 20), nothing until 200, then [200, 210); the range ends at 300.
    const StoredRange range =
        buildStoredRange({record(0, 10), record(10, 20), record(200, 210)}, at(0), at(300));
    ASSERT_EQ(range.gaps.size(), 2u);
    struct Case {
        double t;
        bool gap;
    };
    const Case cases[] = {{19.999, false}, {20, true},  {100, true},   {199.999, true},
                          {200, false},    {209, false}, {210, true},  {299.9, true}};
    for (const Case& c : cases) EXPECT_EQ(range.gapAt(at(c.t)) != nullptr, c.gap) << c.t;
    EXPECT_EQ(range.gapSpans().front(), std::make_pair(at(20), at(200)));
}

TEST(StoredRange, ASeamIsAGapOnlyPastTheTolerance) {
    const double tolerance = std::chrono::duration<double>(kStoredGapTolerance).count();
    struct Case {
        double seam;
        bool gap;
    };
    const Case cases[] = {{tolerance - 1, false}, {tolerance, false}, {tolerance + 1, true}};
    for (const Case& c : cases) {
        const StoredRange range = buildStoredRange({record(0, 10), record(10 + c.seam, 20 + c.seam)}, at(0), at(20 + c.seam));
        EXPECT_EQ(range.gaps.size(), c.gap ? 1u : 0u) << c.seam;
        EXPECT_EQ(range.gapAt(at(10 + c.seam / 2)) != nullptr, c.gap) << c.seam;
    }
}

TEST(StoredRange, ChartPointsSitAtEachRecordsMiddleAndTheRangeIsSpannedWhole) {
    const StoredRange range = buildStoredRange({record(0, 10, 4, 8), record(10, 30, 6, 12)}, at(-5), at(40));
    for (const bool peak : {false, true}) {
        const std::vector<MetricPoint> pts = range.points(history::Series::cpuPercent, peak, 2);
        ASSERT_EQ(pts.size(), 4u);
        EXPECT_EQ(pts.front().time, at(-5));
        EXPECT_TRUE(std::isnan(pts.front().value));
        EXPECT_EQ(pts[1].time, at(5));
        EXPECT_EQ(pts[2].time, at(20));
        EXPECT_DOUBLE_EQ(pts[1].value, peak ? 4 : 2);
        EXPECT_DOUBLE_EQ(pts[2].value, peak ? 6 : 3);
        EXPECT_EQ(pts.back().time, at(40));
        EXPECT_TRUE(std::isnan(pts.back().value));
    }
    // The moments the rankings read: one per record, carrying its means.
    ASSERT_EQ(range.history.size(), 2u);
    EXPECT_EQ(range.history[1].time, at(20));
    EXPECT_DOUBLE_EQ(range.history[1].cpuTotal, 6);
}

TEST(StoredRange, DamagedFiguresReadAsNothingOrTheMostNeverAsGarbage) {
    struct Case {
        float memory;
        uint64_t bytes;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {{std::nanf(""), 0},
                          {-inf, 0},
                          {-5, 0},
                          {0, 0},
                          {1, 1},
                          {3e9f, 3000000000ull},
                          {1e30f, std::numeric_limits<uint64_t>::max()},
                          {inf, std::numeric_limits<uint64_t>::max()}};
    for (const Case& c : cases) {
        history::Record r = record(0, 10);
        history::ProcessEntry e;
        e.pid = 7;
        e.values[static_cast<int>(history::Metric::memory)] = c.memory;
        e.values[static_cast<int>(history::Metric::cpu)] = std::nanf("");
        r.processes.push_back(e);
        r.stat(history::Series::memPercent) = {std::nan(""), -std::numeric_limits<double>::infinity()};
        const StoredRange range = buildStoredRange({r}, at(0), at(10));
        const ProcMoment* moment = range.attribution.at(at(5));
        if (c.bytes == 0) {
            // Nothing to rank by: the process is in no list.
            EXPECT_TRUE(moment == nullptr || moment->shares.empty()) << c.memory;
        } else {
            ASSERT_NE(moment, nullptr) << c.memory;
            ASSERT_EQ(moment->shares.size(), 1u) << c.memory;
            EXPECT_EQ(moment->shares.front().memBytes, c.bytes) << c.memory;
        }
        const std::vector<MetricPoint> mean = range.points(history::Series::memPercent, false);
        ASSERT_EQ(mean.size(), 3u);
        EXPECT_FALSE(std::isfinite(mean[1].value)) << "a damaged figure is not drawn";
    }
}
