#include "history/history_recorder.h"

#include "platform/process_facts.h"

#include <QPointer>

namespace velmora::history {
namespace {
// The path cache is dropped whole past this size; paths are asked again as records need them.
constexpr size_t kPathCacheLimit = 4096;
}  // namespace

HistoryRecorder::PathOf HistoryRecorder::systemPathOf() {
    return [](int32_t pid) {
        const auto facts = platform::systemProcessFacts().facts(pid);
        return facts ? QString::fromStdString(facts->path) : QString();
    };
}

HistoryRecorder::HistoryRecorder(const MetricsFeed& feed, Options options, PathOf pathOf, MonoNow monoNow, QObject* parent)
    : QObject(parent),
      feed_(feed),
      options_(std::move(options)),
      pathOf_(std::move(pathOf)),
      monoNow_(std::move(monoNow)),
      builder_(options_.cadence.count() > 0 ? options_.cadence : std::chrono::seconds(10), options_.perMetric),
      inbox_(new ThreadInbox(this)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.history"), QThread::LowPriority) {
    connect(&feed_, &MetricsFeed::currentChanged, this, &HistoryRecorder::onSnapshot);
    writeTimer_.setInterval(static_cast<int>(options_.writeEvery.count()));
    connect(&writeTimer_, &QTimer::timeout, this, &HistoryRecorder::writePending);
    if (options_.cadence.count() > 0) writeTimer_.start();
}

HistoryRecorder::~HistoryRecorder() {
    if (auto last = builder_.flush()) pending_.push_back(std::move(*last));
    writePending();
    // The store closes on the worker that opened it.
    worker_.run([this] { store_.reset(); });
}

void HistoryRecorder::onSnapshot() {
    if (options_.cadence.count() <= 0) return;
    if (auto done = builder_.add(feed_.current(), monoNow_())) pending_.push_back(std::move(*done));
}

void HistoryRecorder::noteNetwork(const std::vector<ProcNet>& procs) {
    if (options_.cadence.count() <= 0) return;
    builder_.noteNetwork(procs, feed_.current());
}

void HistoryRecorder::setCadence(Millis cadence) {
    if (cadence == options_.cadence) return;
    // A record already begun keeps the cadence it began with until it ends here.
    if (auto last = builder_.flush()) pending_.push_back(std::move(*last));
    options_.cadence = cadence;
    builder_ = RecordBuilder(cadence.count() > 0 ? cadence : std::chrono::seconds(10), options_.perMetric);
    writePending();
    if (cadence.count() > 0)
        writeTimer_.start();
    else
        writeTimer_.stop();
}

void HistoryRecorder::writePending() {
    if (pending_.empty()) return;
    worker_.post([this, batch = std::move(pending_)]() mutable { write(std::move(batch)); });
    pending_.clear();
}

HistoryStore* HistoryRecorder::store() {
    if (store_ || storeFailed_) return store_.get();
    OpenReport report;
    store_ = HistoryStore::open(options_.path, &report);
    storeFailed_ = !store_;
    if (report.state == OpenReport::State::movedAside || !store_) {
        QPointer<HistoryRecorder> self(this);
        inbox_->post([self, aside = report.asidePath, error = report.error] {
            if (self) emit self->storeProblem(aside, error);
        });
    }
    return store_.get();
}

void HistoryRecorder::write(std::vector<Record> records) {
    HistoryStore* s = store();
    if (!s || records.empty()) return;
    if (paths_.size() > kPathCacheLimit) paths_.clear();
    for (Record& r : records) {
        for (ProcessEntry& p : r.processes) {
            auto [it, fresh] = paths_.try_emplace({p.pid, p.startTime});
            if (fresh && pathOf_) it->second = pathOf_(p.pid);
            p.path = it->second;
        }
    }
    const auto newest = records.back().end;
    s->append(records);
    if (!lastPrune_ || newest - *lastPrune_ >= options_.pruneEvery || newest < *lastPrune_) {
        s->prune(newest, options_.retention);
        lastPrune_ = newest;
    }
}

void HistoryRecorder::read(Clock::time_point from, Clock::time_point to, std::function<void(std::vector<Record>)> done) {
    writePending();
    QPointer<HistoryRecorder> self(this);
    worker_.post([this, self, from, to, done = std::move(done)] {
        HistoryStore* s = store();
        auto records = s ? s->records(from, to) : std::vector<Record>{};
        inbox_->post([self, done, records = std::move(records)]() mutable {
            if (self) done(std::move(records));
        });
    });
}

void HistoryRecorder::forget(std::function<void(bool, const QString&)> done) {
    // What was pending is part of what the user asked to forget.
    pending_.clear();
    builder_.flush();
    QPointer<HistoryRecorder> self(this);
    worker_.post([this, self, done = std::move(done)] {
        store_.reset();
        storeFailed_ = false;
        paths_.clear();
        lastPrune_.reset();
        QString error;
        const bool ok = HistoryStore::forget(options_.path, &error);
        inbox_->post([self, done, ok, error] {
            if (self) done(ok, error);
        });
    });
}

void HistoryRecorder::settle() {
    worker_.run([] {});
}

}  // namespace velmora::history
