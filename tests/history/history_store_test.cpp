#include "history/history_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>

namespace velmora::history {
namespace {

using namespace std::chrono_literals;

const Clock::time_point kT0 = Clock::time_point(std::chrono::hours(24 * 20000));

ProcessEntry proc(int32_t pid, uint64_t start, const char* name, std::array<float, kMetricCount> values) {
    return {pid, start, QString::fromUtf8(name), QStringLiteral("/usr/bin/") + QString::fromUtf8(name), values};
}

Record record(Clock::time_point start, Millis length, float cpuPeak, std::vector<ProcessEntry> procs = {}) {
    Record r;
    r.start = start;
    r.end = start + length;
    r.stat(Series::cpuPercent) = {cpuPeak, cpuPeak / 2};
    r.stat(Series::netInBps) = {1.5e6, 2.5e5};
    r.processes = std::move(procs);
    return r;
}

struct Dir {
    QTemporaryDir tmp;
    QString db() const { return tmp.path() + QStringLiteral("/state/velmora/history.sqlite"); }
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(HistoryStore, WritesAndReadsBackAcrossAReopen) {
    Dir d;
    const Record a = record(kT0, 10s, 80, {proc(42, 1000, "build", {90, 1e8f, 0, 0, 0}), proc(7, 5, "odd\nname", {0, 0, 4e6f, 0, 0})});
    Record b = record(kT0 + 10s, 10s, 20);
    b.processesKnown = false;
    {
        OpenReport rep;
        auto store = HistoryStore::open(d.db(), &rep);
        ASSERT_TRUE(store) << rep.error.toStdString();
        EXPECT_EQ(rep.state, OpenReport::State::created);
        ASSERT_TRUE(store->append({a, b}));
    }
    OpenReport rep;
    auto store = HistoryStore::open(d.db(), &rep);
    ASSERT_TRUE(store);
    EXPECT_EQ(rep.state, OpenReport::State::opened);
    EXPECT_EQ(store->lastEnd(), kT0 + 20s);
    const auto back = store->records(kT0 - 1h, kT0 + 1h);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], a);
    EXPECT_EQ(back[1], b);
}

TEST(HistoryStore, OddNamesAndPathsAreKept) {
    Dir d;
    auto store = HistoryStore::open(d.db());
    ASSERT_TRUE(store);
    const QString odd[] = {
        QString(QChar(0)) + QStringLiteral("nul"),
        QStringLiteral("lone ") + QChar(0xD800) + QStringLiteral(" surrogate"),
        QStringLiteral("new\nline \u2028 'quote\" %s {0}"),
        QString(),
        QString(300, QChar(u'x')),
    };
    std::vector<ProcessEntry> procs;
    int32_t pid = 10;
    for (const QString& name : odd) procs.push_back({pid++, 1, name, name + QStringLiteral("/path"), {1, 0, 0, 0, 0}});
    ASSERT_TRUE(store->append({record(kT0, 10s, 1, procs)}));
    auto again = HistoryStore::open(d.db());
    store.reset();
    const auto back = again->records(kT0 - 1h, kT0 + 1h);
    ASSERT_EQ(back.size(), 1u);
    ASSERT_EQ(back[0].processes.size(), procs.size());
    for (size_t i = 0; i < procs.size(); ++i) {
        // What cannot be written as UTF-8 reads back as the replacement character.
        EXPECT_EQ(back[0].processes[i].name, QString::fromUtf8(procs[i].name.toUtf8())) << i;
        EXPECT_EQ(back[0].processes[i].path, QString::fromUtf8(procs[i].path.toUtf8())) << i;
    }
}

TEST(HistoryStore, ReadsOnlyRecordsThatOverlapTheRange) {
    Dir d;
    auto store = HistoryStore::open(d.db());
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->append({record(kT0, 10s, 1), record(kT0 + 10s, 10s, 2), record(kT0 + 20s, 10s, 3)}));
    struct Case {
        Millis from, to;
        std::vector<float> peaks;
    };
    const Case cases[] = {
        {10s, 20s, {2}},         // exactly one record
        {9999ms, 20s, {1, 2}},   // 1 ms into the first
        {10s, 20001ms, {2, 3}},  // 1 ms into the third
        {30s, 40s, {}},          // ends are exclusive
        {-10s, 0s, {}},
    };
    for (const Case& c : cases) {
        std::vector<float> peaks;
        for (const Record& r : store->records(kT0 + c.from, kT0 + c.to)) peaks.push_back(static_cast<float>(r.stat(Series::cpuPercent).peak));
        EXPECT_EQ(peaks, c.peaks) << c.from.count() << ".." << c.to.count();
    }
}

