#include "engine/metrics_engine.h"

#include "platform/app_services.h"
#include "platform/autorelease.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {
constexpr int kFirstTickDelayMs = 100;
}

MetricsEngine::MetricsEngine(std::unique_ptr<SnapshotSource> source, QObject* parent)
    : MetricsFeed(parent),
      releaseMemory_(platform::releaseFreedMemory),
      source_(std::move(source)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.sampler"), QThread::LowPriority) {}

MetricsEngine::~MetricsEngine() {
    // Sampler state dies on the thread that used it; snapshots still queued for this
    // thread are dropped with the inbox.
    worker_.run([this] {
        delete timer_;
        timer_ = nullptr;
        source_.reset();
    });
}

void MetricsEngine::start(double intervalSeconds) {
    const int periodMs = std::max(1, static_cast<int>(std::lround(intervalSeconds * 1000.0)));
    worker_.post([this, periodMs] {
        // Replacing the timer releases the old one, so restarts never stack timers.
        delete timer_;
        periodMs_ = periodMs;
        timer_ = new QTimer(worker_.context());
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(kFirstTickDelayMs);
        QTimer* timer = timer_;
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, periodMs] {
            if (timer->interval() != periodMs) timer->setInterval(periodMs);
            tick();
        });
        timer_->start();
        keepTickClearOfPrime();
    });
}

void MetricsEngine::cancelTimer() {
    worker_.post([this] {
        delete timer_;
        timer_ = nullptr;
    });
}

int MetricsEngine::runningTimers() const {
    int n = 0;
    worker_.run([&] {
        for (const QTimer* t : worker_.context()->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
            if (t->isActive()) ++n;
    });
    return n;
}

void MetricsEngine::tick() {
    // The system readers may hand out autoreleased objects; each tick drains its own.
    Snapshot snapshot;
    platform::withAutoreleasePool([&] { snapshot = source_->tick([this] { return processesWanted(); }); });
    inbox_.post([self = QPointer<MetricsEngine>(this), s = std::move(snapshot)]() mutable {
        if (self) self->publish(std::move(s));
    });
}

bool MetricsEngine::processesWanted() {
    std::lock_guard lock(stateLock_);
    // A tick that slips in between the activation and its priming sample leaves processes
    // out: measured against an old baseline they would be averages over the whole pause.
    if (uiActive_) return primedActivation_ == activation_;
    if (backgroundPeriod_.count() <= 0) return false;
    const auto now = steadyNow_();
    // Half a tick early still counts, so the reads keep to every n-th tick rather than
    // slipping to the one after whenever a tick comes a little early.
    const auto due = backgroundPeriod_ - std::chrono::milliseconds(periodMs_ / 2);
    if (lastBackgroundRead_ && now - *lastBackgroundRead_ < due && now >= *lastBackgroundRead_) return false;
    lastBackgroundRead_ = now;
    return true;
}

void MetricsEngine::setBackgroundProcessPeriod(std::chrono::milliseconds period) {
    std::lock_guard lock(stateLock_);
    backgroundPeriod_ = period;
}

void MetricsEngine::setSteadyClock(std::function<std::chrono::steady_clock::time_point()> now) {
    std::lock_guard lock(stateLock_);
    steadyNow_ = std::move(now);
}

void MetricsEngine::primeProcessesIfActivated() {
    {
        std::lock_guard lock(stateLock_);
        // Gone again, or already primed: toggles faster than the worker collapse into one.
        if (!uiActive_ || primedActivation_ == activation_) return;
        primedActivation_ = activation_;
    }
    if (!source_) return;
    source_->primeProcesses();
    primedAt_ = std::chrono::steady_clock::now();
    keepTickClearOfPrime();
}

void MetricsEngine::keepTickClearOfPrime() {
    if (!timer_ || !timer_->isActive() || !primedAt_) return;
    // A tick right after the priming sample would measure processes over a few
    // milliseconds; that one tick waits until the span is long enough.
    const auto minGap = std::chrono::milliseconds(
        std::min(periodMs_, static_cast<int>(std::lround(minProcessMeasureSeconds * 1000.0))));
    const auto sincePrime =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - *primedAt_);
    const auto wait = minGap - sincePrime;
    if (wait.count() > 0 && timer_->remainingTime() < wait.count())
        timer_->start(static_cast<int>(wait.count()));
}

void MetricsEngine::setUiActive(bool active) {
    bool activated = false;
    {
        std::lock_guard lock(stateLock_);
        if (active && !uiActive_) {
            ++activation_;
            activated = true;
        }
        uiActive_ = active;
    }
    // The worker owns the samplers; the priming sample never runs on the caller's thread.
    if (activated) worker_.post([this] { primeProcessesIfActivated(); });
}

bool MetricsEngine::uiActive() const {
    std::lock_guard lock(stateLock_);
    return uiActive_;
}

