#include "core/settings.h"

#include "support/test_util.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class SettingsStore : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("velmora/settings.json"); }
    void store(const QByteArray& json) { test::writeFile(dir, "velmora/settings.json", json); }
    QByteArray stored() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

TEST_F(SettingsStore, CorruptFileLoadsDefaultsAndStaysUntouched) {
    const QByteArray corrupt = "{\"alertsEnabled\": tru";
    store(corrupt);
    {
        AppSettings s(path());
        EXPECT_FALSE(s.alertsEnabled());
        EXPECT_EQ(s.refreshInterval(), 2.0);
    }
    EXPECT_EQ(stored(), corrupt);
}

TEST_F(SettingsStore, ValuesSurviveARestartWithTheirTypes) {
    {
        AppSettings s(path());
        s.setAlertsEnabled(true);
        s.setCpuThreshold(75.5);
        s.setMenuBarMetric(MenuBarMetric::temperature);
        s.setLanguage("ja");
        s.setAggressiveServiceStop(true);
        s.setCumulativeRank(false);
        s.setCollectProcessGPU(false);
        s.setRefreshInterval(5.0);
        s.setShowSystemProcesses(false);
    }
    EXPECT_TRUE(stored().contains("\"menuBarMetric\": \"temperature\"")) << stored().constData();
    AppSettings s(path());
    EXPECT_TRUE(s.alertsEnabled());
    EXPECT_EQ(s.cpuThreshold(), 75.5);
    EXPECT_EQ(s.menuBarMetric(), MenuBarMetric::temperature);
    EXPECT_EQ(s.language(), "ja");
    EXPECT_TRUE(s.aggressiveServiceStop());
    EXPECT_FALSE(s.cumulativeRank());
    EXPECT_FALSE(s.collectProcessGPU());
    EXPECT_EQ(s.refreshInterval(), 5.0);
    EXPECT_FALSE(s.showSystemProcesses());
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
