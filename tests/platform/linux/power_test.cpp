#include "platform/linux/power_linux.h"
#include "samplers/thermal_sampler.h"

#include "support/test_util.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
using namespace velmora::platform;
using namespace std::chrono_literals;

namespace {
const auto t0 = std::chrono::steady_clock::time_point(100s);

class NoSensors : public TemperatureSource {
  public:
    void read(std::vector<TemperatureReading>& out) override { out.clear(); }
    int sensorCount() override { return 0; }
    ThermalPressure pressure() override { return ThermalPressure::nominal; }
};
}  // namespace

TEST(EnergyRate, WattsFromACounterThatWraps) {
    EnergyRate rate;
    EXPECT_FALSE(rate.update(1000000, 10000000, t0)) << "the first reading primes";
    EXPECT_DOUBLE_EQ(rate.update(6000000, 10000000, t0 + 1s).value(), 5.0);
    // 4 J to the end of the range, then 0.5 J past zero.
    EXPECT_DOUBLE_EQ(rate.update(500000, 10000000, t0 + 2s).value(), 4.5);
    EXPECT_FALSE(rate.update(100, std::nullopt, t0 + 3s)) << "a fall without a known range is no reading";
    EXPECT_FALSE(rate.update(200, std::nullopt, t0 + 3s)) << "no time passed";
    EXPECT_FALSE(rate.update(300, std::nullopt, t0 + 60s)) << "a long gap (a suspend) is no reading";
    EXPECT_DOUBLE_EQ(rate.update(2000300, std::nullopt, t0 + 62s).value(), 1.0);
}

TEST(PowerReaders, PackagesAndGraphicsChips) {
    PowerReaders amd(test::fixture("machines/amd_desktop/sys"));
    EXPECT_EQ(amd.packageCount(), 1u) << "the core sub-zone is part of the package";
    EXPECT_EQ(amd.gpuCount(), 1u);
    EXPECT_DOUBLE_EQ(amd.gpuWatts().value(), 35.0);
    EXPECT_FALSE(amd.cpuWatts(t0)) << "priming";

    QTemporaryDir root;
    test::writeFile(root, "class/powercap/intel-rapl:0/name", "package-0\n");
    test::writeFile(root, "class/powercap/intel-rapl:0/energy_uj", "1000000\n");
    test::writeFile(root, "class/powercap/intel-rapl:1/name", "psys\n");
    test::writeFile(root, "class/powercap/intel-rapl:1/energy_uj", "5\n");
    test::writeFile(root, "class/hwmon/hwmon0/name", "i915\n");
    test::writeFile(root, "class/hwmon/hwmon0/energy1_input", "0\n");
    PowerReaders intel(root.path().toStdString());
    EXPECT_EQ(intel.packageCount(), 1u) << "psys contains the package";
    intel.cpuWatts(t0);
    intel.gpuWatts(t0);
    test::writeFile(root, "class/powercap/intel-rapl:0/energy_uj", "13000000\n");
    test::writeFile(root, "class/hwmon/hwmon0/energy1_input", "4000000\n");
    EXPECT_DOUBLE_EQ(intel.cpuWatts(t0 + 2s).value(), 6.0);
    EXPECT_DOUBLE_EQ(intel.gpuWatts(t0 + 2s).value(), 2.0);

    EXPECT_FALSE(PowerReaders("/nonexistent").cpuWatts()) << "no RAPL: no CPU figure";
}

TEST(PowerFileWriter, WritesAFileTheSamplerAccepts) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("power.json").toStdString();
    const double now = std::chrono::duration<double>(WallClock::now().time_since_epoch()).count();
    ASSERT_TRUE(writeFileAtomically(path, powerJson(now, 17.25, std::nullopt)));
    ThermalSampler thermal(std::make_unique<NoSensors>(), path);
    const auto r = thermal.sample();
    EXPECT_EQ(r.cpuW, 17.25);
    EXPECT_FALSE(r.gpuW.has_value()) << "written only when known";
    EXPECT_EQ(QFile(QString::fromStdString(path)).permissions() & QFileDevice::ReadOther,
              QFileDevice::ReadOther)
        << "readable by the user's monitor";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left behind";

    ASSERT_TRUE(writeFileAtomically(path, powerJson(now, 1, 2)));
    EXPECT_EQ(thermal.sample().gpuW, 2.0);
}

TEST(PowerFileWriter, APlantedLinkIsReplacedNotFollowed) {
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim");
    test::writeFile(dir, "victim", "precious");
    const QString path = dir.filePath("power.json");
    ASSERT_TRUE(QFile::link(victim, path));
    ASSERT_TRUE(writeFileAtomically(path.toStdString(), powerJson(1, 1, 1)));
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), "precious");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_FALSE(writeFileAtomically("/nonexistent-dir/power.json", powerJson(1, 1, 1)));
}