// Clock steps never reorder the record nor give a span that ends before it starts.
TEST(HistoryStore, RecordsNeverGoBackInTime) {
    struct Case {
        const char* what;
        Millis start, length;
        bool kept;
        Millis storedStart;
    };
    const Case cases[] = {
        {"starts at the last end", 10s, 10s, true, 10s},
        {"starts 1 ms before the last end", 9999ms, 10s, true, 10s},
        {"ends at the last end", 0s, 10s, false, 0s},
        {"ends 1 ms after the last end", 1ms, 10s, true, 10s},
        {"wholly before (clock stepped back)", -1h, 10s, false, 0s},
        {"one span long", 10s, HistoryStore::kMaxSpan, true, 10s},
        {"longer than a span keeps its end", 10s, HistoryStore::kMaxSpan + 1s, true, 11s},
    };
    for (const Case& c : cases) {
        Dir d;
        auto store = HistoryStore::open(d.db());
        ASSERT_TRUE(store);
        ASSERT_TRUE(store->append({record(kT0, 10s, 1)}));
        ASSERT_TRUE(store->append({record(kT0 + c.start, c.length, 2)})) << c.what;
        const auto back = store->records(kT0 - 2h, kT0 + 2h);
        ASSERT_EQ(back.size(), c.kept ? 2u : 1u) << c.what;
        if (c.kept) {
            EXPECT_EQ(back[1].start, kT0 + c.storedStart) << c.what;
            EXPECT_EQ(back[1].end, kT0 + c.start + c.length) << c.what;
        }
        for (size_t i = 1; i < back.size(); ++i) EXPECT_LE(back[i - 1].end, back[i].start) << c.what;
    }
}

TEST(HistoryStore, FoldsWholeMinutesAfterADayAndDropsAfterAWeek) {
    Dir d;
    auto store = HistoryStore::open(d.db());
    ASSERT_TRUE(store);
    const Clock::time_point now = kT0 + 24h + 90s;  // the fold cut is kT0 + 90 s: minute 0 is whole, minute 1 is not
    std::vector<Record> recs;
    for (int i = 0; i < 12; ++i) {
        std::vector<ProcessEntry> ps;
        for (int p = 0; p < 8; ++p) ps.push_back(proc(100 + p, 1, "w", {static_cast<float>(p + i), 0, 0, 0, 0}));
        recs.push_back(record(kT0 + i * 10s, 10s, static_cast<float>(i), ps));
    }
    ASSERT_TRUE(store->append(recs));
    ASSERT_TRUE(store->prune(now));
    auto back = store->records(kT0 - 1h, kT0 + 1h);
    ASSERT_EQ(back.size(), 7u);  // one folded minute, then the six records of the unfinished one
    const Record& folded = back[0];
    EXPECT_EQ(folded.resolution, Resolution::minute);
    EXPECT_EQ(folded.start, kT0);
    EXPECT_EQ(folded.end, kT0 + 60s);
    EXPECT_FLOAT_EQ(folded.stat(Series::cpuPercent).peak, 5);
    EXPECT_FLOAT_EQ(folded.stat(Series::cpuPercent).mean, (0 + 1 + 2 + 3 + 4 + 5) / 6.0 / 2);
    ASSERT_EQ(folded.processes.size(), 5u);  // the top five
    EXPECT_EQ(folded.processes.front().pid, 107);
    EXPECT_FLOAT_EQ(folded.processes.front().value(Metric::cpu), 12);
    for (size_t i = 1; i < back.size(); ++i) EXPECT_EQ(back[i].resolution, Resolution::full);

    // Pruning again folds nothing twice.
    ASSERT_TRUE(store->prune(now));
    EXPECT_EQ(store->records(kT0 - 1h, kT0 + 1h).size(), 7u);

    // A week after: a record that ended at the cut goes, one that ends 1 ms later stays.
    Dir d2;
    auto s2 = HistoryStore::open(d2.db());
    ASSERT_TRUE(s2);
    ASSERT_TRUE(s2->append({record(kT0, 10s, 1), record(kT0 + 10s, 10s, 2), record(kT0 + 20s, 10s, 3)}));
    const Retention keep;
    ASSERT_TRUE(s2->prune(kT0 + 20s + keep.minuteFor, keep));
    std::vector<float> peaks;
    for (const Record& r : s2->records(kT0 - 1h, kT0 + 1h)) peaks.push_back(static_cast<float>(r.stat(Series::cpuPercent).peak));
    EXPECT_EQ(peaks, (std::vector<float>{3}));
}

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TEST(HistoryStore, KeepsItsFilesPrivate) {
    Dir d;
    auto store = HistoryStore::open(d.db());
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->append({record(kT0, 10s, 1)}));
    EXPECT_EQ(modeOf(d.db()), 0600);
    EXPECT_EQ(modeOf(d.db() + QStringLiteral("-wal")), 0600);
    EXPECT_EQ(modeOf(QFileInfo(d.db()).absolutePath()), 0700);
}