void MetricsEngine::publish(Snapshot snapshot) {
    // The per-sensor list describes the newest instant only: history keeps the summary
    // temperatures, so a long history does not carry forty named readings per entry.
    std::vector<TemperatureSensor> sensors = std::move(snapshot.sensors);
    snapshot.sensors = {};
    attribution_.add(snapshot);
    history_.push_back(snapshot);
    current_ = std::move(snapshot);
    current_.sensors = std::move(sensors);

    // Only the newest snapshots keep their process tables; the rest keep every other field,
    // and the attribution log keeps their heaviest processes.
    if (history_.size() >= static_cast<size_t>(processHistoryLimit) + 1) {
        Snapshot& old = history_[history_.size() - processHistoryLimit - 1];
        if (!old.processes.empty()) {
            old.processes.clear();
            old.processes.shrink_to_fit();
        }
    }

    // A wall clock set backwards leaves entries newer than the newest one. They would hold the
    // cutoff below back until the clock caught up (history growing all the while), and a chart
    // cannot place them, so they go.
    const auto newest = history_.back().time;
    auto later = std::find_if(history_.begin(), history_.end() - 1,
                              [newest](const Snapshot& s) { return s.time > newest; });
    history_.erase(later, history_.end() - 1);

    const auto cutoff = newest - std::chrono::duration_cast<WallClock::duration>(
                                     std::chrono::duration<double>(historyRetentionSeconds));
    size_t i = 0;
    while (i < history_.size() && history_[i].time < cutoff)
        ++i;
    if (i < history_.size() && i > 0) history_.erase(history_.begin(), history_.begin() + i);
    attribution_.trimBefore(history_.front().time);

    emit currentChanged();
    emit historyChanged();
    // After the observers have run, so what they let go of this tick is released too.
    releaseMemoryWhenDue(newest);
}

void MetricsEngine::releaseMemoryWhenDue(TimePoint newest) {
    const auto period =
        std::chrono::duration_cast<WallClock::duration>(std::chrono::duration<double>(memoryReleaseSeconds));
    // The first snapshot starts the period; a wall clock set backwards starts it again.
    if (!lastRelease_ || newest < *lastRelease_) {
        lastRelease_ = newest;
        return;
    }
    if (newest - *lastRelease_ < period) return;
    lastRelease_ = newest;
    if (releaseMemory_) releaseMemory_();
}

MetricPointId MetricsEngine::pointId(size_t i) const {
    const TimePoint t = history_[i].time;
    uint32_t repeat = 0;
    // History is in time order, so snapshots sharing a time stamp sit next to each other.
    while (repeat < i && history_[i - repeat - 1].time == t)
        ++repeat;
    return {std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count(), repeat};
}

template <typename Value>
std::vector<MetricPoint> MetricsEngine::decimated(Value value) const {
    std::vector<MetricPoint> out;
    const size_t n = history_.size();
    if (n == 0) return out;
    out.reserve(chartRecentFull + chartOlderBudget + 1);
    auto add = [&](size_t i) {
        const Snapshot& s = history_[i];
        if (std::optional<double> v = value(s)) out.push_back({pointId(i), s.time, *v});
    };
    if (n <= static_cast<size_t>(chartRecentFull + chartOlderBudget)) {
        for (size_t i = 0; i < n; ++i)
            add(i);
        return out;
    }
    const size_t older = n - chartRecentFull;
    const double step = static_cast<double>(older) / chartOlderBudget;
    double pos = 0.0;
    size_t i = 0;
    do {
        add(i);
        pos += step;
        i = static_cast<size_t>(pos);
    } while (i < older);
    for (i = older; i < n; ++i)
        add(i);
    return out;
}

std::vector<MetricPoint> MetricsEngine::series(SnapshotField key) const {
    return decimated([key](const Snapshot& s) -> std::optional<double> { return s.*key; });
}

std::vector<MetricPoint> MetricsEngine::cpuHistory(int32_t pid) const {
    return decimated([pid](const Snapshot& s) -> std::optional<double> {
        for (const ProcInfo& p : s.processes)
            if (p.pid == pid) return p.cpu;
        return std::nullopt;
    });
}

std::vector<MetricPoint> MetricsEngine::recentSeries(SnapshotField key) const {
    std::vector<MetricPoint> out;
    if (history_.empty()) return out;
    const auto cutoff = history_.back().time - std::chrono::duration_cast<WallClock::duration>(
                                                   std::chrono::duration<double>(displayWindowSeconds));
    // The window is the tail of a time-ordered history: find where it starts, then take the rest.
    size_t i = history_.size();
    while (i > 0 && history_[i - 1].time >= cutoff)
        --i;
    out.reserve(history_.size() - i);
    for (; i < history_.size(); ++i)
        out.push_back({pointId(i), history_[i].time, history_[i].*key});
    return out;
}

std::optional<ProcInfo> MetricsEngine::liveProcess(int32_t pid) const {
    for (const ProcInfo& p : current_.processes)
        if (p.pid == pid) return p;
    return std::nullopt;
}

}  // namespace velmora
