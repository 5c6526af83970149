#pragma once

#include "history/history_record.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace velmora::history {

// How long each resolution is kept.
struct Retention {
    Millis fullFor = std::chrono::hours(24);
    Millis minuteFor = std::chrono::hours(24 * 7);
    int minuteProcessesPerMetric = 5;
};

// How a database was found when it was opened.
struct OpenReport {
    enum class State { opened, created, movedAside, failed };
    State state = State::failed;
    // Where a damaged, foreign or newer database was moved, so the user can be told.
    QString asidePath;
    QString error;
};

// The remembered record on disk: an SQLite database (WAL journal) of spans in time order.
// Lives on one thread: create, use and destroy it on the same worker. Records never go
// back in time: one that starts before the last stored end is trimmed to start there, and
// dropped when nothing of it is left, so a clock stepped back never reorders the record.
class HistoryStore {
  public:
    static constexpr int kSchemaVersion = 1;
    // A record is at most this long; longer ones keep their last part.
    static constexpr Millis kMaxSpan = std::chrono::minutes(5);

    // Opens or creates `path` (0600, its folder 0700). A file that is not a readable
    // database of ours, or of a newer schema, is moved aside (never deleted or replaced)
    // and a new one started. Returns null only when no database can be had at all.
    static std::unique_ptr<HistoryStore> open(const QString& path, OpenReport* report = nullptr);
    // Opens an existing database of ours for reading only: nothing is created, moved or
    // written. Null (with the reason in `report`) when there is none to read.
    static std::unique_ptr<HistoryStore> openForReading(const QString& path, OpenReport* report = nullptr);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Appends in one transaction; false when the write failed (nothing of it is kept).
    bool append(const std::vector<Record>& records);
    // Folds full records older than the full-resolution window into minute records and
    // drops what is older than the minute window. One transaction.
    bool prune(Clock::time_point now, const Retention& retention = {});
    // Every record that overlaps [from, to), in time order.
    std::vector<Record> records(Clock::time_point from, Clock::time_point to) const;
    std::optional<Clock::time_point> lastEnd() const { return lastEnd_; }
    QString path() const { return path_; }

    // Deletes the database and its journal files. The store must be closed (destroyed).
    // On failure `error` names the file that stayed and why.
    static bool forget(const QString& path, QString* error = nullptr);

  private:
    HistoryStore(QString path, QString connection);
    // A connection to `path` and what its content was found to be (the file's Verdict).
    static std::unique_ptr<HistoryStore> connect(const QString& path, bool readOnly, int* verdict);
    bool createSchema();
    qint64 nameId(const QString& name, const QString& path);
    bool insert(const Record& r);
    std::vector<Record> query(const QString& where, const QVariantList& args) const;

    QString path_;
    QString connection_;
    std::optional<Clock::time_point> lastEnd_;
    QHash<std::pair<QString, QString>, qint64> nameIds_;  // (name, path) -> id
    mutable QHash<qint64, std::pair<QString, QString>> names_;  // id -> (name, path)
};

// Byte forms of a record's parts, bounds-checked both ways: a damaged blob decodes to
// nothing rather than to garbage.
QByteArray encodeSeries(const std::array<SeriesStat, kSeriesCount>& series);
bool decodeSeries(const QByteArray& bytes, std::array<SeriesStat, kSeriesCount>* out);
struct PackedProcess {
    int32_t pid = 0;
    uint64_t startTime = 0;
    qint64 nameId = 0;
    std::array<float, kMetricCount> values{};
};
QByteArray encodeProcesses(const std::vector<PackedProcess>& processes);
bool decodeProcesses(const QByteArray& bytes, std::vector<PackedProcess>* out);

}  // namespace velmora::history