void writeForeignDatabase(const QString& path, const char* pragma) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE t(x)")));
        ASSERT_TRUE(q.exec(QString::fromLatin1(pragma)));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
}

TEST(HistoryStore, SetsAsideWhatItCannotReadAndNeverReplacesAnEarlierCopy) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
        const char* asideKind;
    };
    const Case cases[] = {
        {"not a database", [](const QString& p) {
             QDir().mkpath(QFileInfo(p).absolutePath());
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(QByteArray("this is not SQLite\n").repeated(300));
         }, "unreadable"},
        {"another program's database", [](const QString& p) { writeForeignDatabase(p, "PRAGMA application_id=7"); }, "unreadable"},
        {"a newer schema", [](const QString& p) {
             writeForeignDatabase(p, "PRAGMA application_id=1447841106");
             QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
             db.setDatabaseName(p);
             ASSERT_TRUE(db.open());
             QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version=2"));
             db.close();
             db = QSqlDatabase();
             QSqlDatabase::removeDatabase(QStringLiteral("newer"));
         }, "newer"},
    };
    for (const Case& c : cases) {
        Dir d;
        std::vector<QString> asides;
        for (int round = 0; round < 2; ++round) {
            if (round == 1) QFile::remove(d.db());
            c.make(d.db());
            const QByteArray original = readAll(d.db());
            ASSERT_FALSE(original.isEmpty()) << c.what;
            OpenReport rep;
            auto store = HistoryStore::open(d.db(), &rep);
            ASSERT_TRUE(store) << c.what;
            EXPECT_EQ(rep.state, OpenReport::State::movedAside) << c.what;
            EXPECT_TRUE(QFileInfo(rep.asidePath).fileName().startsWith(QStringLiteral("history.sqlite.") + QLatin1String(c.asideKind)))
                << c.what << " " << rep.asidePath.toStdString();
            EXPECT_EQ(readAll(rep.asidePath), original) << c.what;
            EXPECT_TRUE(store->append({record(kT0, 10s, 1)})) << c.what;
            asides.push_back(rep.asidePath);
        }
        EXPECT_NE(asides[0], asides[1]) << c.what;
        EXPECT_TRUE(QFileInfo::exists(asides[0]) && QFileInfo::exists(asides[1])) << c.what;
    }
}

TEST(HistoryStore, ForgetRemovesTheDatabaseAndItsJournals) {
    Dir d;
    {
        auto store = HistoryStore::open(d.db());
        ASSERT_TRUE(store);
        ASSERT_TRUE(store->append({record(kT0, 10s, 1)}));
        ASSERT_TRUE(QFileInfo::exists(d.db() + QStringLiteral("-wal")));
    }
    // A journal left by a crash goes as well.
    QFile shm(d.db() + QStringLiteral("-shm"));
    ASSERT_TRUE(shm.open(QIODevice::WriteOnly));
    shm.close();
    QString error;
    EXPECT_TRUE(HistoryStore::forget(d.db(), &error));
    EXPECT_TRUE(error.isEmpty());
    const QDir folder = QFileInfo(d.db()).absoluteDir();
    EXPECT_TRUE(folder.entryList(QDir::Files | QDir::Hidden).isEmpty()) << folder.entryList().join(u' ').toStdString();

    // What cannot be removed is named, and not reported as forgotten.
    ASSERT_TRUE(QDir().mkpath(d.db() + QStringLiteral("-journal/inside")));
    EXPECT_FALSE(HistoryStore::forget(d.db(), &error));
    EXPECT_TRUE(error.startsWith(d.db() + QStringLiteral("-journal: "))) << error.toStdString();
}

