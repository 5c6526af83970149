#include "history/history_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtSql/QSqlDatabase>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>
#include <QUuid>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace velmora::history {
namespace {

// Marks the database as ours, so a stranger's file of the same name is set aside, not read.
constexpr qint64 kApplicationId = 0x564c4d52;  // "VLMR"
constexpr qint64 kMinuteMs = 60'000;

qint64 toMs(Clock::time_point t) {
    return std::chrono::duration_cast<Millis>(t.time_since_epoch()).count();
}
Clock::time_point fromMs(qint64 ms) { return Clock::time_point(Millis(ms)); }

void putVarint(QByteArray& out, uint64_t v) {
    while (v >= 0x80) {
        out.append(static_cast<char>((v & 0x7f) | 0x80));
        v >>= 7;
    }
    out.append(static_cast<char>(v));
}

bool getVarint(const QByteArray& in, qsizetype& at, uint64_t* v) {
    uint64_t result = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (at >= in.size()) return false;
        const auto byte = static_cast<uint8_t>(in[at++]);
        result |= static_cast<uint64_t>(byte & 0x7f) << shift;
        if (!(byte & 0x80)) {
            *v = result;
            return true;
        }
    }
    return false;
}

void putFloat(QByteArray& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    char le[4];
    qToLittleEndian(bits, le);
    out.append(le, 4);
}

bool getFloat(const QByteArray& in, qsizetype& at, float* f) {
    if (in.size() - at < 4) return false;
    const uint32_t bits = qFromLittleEndian<uint32_t>(in.constData() + at);
    at += 4;
    std::memcpy(f, &bits, sizeof bits);
    return true;
}

QString asideName(const QString& path, const QString& why) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = QStringLiteral("%1.%2-%3").arg(path, why, stamp);
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = QStringLiteral("%1.%2-%3-%4").arg(path, why, stamp).arg(n);
    return candidate;
}

// Moves the database and the journal files that belong to it; the main file last, so a
// failure leaves it where it was.
bool moveAside(const QString& path, const QString& aside) {
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString from = path + QLatin1String(suffix);
        if (QFileInfo::exists(from) && !QFile::rename(from, aside + QLatin1String(suffix))) return false;
    }
    return QFile::rename(path, aside);
}

enum class Verdict { usable, empty, damaged, newer };

Verdict inspect(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next()) return Verdict::damaged;
    if (q.value(0).toString() != QLatin1String("ok")) return Verdict::damaged;
    q.finish();
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next()) return Verdict::damaged;
    const bool blank = q.value(0).toLongLong() == 0;
    q.finish();
    if (!q.exec(QStringLiteral("PRAGMA application_id")) || !q.next()) return Verdict::damaged;
    const qint64 appId = q.value(0).toLongLong();
    q.finish();
    if (blank && appId == 0) return Verdict::empty;
    if (appId != kApplicationId) return Verdict::damaged;
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) return Verdict::damaged;
    const int version = q.value(0).toInt();
    if (version > HistoryStore::kSchemaVersion) return Verdict::newer;
    return version == HistoryStore::kSchemaVersion ? Verdict::usable : Verdict::damaged;
}

}  // namespace

QByteArray encodeSeries(const std::array<SeriesStat, kSeriesCount>& series) {
    QByteArray out;
    out.reserve(kSeriesCount * 8);
    for (const SeriesStat& s : series) {
        putFloat(out, static_cast<float>(s.peak));
        putFloat(out, static_cast<float>(s.mean));
    }
    return out;
}

bool decodeSeries(const QByteArray& bytes, std::array<SeriesStat, kSeriesCount>* out) {
    // A later version may add series at the end; the ones known here are read.
    if (bytes.size() < kSeriesCount * 8) return false;
    qsizetype at = 0;
    for (SeriesStat& s : *out) {
        float peak = 0, mean = 0;
        getFloat(bytes, at, &peak);
        getFloat(bytes, at, &mean);
        s = {peak, mean};
    }
    return true;
}

