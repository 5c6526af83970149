#include "core/settings.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <unistd.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The instant that names a store moved aside in these tests.
const QDateTime kNow = QDateTime(QDate(2026, 12, 7), QTime(2, 26, 47), Qt::UTC);
constexpr auto kAsideName = "settings.json.unreadable-20261207T022647Z";

class SettingsStore : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("velmora/settings.json"); }
    QString aside(const QString& suffix = {}) const {
        return dir.filePath(QStringLiteral("velmora/") + kAsideName + suffix);
    }
    void store(const QByteArray& json) {
        test::writeFile(dir, "velmora/settings.json", json);
        // Qt keeps the settings files it has read and reads one again only when its size or
        // time changed: a rewrite of the same size within the same millisecond would go unseen.
        QFile f(path());
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(++rewrites_), QFileDevice::FileModificationTime);
    }
    int rewrites_ = 0;
    QByteArray stored() const { return readFile(path()); }
    QJsonObject storedObject() const { return QJsonDocument::fromJson(stored()).object(); }
    QStringList folder() const {
        return QDir(dir.filePath("velmora"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    static AppSettings::Options options(std::chrono::milliseconds delay = 300ms) {
        AppSettings::Options o;
        o.writeDelay = delay;
        o.clock = [] { return kNow; };
        return o;
    }
};

}  // namespace

TEST_F(SettingsStore, FreshUserGetsDefaults) {
    AppSettings s(path());
    EXPECT_FALSE(s.alertsEnabled());
    EXPECT_EQ(s.cpuThreshold(), 90.0);
    EXPECT_EQ(s.menuBarMetric(), MenuBarMetric::cpu);
    EXPECT_EQ(s.language(), "auto");
    EXPECT_FALSE(s.aggressiveServiceStop());
    EXPECT_TRUE(s.cumulativeRank());
    EXPECT_TRUE(s.collectProcessGPU());
    EXPECT_EQ(s.refreshInterval(), 2.0);
    EXPECT_TRUE(s.showSystemProcesses());
    EXPECT_FALSE(QFile::exists(path())) << "loading alone creates no file";
}

TEST_F(SettingsStore, WrongTypesFallBackWithoutRewritingTheFile) {
    const QByteArray garbage =
        R"({"alertsEnabled": "true", "cpuAlertThreshold": "80", "menuBarMetric": "disk",
        "uiLanguage": 12, "procRankCumulative": 0, "collectProcessGPU": null, "refreshInterval": 3,
        "showSystemProcesses": [true], "extra": {"kept": 1}})";
    store(garbage);
    {
        AppSettings s(path());
        EXPECT_FALSE(s.alertsEnabled()) << "text is not a boolean";
        EXPECT_EQ(s.cpuThreshold(), 90.0);
        EXPECT_EQ(s.menuBarMetric(), MenuBarMetric::cpu);
        EXPECT_EQ(s.language(), "auto");
        EXPECT_TRUE(s.cumulativeRank()) << "a number is not a boolean";
        EXPECT_TRUE(s.collectProcessGPU());
        EXPECT_EQ(s.refreshInterval(), 2.0) << "3 s is not an allowed interval";
        EXPECT_TRUE(s.showSystemProcesses());
    }
    EXPECT_EQ(stored(), garbage);
}

