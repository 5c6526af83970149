#pragma once

#include "core/serial_worker.h"
#include "engine/metrics_feed.h"
#include "history/history_store.h"
#include "history/record_builder.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace velmora::history {

// Keeps the remembered record: turns the feed's snapshots into records on the GUI thread
// and writes them on its own worker, one transaction a minute. The database is opened,
// written, pruned and read on the worker only; answers come back on the GUI thread, and not
// at all once the recorder is gone.
class HistoryRecorder : public QObject {
    Q_OBJECT
  public:
    // The executable of a process, asked on the worker for each process a record keeps.
    using PathOf = std::function<QString(int32_t pid)>;
    using MonoNow = std::function<RecordBuilder::Mono()>;

    struct Options {
        QString path;
        Millis cadence = std::chrono::seconds(10);  // 0: remember nothing
        Millis writeEvery = std::chrono::minutes(1);
        Millis pruneEvery = std::chrono::hours(1);
        int perMetric = 10;
        Retention retention;
    };

    HistoryRecorder(const MetricsFeed& feed, Options options, PathOf pathOf = systemPathOf(),
                    MonoNow monoNow = [] { return std::chrono::steady_clock::now(); }, QObject* parent = nullptr);
    // Writes what is still pending before the worker stops.
    ~HistoryRecorder() override;

    // Changes how often records are made; 0 ends the open record and records nothing more.
    void setCadence(Millis cadence);
    Millis cadence() const { return options_.cadence; }
    // Hands the finished records to the worker now (the minute timer does it otherwise).
    void writePending();
    // Reads [from, to) on the worker, pending records written first.
    void read(Clock::time_point from, Clock::time_point to, std::function<void(std::vector<Record>)> done);
    // A per-process network measurement, taken into the record being built (a window that
    // measures network use hands it over; nothing measures it in the background).
    void noteNetwork(const std::vector<ProcNet>& procs);
    // Deletes the database and its journals; the record starts afresh.
    void forget(std::function<void(bool ok, const QString& error)> done);
    // Waits until the worker has done everything handed to it so far (tests, quitting).
    void settle();

    static PathOf systemPathOf();

  signals:
    // The database could not be read and was moved aside to `asidePath`; or none could be had.
    void storeProblem(const QString& asidePath, const QString& error);

  private:
    void onSnapshot();
    // Worker only.
    HistoryStore* store();
    void write(std::vector<Record> records);

    const MetricsFeed& feed_;
    Options options_;
    PathOf pathOf_;
    MonoNow monoNow_;
    RecordBuilder builder_;
    std::vector<Record> pending_;
    QTimer writeTimer_;
    // Worker only.
    std::unique_ptr<HistoryStore> store_;
    bool storeFailed_ = false;
    std::optional<Clock::time_point> lastPrune_;
    std::map<std::pair<int32_t, uint64_t>, QString> paths_;  // (pid, start) -> executable
    ThreadInbox* inbox_;
    // Declared last so it stops first.
    SerialWorker worker_;
};

}  // namespace velmora::history
