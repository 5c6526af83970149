#include "app/sensor_dump.h"

#include "core/localizer.h"
#include "support/test_util.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class Sensors : public platform::TemperatureSource {
  public:
    std::vector<platform::TemperatureReading> readings;
    int seen = 0;
    void read(std::vector<platform::TemperatureReading>& out) override { out = readings; }
    int sensorCount() override { return seen; }
    platform::ThermalPressure pressure() override { return platform::ThermalPressure::nominal; }
};

}  // namespace

TEST(SensorDump, ReportFormat) {
    auto src = std::make_unique<Sensors>();
    src->seen = 5;
    src->readings = {{"nvme Composite", 40.85},
                     {"CPU coretemp Package id 0", 62.0},
                     {"a sensor with a rather long name here", 62.0},
                     {"broken", 0.0},
                     {"Température", 33.333}};
    IOHIDTemperatureReader reader(std::move(src));
    EXPECT_EQ(sensorReport(reader),
              "services total=5  temperature-conforming=5\n"
              "== IOHID temperature sensors (4) ==\n"
              "CPU coretemp Package id 0     62.0°C\n"
              "a sensor with a rather long name here  62.0°C\n"
              "nvme Composite                40.9°C\n"
              "Température                   33.3°C\n"
              "-> CPU=62.0  GPU=nil  hottest=62.0\n")
        << "hottest first, ties in sensor order; names padded to 28 characters, never cut";
}

TEST(SensorDump, NothingToReport) {
    IOHIDTemperatureReader reader(std::make_unique<Sensors>());
    EXPECT_EQ(sensorReport(reader),
              "services total=0  temperature-conforming=0\n"
              "== IOHID temperature sensors (0) ==\n"
              "-> CPU=nil  GPU=nil  hottest=nil\n");
}

#ifdef VELMORA_BINARY
TEST(SensorDumpProcess, AnyValueOfTheVariablePrintsTheReportAndExits) {
    for (const QString& value : {QStringLiteral("1"), QString()}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VL_DUMP_SENSORS"), value);
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(VELMORA_BINARY, {"--print", "--count", "1"});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 0);
        const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
        ASSERT_GE(lines.size(), 3);
        EXPECT_TRUE(lines.front().startsWith("services total=")) << lines.front().toStdString();
        EXPECT_TRUE(lines[1].startsWith("== IOHID temperature sensors ("))
            << "no print-mode row: the dump runs first";
        EXPECT_TRUE(lines[lines.size() - 2].startsWith("-> CPU="));
    }
}
#endif

#ifdef VELMORA_POWERD
TEST(PowerDaemonProcess, WritesAFreshObjectOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath("power.json");
    QProcess p;
    p.start(VELMORA_POWERD, {"--once", "--interval", "0.2", "--output", path});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const PowerFileContent content = parsePowerFile(bytes.toStdString());
    ASSERT_TRUE(content.valid) << bytes.toStdString();
    ASSERT_TRUE(content.ts.has_value());
    const double now = std::chrono::duration<double>(WallClock::now().time_since_epoch()).count();
    EXPECT_NEAR(*content.ts, now, 10.0);

    QProcess bad;
    bad.start(VELMORA_POWERD, {"--interval", "0"});
    ASSERT_TRUE(bad.waitForFinished(20000));
    EXPECT_EQ(bad.exitCode(), 2);
}

TEST(PowerDaemonProcess, OpensNoUserSettings) {
    // Run as root, the helper must not read a user's preferences: a Korean interface
    // setting in the store leaves its texts in the system's language.
    QTemporaryDir dir;
    test::writeFile(dir, "config/velmora/settings.json", R"({"uiLanguage": "ko"})");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("HOME", dir.path());
    env.insert("LC_ALL", "C");
    env.insert("LANGUAGE", "en");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(VELMORA_POWERD, {"--help"});
    ASSERT_TRUE(p.waitForFinished(20000));
    const QString help = QString::fromUtf8(p.readAllStandardOutput());
    Localizer en({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, "en", [] { return QStringList(); });
    Localizer ko({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, "ko", [] { return QStringList(); });
    EXPECT_TRUE(help.contains(en.t("pwdOptOutput"))) << help.toStdString();
    EXPECT_FALSE(help.contains(ko.t("pwdOptOutput"))) << help.toStdString();
}
#endif
