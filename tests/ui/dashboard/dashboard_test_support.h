#pragma once

#include "engine/metrics_feed.h"

#include <chrono>

namespace velmora::test {

// A feed of made-up snapshots: each publish appends to the history and announces it.
class FakeFeed : public MetricsFeed {
  public:
    void publish(Snapshot s) {
        if (!history_.empty() && s.time <= history_.back().time) s.time = history_.back().time + std::chrono::seconds(1);
        history_.push_back(s);
        current_ = std::move(s);
        emit historyChanged();
        emit currentChanged();
    }

    // As it comes, even earlier than the last one (a wall clock set back).
    void publishAsIs(Snapshot s) {
        history_.push_back(s);
        current_ = std::move(s);
        emit historyChanged();
        emit currentChanged();
    }

    const Snapshot& current() const override { return current_; }
    const std::deque<Snapshot>& history() const override { return history_; }
    std::vector<MetricPoint> series(SnapshotField key) const override { return recentSeries(key); }
    std::vector<MetricPoint> recentSeries(SnapshotField key) const override {
        std::vector<MetricPoint> out;
        for (const Snapshot& s : history_) {
            const int64_t ns =
                std::chrono::duration_cast<std::chrono::nanoseconds>(s.time.time_since_epoch()).count();
            out.push_back({{ns, 0}, s.time, s.*key});
        }
        return out;
    }
    std::vector<MetricPoint> cpuHistory(int32_t) const override { return {}; }
    std::optional<ProcInfo> liveProcess(int32_t) const override { return std::nullopt; }

  private:
    Snapshot current_;
    std::deque<Snapshot> history_;
};

}  // namespace velmora::test