// Each store the program cannot use loads the defaults and stays as it is until a setting
// changes; then it is moved aside byte for byte and a new store holds the change alone.
TEST_F(SettingsStore, UnusableStoreIsMovedAsideIntactBeforeTheFirstWrite) {
    const struct {
        const char* name;
        QByteArray content;
    } cases[] = {
        {"missing brace", R"({"alertsEnabled": true, "cpuAlertThreshold": 70, "uiLanguage": "ko")"},
        {"empty", ""},
        {"top-level array", R"([{"alertsEnabled": true}])"},
        {"huge number alone", "1e400"},
        {"huge number inside", R"({"alertsEnabled": true, "cpuAlertThreshold": 1e400})"},
        {"NaN alone", "NaN"},
        {"NaN inside", R"({"alertsEnabled": true, "refreshInterval": NaN})"},
        {"text, not JSON", "alertsEnabled=true\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.filePath("velmora")).removeRecursively();
        store(c.content);
        {
            AppSettings s(path(), options());
            EXPECT_TRUE(s.storeUnreadable());
            EXPECT_FALSE(s.alertsEnabled()) << "the defaults are in use";
            EXPECT_EQ(s.cpuThreshold(), 90.0);
            EXPECT_EQ(s.language(), "auto");
            EXPECT_EQ(stored(), c.content) << "loading writes nothing";

            QSignalSpy status(&s, &AppSettings::storeStatusChanged);
            s.setMenuBarMetric(MenuBarMetric::memory);
            EXPECT_EQ(stored(), c.content) << "not before the write";
            EXPECT_TRUE(s.flush());
            EXPECT_FALSE(s.storeUnreadable());
            EXPECT_EQ(s.setAsidePath(), aside());
            EXPECT_TRUE(s.setAsideNoticePending());
            EXPECT_FALSE(s.storeWriteFailed());
            EXPECT_GE(status.count(), 1);
        }
        EXPECT_EQ(readFile(aside()), c.content) << "kept byte for byte";
        EXPECT_EQ(storedObject(), QJsonObject({{"menuBarMetric", "memory"}})) << stored().constData();
        EXPECT_EQ(folder().filter(QStringLiteral(".unreadable-")).size(), 1)
            << folder().join(' ').toStdString();
        AppSettings reloaded(path(), options());
        EXPECT_FALSE(reloaded.storeUnreadable());
        EXPECT_EQ(reloaded.menuBarMetric(), MenuBarMetric::memory);
        EXPECT_TRUE(reloaded.setAsidePath().isEmpty()) << "nothing moved in this run";
    }
}

TEST_F(SettingsStore, StoreThatCannotBeOpenedIsMovedAsideToo) {
    // A folder where the file should be: nothing can read it as a file, nothing may delete it.
    test::writeFile(dir, "velmora/settings.json/inside", "mine");
    AppSettings s(path(), options());
    EXPECT_TRUE(s.storeUnreadable());
    s.setAlertsEnabled(true);
    EXPECT_TRUE(s.flush());
    EXPECT_EQ(readFile(aside() + "/inside"), "mine");
    EXPECT_EQ(storedObject(), QJsonObject({{"alertsEnabled", true}}));

    if (::geteuid() == 0) return;  // permissions do not stop the superuser
    QDir(dir.filePath("velmora")).removeRecursively();
    store(R"({"alertsEnabled": true})");
    QFile::setPermissions(path(), QFileDevice::WriteOwner);
    AppSettings unreadable(path(), options());
    EXPECT_TRUE(unreadable.storeUnreadable());
    EXPECT_FALSE(unreadable.alertsEnabled());
    unreadable.setLanguage("de");
    EXPECT_TRUE(unreadable.flush());
    QFile::setPermissions(aside(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readFile(aside()), R"({"alertsEnabled": true})");
}

TEST_F(SettingsStore, AnEarlierAsideFileIsNeverReplaced) {
    store("first damage");
    {
        AppSettings s(path(), options());
        s.setAlertsEnabled(true);
        ASSERT_TRUE(s.flush());
        EXPECT_EQ(s.setAsidePath(), aside());
    }
    // Damaged again within the same second.
    store("second damage");
    {
        AppSettings s(path(), options());
        s.setAlertsEnabled(false);
        ASSERT_TRUE(s.flush());
        EXPECT_EQ(s.setAsidePath(), aside("-2"));
    }
    store("third damage");
    test::writeFile(dir, QStringLiteral("velmora/") + kAsideName + "-3", "someone else's");
    {
        AppSettings s(path(), options());
        s.setAlertsEnabled(true);
        ASSERT_TRUE(s.flush());
        EXPECT_EQ(s.setAsidePath(), aside("-4"));
    }
    EXPECT_EQ(readFile(aside()), "first damage");
    EXPECT_EQ(readFile(aside("-2")), "second damage");
    EXPECT_EQ(readFile(aside("-3")), "someone else's");
    EXPECT_EQ(readFile(aside("-4")), "third damage");
}

TEST_F(SettingsStore, ReadableStoreKeepsItsOtherValuesAndIsNotMoved) {
    store(R"({"alertsEnabled": true, "uiLanguage": "ko", "extra": {"kept": 1}})");
    AppSettings s(path(), options());
    EXPECT_FALSE(s.storeUnreadable());
    s.setRefreshInterval(5.0);
    ASSERT_TRUE(s.flush());
    EXPECT_TRUE(s.setAsidePath().isEmpty());
    EXPECT_FALSE(s.setAsideNoticePending());
    EXPECT_EQ(folder(), QStringList{"settings.json"});
    const QJsonObject o = storedObject();
    EXPECT_EQ(o["alertsEnabled"], true);
    EXPECT_EQ(o["uiLanguage"], "ko");
    EXPECT_EQ(o["extra"].toObject()["kept"], 1);
    EXPECT_EQ(o["refreshInterval"], 5.0);
}

TEST_F(SettingsStore, StoreDamagedWhileRunningIsMovedAsideAtTheNextWrite) {
    store(R"({"uiLanguage": "ko"})");
    AppSettings s(path(), options());
    s.setAlertsEnabled(true);
    ASSERT_TRUE(s.flush());
    const QByteArray damage = "{\"uiLanguage\": \"ko\", \"alertsEnabled\": tr";
    store(damage);
    s.setLanguage("fr");
    ASSERT_TRUE(s.flush());
    EXPECT_EQ(readFile(aside()), damage);
    EXPECT_EQ(storedObject(), QJsonObject({{"uiLanguage", "fr"}}));
}

TEST_F(SettingsStore, AnUnwritableStoreSaysSoAndKeepsTheChangeForTheNextWrite) {
    test::writeFile(dir, "velmora", "a file where the folder should be");
    AppSettings s(path(), options());
    QSignalSpy written(&s, &AppSettings::stored);
    QSignalSpy status(&s, &AppSettings::storeStatusChanged);
    s.setAlertsEnabled(true);
    EXPECT_FALSE(s.flush());
    EXPECT_TRUE(s.storeWriteFailed());
    EXPECT_TRUE(s.hasPendingWrites());
    ASSERT_EQ(written.count(), 1);
    EXPECT_FALSE(written[0][0].toBool());
    EXPECT_EQ(status.count(), 1);
    EXPECT_TRUE(s.alertsEnabled()) << "the change holds for this run";

    ASSERT_TRUE(QFile::remove(dir.filePath("velmora")));
    s.setLanguage("id");
    EXPECT_TRUE(s.flush());
    EXPECT_FALSE(s.storeWriteFailed());
    EXPECT_FALSE(s.hasPendingWrites());
    EXPECT_EQ(status.count(), 2) << "and the line goes away";
    EXPECT_EQ(storedObject(), QJsonObject({{"alertsEnabled", true}, {"uiLanguage", "id"}}))
        << "the change that failed is written with the next";
}

TEST_F(SettingsStore, ChangesInQuickSuccessionAreWrittenOnce) {
    AppSettings s(path(), options(40ms));
    QSignalSpy written(&s, &AppSettings::stored);
    for (int v = 50; v <= 100; v += 5)
        s.setCpuThreshold(v);
    s.setAlertsEnabled(true);
    EXPECT_TRUE(s.hasPendingWrites());
    EXPECT_FALSE(QFile::exists(path())) << "nothing written while the changes come";
    ASSERT_TRUE(written.wait(5000));
    EXPECT_FALSE(written.wait(200)) << "one write for the whole run of changes";
    EXPECT_EQ(written.count(), 1);
    EXPECT_EQ(storedObject(), QJsonObject({{"cpuAlertThreshold", 100.0}, {"alertsEnabled", true}}));
    EXPECT_LE(AppSettings::Options{}.writeDelay, 500ms) << "a change is stored within half a second";
}

TEST_F(SettingsStore, PendingChangesAreWrittenWhenTheSettingsGo) {
    {
        AppSettings s(path(), options(1h));
        s.setShowSystemProcesses(false);
        EXPECT_FALSE(QFile::exists(path()));
    }
    EXPECT_EQ(storedObject(), QJsonObject({{"showSystemProcesses", false}}));
}

TEST_F(SettingsStore, ValuesSurviveARestartWithTheirTypes) {
    {
        AppSettings s(path());
        s.setAlertsEnabled(true);
        s.setCpuThreshold(75.0);
        s.setMenuBarMetric(MenuBarMetric::temperature);
        s.setLanguage("ja");
        s.setAggressiveServiceStop(true);
        s.setCumulativeRank(false);
        s.setCollectProcessGPU(false);
        s.setRefreshInterval(5.0);
        s.setShowSystemProcesses(false);
        s.setRememberLoadSeconds(30);
    }
    EXPECT_TRUE(stored().contains("\"menuBarMetric\": \"temperature\"")) << stored().constData();
    AppSettings s(path());
    EXPECT_TRUE(s.alertsEnabled());
    EXPECT_EQ(s.cpuThreshold(), 75.0);
    EXPECT_EQ(s.menuBarMetric(), MenuBarMetric::temperature);
    EXPECT_EQ(s.language(), "ja");
    EXPECT_TRUE(s.aggressiveServiceStop());
    EXPECT_FALSE(s.cumulativeRank());
    EXPECT_FALSE(s.collectProcessGPU());
    EXPECT_EQ(s.refreshInterval(), 5.0);
    EXPECT_FALSE(s.showSystemProcesses());
    EXPECT_EQ(s.rememberLoadSeconds(), 30);
}

// The names in the store are those earlier versions wrote: every setter writes its own, and
// a store holding all of them loads every value.
TEST_F(SettingsStore, EachPreferenceKeepsTheNameEarlierVersionsStored) {
    struct Case {
        const char* name;
        QJsonValue stored;  // not the default, so a value read under another name shows
        std::function<void(AppSettings&)> set;
        std::function<bool(const AppSettings&)> loaded;
    };
    const Case cases[] = {
        {"alertsEnabled", true, [](AppSettings& s) { s.setAlertsEnabled(true); },
         [](const AppSettings& s) { return s.alertsEnabled(); }},
        {"cpuAlertThreshold", 65.0, [](AppSettings& s) { s.setCpuThreshold(65.0); },
         [](const AppSettings& s) { return s.cpuThreshold() == 65.0; }},
        {"menuBarMetric", "gpu", [](AppSettings& s) { s.setMenuBarMetric(MenuBarMetric::gpu); },
         [](const AppSettings& s) { return s.menuBarMetric() == MenuBarMetric::gpu; }},
        {"uiLanguage", "fi", [](AppSettings& s) { s.setLanguage("fi"); },
         [](const AppSettings& s) { return s.language() == "fi"; }},
        {"serviceStopAggressive", true, [](AppSettings& s) { s.setAggressiveServiceStop(true); },
         [](const AppSettings& s) { return s.aggressiveServiceStop(); }},
        {"procRankCumulative", false, [](AppSettings& s) { s.setCumulativeRank(false); },
         [](const AppSettings& s) { return !s.cumulativeRank(); }},
        {"collectProcessGPU", false, [](AppSettings& s) { s.setCollectProcessGPU(false); },
         [](const AppSettings& s) { return !s.collectProcessGPU(); }},
        {"refreshInterval", 1.0, [](AppSettings& s) { s.setRefreshInterval(1.0); },
         [](const AppSettings& s) { return s.refreshInterval() == 1.0; }},
        {"showSystemProcesses", false, [](AppSettings& s) { s.setShowSystemProcesses(false); },
         [](const AppSettings& s) { return !s.showSystemProcesses(); }},
        {"rememberLoadSeconds", 30, [](AppSettings& s) { s.setRememberLoadSeconds(30); },
         [](const AppSettings& s) { return s.rememberLoadSeconds() == 30; }},
    };
    QJsonObject all;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        {
            AppSettings s(path(), options());
            c.set(s);
            ASSERT_TRUE(s.flush());
        }
        EXPECT_EQ(storedObject(), QJsonObject({{QString::fromLatin1(c.name), c.stored}}));
        all.insert(QString::fromLatin1(c.name), c.stored);
    }
    store(QJsonDocument(all).toJson());
    const AppSettings s(path(), options());
    for (const Case& c : cases)
        EXPECT_TRUE(c.loaded(s)) << c.name;
}

// Stored numbers outside what the controls offer load as the nearest offered value, and the
// stored text stays until the user changes that setting.
TEST_F(SettingsStore, NumbersLoadAsTheNearestValueTheControlsOffer) {
    const struct {
        const char* stored;
        double threshold;
    } thresholds[] = {
        {"-1e300", 50}, {"-5", 50},    {"0", 50},    {"47.5", 50},   {"50", 50},
        {"52.4", 50},   {"52.5", 55},  {"52.6", 55}, {"72", 70},     {"72.5", 75},
        {"97.4", 95},   {"97.5", 100}, {"100", 100}, {"100.1", 100}, {"1e300", 100},
    };
    for (const auto& t : thresholds) {
        SCOPED_TRACE(t.stored);
        const QByteArray json =
            QByteArray(R"({"cpuAlertThreshold": )") + t.stored + R"(, "alertsEnabled": true})";
        store(json);
        {
            AppSettings s(path(), options());
            EXPECT_EQ(s.cpuThreshold(), t.threshold);
            EXPECT_TRUE(s.alertsEnabled());
        }
        EXPECT_EQ(stored(), json) << "loading rewrites nothing";
    }
    const struct {
        const char* stored;
        double interval;
    } intervals[] = {
        {"-3", 1}, {"0", 1},   {"1", 1},   {"1.4", 1}, {"1.5", 1}, {"1.6", 2},   {"2", 2},
        {"3", 2},  {"3.5", 2}, {"3.6", 5}, {"5", 5},   {"7", 5},   {"1e300", 5},
    };
    for (const auto& i : intervals) {
        SCOPED_TRACE(i.stored);
        store(QByteArray(R"({"refreshInterval": )") + i.stored + "}");
        AppSettings s(path(), options());
        EXPECT_EQ(s.refreshInterval(), i.interval);
    }

    const struct {
        const char* stored;
        int seconds;
    } cadences[] = {
        {"-4", 0}, {"0", 0},   {"4", 0},   {"5", 0},   {"6", 10},  {"10", 10},
        {"19", 10}, {"20", 10}, {"21", 30}, {"30", 30}, {"90", 30}, {"\"ten\"", 10},
    };
    for (const auto& c : cadences) {
        SCOPED_TRACE(c.stored);
        store(QByteArray(R"({"rememberLoadSeconds": )") + c.stored + "}");
        AppSettings s(path(), options());
        EXPECT_EQ(s.rememberLoadSeconds(), c.seconds);
    }

    // Another setting's change leaves the stored value as it was.
    store(R"({"cpuAlertThreshold": 1e300, "refreshInterval": 3})");
    {
        AppSettings s(path(), options());
        s.setLanguage("vi");
    }
    EXPECT_EQ(storedObject()["cpuAlertThreshold"].toDouble(), 1e300);
    EXPECT_EQ(storedObject()["refreshInterval"].toDouble(), 3);
}

TEST(SettingsNearest, NoNumberGivesNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(nearestThreshold(nan).has_value());
    EXPECT_FALSE(nearestRefreshInterval(nan).has_value());
    EXPECT_EQ(nearestThreshold(inf), 100.0);
    EXPECT_EQ(nearestThreshold(-inf), 50.0);
    EXPECT_EQ(nearestRefreshInterval(inf), 5.0);
    EXPECT_EQ(nearestRefreshInterval(-inf), 1.0);
    EXPECT_FALSE(nearestRememberCadence(nan).has_value());
    EXPECT_EQ(nearestRememberCadence(inf), 30);
    EXPECT_EQ(nearestRememberCadence(-inf), 0);
}

TEST_F(SettingsStore, IntervalOutsideTheListIsStoredButLoadsAsDefault) {
    {
        AppSettings s(path());
        s.setRefreshInterval(3.0);
        EXPECT_EQ(s.refreshInterval(), 3.0) << "setters do not validate";
    }
    AppSettings s(path());
    EXPECT_EQ(s.refreshInterval(), 2.0);
}

TEST_F(SettingsStore, SettersNotifyAtOnce) {
    QString applied;
    AppSettings s(path());
    QObject::connect(&s, &AppSettings::languageChanged, [&](const QString& lang) { applied = lang; });
    double seenInterval = 0;
    QObject::connect(&s, &AppSettings::refreshIntervalChanged, [&](double v) { seenInterval = v; });
    s.setRefreshInterval(1.0);
    EXPECT_EQ(seenInterval, 1.0);
    s.setLanguage("de");
    EXPECT_EQ(applied, "de");
}

TEST(MenuBarMetricNames, RoundTripAndRejectUnknown) {
    for (MenuBarMetric m : allMenuBarMetrics())
        EXPECT_EQ(menuBarMetricFromRaw(rawValue(m)), m);
    EXPECT_EQ(rawValue(MenuBarMetric::temperature), "temperature");
    EXPECT_FALSE(menuBarMetricFromRaw("disk").has_value());
    EXPECT_FALSE(menuBarMetricFromRaw("CPU").has_value());
}