QByteArray encodeProcesses(const std::vector<PackedProcess>& processes) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(processes.size()) * 16 + 2);
    putVarint(out, processes.size());
    for (const PackedProcess& p : processes) {
        // Zig-zag keeps a negative pid (never expected) short and representable.
        putVarint(out, (static_cast<uint32_t>(p.pid) << 1) ^ static_cast<uint32_t>(p.pid >> 31));
        putVarint(out, p.startTime);
        putVarint(out, static_cast<uint64_t>(p.nameId));
        uint8_t mask = 0;
        for (int m = 0; m < kMetricCount; ++m)
            if (p.values[m] != 0) mask |= static_cast<uint8_t>(1u << m);
        out.append(static_cast<char>(mask));
        for (int m = 0; m < kMetricCount; ++m)
            if (mask & (1u << m)) putFloat(out, p.values[m]);
    }
    return out;
}

bool decodeProcesses(const QByteArray& bytes, std::vector<PackedProcess>* out) {
    out->clear();
    qsizetype at = 0;
    uint64_t count = 0;
    // Each process takes at least four bytes, which bounds a damaged count.
    if (!getVarint(bytes, at, &count) || count > static_cast<uint64_t>(bytes.size()) / 4) return false;
    out->reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        PackedProcess p;
        uint64_t zz = 0, id = 0;
        if (!getVarint(bytes, at, &zz) || !getVarint(bytes, at, &p.startTime) || !getVarint(bytes, at, &id)) return false;
        if (zz > 0xffffffffu) return false;
        const auto z = static_cast<uint32_t>(zz);
        p.pid = static_cast<int32_t>((z >> 1) ^ (0u - (z & 1)));
        p.nameId = static_cast<qint64>(id);
        if (at >= bytes.size()) return false;
        const auto mask = static_cast<uint8_t>(bytes[at++]);
        for (int m = 0; m < kMetricCount; ++m)
            if ((mask & (1u << m)) && !getFloat(bytes, at, &p.values[m])) return false;
        out->push_back(p);
    }
    return at == bytes.size();
}

// Without Qt's SQLite driver no database can be had at all.
static bool driverMissing(OpenReport& rep) {
    if (QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) return false;
    rep.error = QStringLiteral("the SQLite driver for Qt is not installed");
    return true;
}

std::unique_ptr<HistoryStore> HistoryStore::connect(const QString& path, bool readOnly, int* verdict) {
    const QString connection = QStringLiteral("velmora-history-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::unique_ptr<HistoryStore> store(new HistoryStore(path, connection));
    Verdict v = Verdict::damaged;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (readOnly) db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) v = inspect(db);
    }
    *verdict = static_cast<int>(v);
    return store;
}

std::unique_ptr<HistoryStore> HistoryStore::open(const QString& path, OpenReport* report) {
    OpenReport local;
    OpenReport& rep = report ? *report : local;
    rep = {};
    if (driverMissing(rep)) return nullptr;
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    QFile::setPermissions(info.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool existed = QFileInfo::exists(path);
        if (!existed) {
            // Created before SQLite opens it, so the file and its journals are the user's alone.
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly)) {
                rep.error = f.errorString();
                return nullptr;
            }
            f.close();
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        int found = 0;
        std::unique_ptr<HistoryStore> store = connect(path, false, &found);
        const auto verdict = static_cast<Verdict>(found);
        if (verdict == Verdict::usable || verdict == Verdict::empty) {
            if (verdict == Verdict::empty && !store->createSchema()) {
                rep.error = QSqlDatabase::database(store->connection_, false).lastError().text();
                return nullptr;
            }
            QSqlQuery q(QSqlDatabase::database(store->connection_, false));
            if (q.exec(QStringLiteral("SELECT max(end_ms) FROM records")) && q.next() && !q.value(0).isNull())
                store->lastEnd_ = fromMs(q.value(0).toLongLong());
            if (rep.state != OpenReport::State::movedAside)
                rep.state = existed && verdict == Verdict::usable ? OpenReport::State::opened : OpenReport::State::created;
            return store;
        }
        store.reset();  // closes the connection before the file moves
        const QString aside = asideName(path, verdict == Verdict::newer ? QStringLiteral("newer") : QStringLiteral("unreadable"));
        if (!moveAside(path, aside)) {
            rep.error = QStringLiteral("cannot move %1 aside").arg(path);
            return nullptr;
        }
        rep.state = OpenReport::State::movedAside;
        rep.asidePath = aside;
    }
    return nullptr;
}