constexpr char kChildEnv[] = "VELMORA_HISTORY_KILLED_WRITER";

// Run in a child copy of this binary: commits one minute, then dies mid-transaction. Only
// that copy has it, so the test list shows no test that never runs.
class KilledWriter : public ::testing::Test {
  public:
    void TestBody() override {
        auto store = HistoryStore::open(qEnvironmentVariable(kChildEnv));
        if (!store || !store->append({record(kT0, 60s, 50)})) std::_Exit(3);
        QSqlDatabase db = QSqlDatabase::database(QSqlDatabase::connectionNames().constFirst(), false);
        db.transaction();
        QSqlQuery q(db);
        for (int i = 0; i < 200; ++i) {
            q.prepare(QStringLiteral("INSERT INTO records(start_ms, end_ms, resolution, processes_known, series, processes)"
                                     " VALUES(?, ?, 0, 1, x'00', x'00')"));
            q.addBindValue(qint64(9'000'000'000'000LL + i));
            q.addBindValue(qint64(9'000'000'000'001LL + i));
            q.exec();
        }
        std::raise(SIGKILL);
    }
};

[[maybe_unused]] const bool kChildRegistered = [] {
    if (qEnvironmentVariableIsEmpty(kChildEnv)) return false;
    ::testing::RegisterTest("HistoryStoreChild", "WriterKilledMidTransaction", nullptr, nullptr, __FILE__, __LINE__,
                            []() -> ::testing::Test* { return new KilledWriter; });
    return true;
}();

TEST(HistoryStore, KilledWriterLosesAtMostItsLastMinute) {
    Dir d;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildEnv), d.db());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=HistoryStoreChild.*")});
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAllStandardError().toStdString();
    OpenReport rep;
    auto store = HistoryStore::open(d.db(), &rep);
    ASSERT_TRUE(store);
    EXPECT_EQ(rep.state, OpenReport::State::opened);
    const auto back = store->records(kT0 - 1h, Clock::time_point(Millis(9'100'000'000'000LL)));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_FLOAT_EQ(back[0].stat(Series::cpuPercent).peak, 50);
    EXPECT_EQ(store->lastEnd(), kT0 + 60s);
}

TEST(HistoryCodec, DamagedProcessBlobsDecodeToNothing) {
    const QByteArray good = encodeProcesses({{12, 34, 5, {1, 0, 2, 0, 0}}, {-3, 0, 1, {0, 0, 0, 0, 9}}});
    std::vector<PackedProcess> out;
    ASSERT_TRUE(decodeProcesses(good, &out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].pid, 12);
    EXPECT_EQ(out[0].startTime, 34u);
    EXPECT_EQ(out[0].nameId, 5);
    EXPECT_EQ(out[0].values, (std::array<float, kMetricCount>{1, 0, 2, 0, 0}));
    EXPECT_EQ(out[1].pid, -3);
    EXPECT_EQ(out[1].values[4], 9);
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const Case bad[] = {
        {"empty", {}},
        {"cut short", good.left(good.size() - 1)},
        {"trailing bytes", good + QByteArray(1, '\0')},
        {"a count larger than the bytes allow", QByteArray("\xff\xff\x7f", 3)},
        {"an endless varint", QByteArray(12, '\xff')},
    };
    for (const Case& c : bad) EXPECT_FALSE(decodeProcesses(c.bytes, &out)) << c.what;
    std::array<SeriesStat, kSeriesCount> series{};
    EXPECT_FALSE(decodeSeries(QByteArray(kSeriesCount * 8 - 1, '\0'), &series));
    EXPECT_TRUE(decodeSeries(QByteArray(kSeriesCount * 8, '\0'), &series));
}

}  // namespace
}  // namespace velmora::history
