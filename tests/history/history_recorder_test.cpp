#include "history/history_recorder.h"

#include "support/test_util.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora::history {
namespace {

using namespace std::chrono_literals;

const Clock::time_point kT0 = Clock::time_point(std::chrono::hours(24 * 20000));

class Feed : public MetricsFeed {
  public:
    void publish(Snapshot s) {
        current_ = std::move(s);
        emit currentChanged();
    }
    const Snapshot& current() const override { return current_; }
    const std::deque<Snapshot>& history() const override { return history_; }
    std::vector<MetricPoint> series(SnapshotField) const override { return {}; }
    std::vector<MetricPoint> recentSeries(SnapshotField) const override { return {}; }
    std::vector<MetricPoint> cpuHistory(int32_t) const override { return {}; }
    std::optional<ProcInfo> liveProcess(int32_t) const override { return std::nullopt; }

  private:
    Snapshot current_;
    std::deque<Snapshot> history_;
};

struct Rig {
    QTemporaryDir dir;
    Feed feed;
    RecordBuilder::Mono mono = RecordBuilder::Mono(std::chrono::hours(5));
    std::vector<int32_t> pathAsked;
    QString db() const { return dir.path() + QStringLiteral("/state/history.sqlite"); }

    std::unique_ptr<HistoryRecorder> make(Millis cadence) {
        HistoryRecorder::Options o;
        o.path = db();
        o.cadence = cadence;
        return std::make_unique<HistoryRecorder>(
            feed, o,
            [this](int32_t pid) {
                pathAsked.push_back(pid);
                return QStringLiteral("/opt/bin/p%1").arg(pid);
            },
            [this] { return mono; });
    }
    // One snapshot every 2 s from kT0 + from to kT0 + to, a busy process in each.
    void run(Millis from, Millis to) {
        for (Millis t = from; t <= to; t += 2s) {
            Snapshot s;
            s.time = kT0 + t;
            s.cpuTotal = 50;
            ProcInfo p;
            p.pid = 77;
            p.startTime = 9;
            p.name = QStringLiteral("busy");
            p.cpu = 95;
            s.processes = {p};
            s.processesMeasured = true;
            mono += 2s;
            feed.publish(std::move(s));
        }
    }
    std::vector<Record> read(HistoryRecorder& r) {
        std::optional<std::vector<Record>> got;
        r.read(kT0 - 1h, kT0 + 1h, [&](std::vector<Record> recs) { got = std::move(recs); });
        EXPECT_TRUE(test::waitUntil([&] { return got.has_value(); }));
        return got.value_or(std::vector<Record>{});
    }
};

TEST(HistoryRecorder, RemembersWhoWasBusyWithTheirPathAskedOnce) {
    Rig rig;
    auto rec = rig.make(10s);
    rig.run(0s, 30s);
    const auto records = rig.read(*rec);
    ASSERT_EQ(records.size(), 3u);
    for (const Record& r : records) {
        ASSERT_EQ(r.processes.size(), 1u);
        EXPECT_EQ(r.processes[0].name, QStringLiteral("busy"));
        EXPECT_EQ(r.processes[0].path, QStringLiteral("/opt/bin/p77"));
        EXPECT_FLOAT_EQ(r.processes[0].value(Metric::cpu), 95);
    }
    EXPECT_EQ(rig.pathAsked, (std::vector<int32_t>{77}));
    EXPECT_TRUE(QFileInfo::exists(rig.db()));
}

TEST(HistoryRecorder, WritesWhatIsPendingWhenItEnds) {
    Rig rig;
    {
        auto rec = rig.make(10s);
        rig.run(0s, 14s);  // one whole record, and one begun
    }
    auto store = HistoryStore::open(rig.db());
    ASSERT_TRUE(store);
    const auto records = store->records(kT0 - 1h, kT0 + 1h);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].end, kT0 + 14s);
}

TEST(HistoryRecorder, OffRemembersNothingAndTurningItOffEndsTheOpenRecord) {
    Rig rig;
    auto rec = rig.make(0ms);
    rig.run(0s, 30s);
    EXPECT_TRUE(rig.read(*rec).empty());

    Rig rig2;
    auto on = rig2.make(10s);
    rig2.run(0s, 14s);
    on->setCadence(0ms);
    rig2.run(16s, 40s);
    const auto records = rig2.read(*on);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records.back().end, kT0 + 14s);
}

TEST(HistoryRecorder, ForgetDeletesTheDatabaseAndStartsAfresh) {
    Rig rig;
    auto rec = rig.make(10s);
    rig.run(0s, 30s);
    ASSERT_FALSE(rig.read(*rec).empty());
    std::optional<bool> ok;
    rec->forget([&](bool result, const QString&) { ok = result; });
    ASSERT_TRUE(test::waitUntil([&] { return ok.has_value(); }));
    EXPECT_TRUE(*ok);
    EXPECT_FALSE(QFileInfo::exists(rig.db()));
    EXPECT_TRUE(rig.read(*rec).empty());
    rig.run(60s, 90s);
    const auto after = rig.read(*rec);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after.front().start, kT0 + 60s);  // nothing from before the forgetting
}

TEST(HistoryRecorder, SaysWhenTheDatabaseWasSetAside) {
    Rig rig;
    test::writeFile(rig.dir, QStringLiteral("state/history.sqlite"), QByteArray("garbage").repeated(200));
    auto rec = rig.make(10s);
    QSignalSpy spy(rec.get(), &HistoryRecorder::storeProblem);
    rig.run(0s, 12s);
    rig.read(*rec);
    ASSERT_TRUE(test::waitUntil([&] { return spy.count() == 1; }));
    const QString aside = spy.at(0).at(0).toString();
    EXPECT_TRUE(aside.startsWith(rig.db() + QStringLiteral(".unreadable-"))) << aside.toStdString();
    QFile f(aside);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("garbage").repeated(200));
}

}  // namespace
}  // namespace velmora::history