std::unique_ptr<HistoryStore> HistoryStore::openForReading(const QString& path, OpenReport* report) {
    OpenReport local;
    OpenReport& rep = report ? *report : local;
    rep = {};
    if (driverMissing(rep)) return nullptr;
    if (!QFileInfo(path).isFile()) {
        rep.error = QStringLiteral("no such file");
        return nullptr;
    }
    int found = 0;
    std::unique_ptr<HistoryStore> store = connect(path, true, &found);
    switch (static_cast<Verdict>(found)) {
        case Verdict::usable:
            rep.state = OpenReport::State::opened;
            return store;
        case Verdict::newer:
            rep.error = QStringLiteral("written by a newer version");
            return nullptr;
        case Verdict::empty:
        case Verdict::damaged:
            rep.error = QStringLiteral("not a readable history database");
            return nullptr;
    }
    return nullptr;
}

HistoryStore::HistoryStore(QString path, QString connection) : path_(std::move(path)), connection_(std::move(connection)) {}

HistoryStore::~HistoryStore() {
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

bool HistoryStore::createSchema() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    const char* statements[] = {
        "PRAGMA journal_mode=WAL",
        "PRAGMA application_id=1447841106",
        // Names and paths as UTF-8 bytes: a process name may hold a NUL or cut characters,
        // which text columns would not give back as they were bound.
        "CREATE TABLE names(id INTEGER PRIMARY KEY, name BLOB NOT NULL, path BLOB NOT NULL, UNIQUE(name, path))",
        // start_ms is the row id: records are kept and read in time order at no cost.
        ("CREATE TABLE records(start_ms INTEGER PRIMARY KEY, end_ms INTEGER NOT NULL, resolution INTEGER NOT NULL,"
         " processes_known INTEGER NOT NULL, series BLOB NOT NULL, processes BLOB NOT NULL)"),
        "PRAGMA user_version=1",
    };
    static_assert(kApplicationId == 1447841106);
    static_assert(kSchemaVersion == 1);
    for (const char* s : statements)
        if (!q.exec(QString::fromLatin1(s))) return false;
    return true;
}

qint64 HistoryStore::nameId(const QString& name, const QString& path) {
    const std::pair<QString, QString> key{name, path};
    if (auto it = nameIds_.constFind(key); it != nameIds_.constEnd()) return *it;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    // Never empty: Qt binds an empty byte array as NULL, which NOT NULL refuses.
    const QByteArray nameBytes = name.toUtf8().prepend('n');
    const QByteArray pathBytes = path.toUtf8().prepend('p');
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO names(name, path) VALUES(?, ?)"));
    q.addBindValue(nameBytes);
    q.addBindValue(pathBytes);
    if (!q.exec()) return -1;
    q.prepare(QStringLiteral("SELECT id FROM names WHERE name = ? AND path = ?"));
    q.addBindValue(nameBytes);
    q.addBindValue(pathBytes);
    if (!q.exec() || !q.next()) return -1;
    const qint64 id = q.value(0).toLongLong();
    nameIds_.insert(key, id);
    names_.insert(id, {name, path});
    return id;
}

bool HistoryStore::insert(const Record& r) {
    std::vector<PackedProcess> packed;
    packed.reserve(r.processes.size());
    for (const ProcessEntry& p : r.processes) {
        const qint64 id = nameId(p.name, p.path);
        if (id < 0) return false;
        packed.push_back({p.pid, p.startTime, id, p.values});
    }
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("INSERT INTO records(start_ms, end_ms, resolution, processes_known, series, processes)"
                             " VALUES(?, ?, ?, ?, ?, ?)"));
    q.addBindValue(toMs(r.start));
    q.addBindValue(toMs(r.end));
    q.addBindValue(static_cast<int>(r.resolution));
    q.addBindValue(r.processesKnown ? 1 : 0);
    q.addBindValue(encodeSeries(r.series));
    q.addBindValue(encodeProcesses(packed));
    return q.exec();
}

bool HistoryStore::append(const std::vector<Record>& records) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) return false;
    auto last = lastEnd_;
    const auto idsBefore = nameIds_;
    const auto namesBefore = names_;
    const auto undo = [&] {
        db.rollback();
        nameIds_ = idsBefore;
        names_ = namesBefore;
        return false;
    };
    for (Record r : records) {
        // Whole milliseconds, as stored, so the ordering rule holds for what is read back.
        r.start = fromMs(toMs(r.start));
        r.end = fromMs(toMs(r.end));
        if (last && r.start < *last) r.start = *last;
        if (r.end - r.start > kMaxSpan) r.start = r.end - kMaxSpan;
        if (r.end <= r.start) continue;
        if (!insert(r)) return undo();
        last = r.end;
    }
    if (!db.commit()) return undo();
    lastEnd_ = last;
    return true;
}

std::vector<Record> HistoryStore::query(const QString& where, const QVariantList& args) const {
    std::vector<Record> out;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT start_ms, end_ms, resolution, processes_known, series, processes FROM records WHERE ") + where +
              QStringLiteral(" ORDER BY start_ms"));
    for (const QVariant& a : args) q.addBindValue(a);
    if (!q.exec()) return out;
    std::vector<PackedProcess> packed;
    while (q.next()) {
        Record r;
        r.start = fromMs(q.value(0).toLongLong());
        r.end = fromMs(q.value(1).toLongLong());
        r.resolution = q.value(2).toInt() == 1 ? Resolution::minute : Resolution::full;
        r.processesKnown = q.value(3).toInt() != 0;
        // A damaged part reads as empty; the span stays, so it is not mistaken for a gap.
        if (!decodeSeries(q.value(4).toByteArray(), &r.series)) r.series = {};
        if (!decodeProcesses(q.value(5).toByteArray(), &packed)) {
            r.processesKnown = false;
        } else {
            r.processes.reserve(packed.size());
            for (const PackedProcess& p : packed) {
                auto it = names_.constFind(p.nameId);
                if (it == names_.constEnd()) {
                    QSqlQuery n(db);
                    n.prepare(QStringLiteral("SELECT name, path FROM names WHERE id = ?"));
                    n.addBindValue(p.nameId);
                    std::pair<QString, QString> np;
                    if (n.exec() && n.next())
                        np = {QString::fromUtf8(n.value(0).toByteArray().mid(1)), QString::fromUtf8(n.value(1).toByteArray().mid(1))};
                    it = names_.insert(p.nameId, np);
                }
                r.processes.push_back({p.pid, p.startTime, it->first, it->second, p.values});
            }
        }
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<Record> HistoryStore::records(Clock::time_point from, Clock::time_point to) const {
    // No record is longer than kMaxSpan (a folded minute: a minute more), so one that
    // overlaps `from` starts after that much before it.
    auto out = query(QStringLiteral("start_ms >= ? AND start_ms < ?"),
                     {toMs(from) - kMaxSpan.count() - kMinuteMs, toMs(to)});
    std::erase_if(out, [&](const Record& r) { return r.end <= from; });
    return out;
}

bool HistoryStore::prune(Clock::time_point now, const Retention& retention) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const qint64 dropCut = toMs(now) - retention.minuteFor.count();
    // Only whole minutes are folded, each once: a minute whose last records are still young
    // waits, so no minute ever has two folded records.
    const qint64 foldCut = (toMs(now) - retention.fullFor.count()) / kMinuteMs * kMinuteMs;
    if (!db.transaction()) return false;
    QSqlQuery q(db);
    const auto idsBefore = nameIds_;
    const auto namesBefore = names_;
    const auto fail = [&] {
        db.rollback();
        nameIds_ = idsBefore;
        names_ = namesBefore;
        return false;
    };
    q.prepare(QStringLiteral("DELETE FROM records WHERE end_ms <= ?"));
    q.addBindValue(dropCut);
    if (!q.exec()) return fail();
    auto old = query(QStringLiteral("resolution = 0 AND start_ms < ?"), {foldCut});
    size_t i = 0;
    while (i < old.size()) {
        const qint64 minute = toMs(old[i].start) / kMinuteMs;
        std::vector<Record> group;
        while (i < old.size() && toMs(old[i].start) / kMinuteMs == minute) group.push_back(std::move(old[i++]));
        q.prepare(QStringLiteral("DELETE FROM records WHERE resolution = 0 AND start_ms >= ? AND start_ms <= ?"));
        q.addBindValue(toMs(group.front().start));
        q.addBindValue(toMs(group.back().start));
        if (!q.exec()) return fail();
        if (!insert(fold(group, Resolution::minute, retention.minuteProcessesPerMetric))) return fail();
    }
    return db.commit() || fail();
}

bool HistoryStore::forget(const QString& path, QString* error) {
    bool ok = true;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        QFile f(path + QLatin1String(suffix));
        if (!f.exists() || f.remove()) continue;
        if (ok && error) *error = QStringLiteral("%1: %2").arg(f.fileName(), f.errorString());
        ok = false;
    }
    return ok;
}

}  // namespace velmora::history
