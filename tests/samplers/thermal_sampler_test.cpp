#include "samplers/thermal_sampler.h"

#include "support/test_util.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace velmora;
using platform::TemperatureReading;

namespace {

class FakeSensors : public platform::TemperatureSource {
  public:
    std::vector<TemperatureReading> readings;
    platform::ThermalPressure level = platform::ThermalPressure::nominal;
    void read(std::vector<TemperatureReading>& out) override { out = readings; }
    int sensorCount() override { return static_cast<int>(readings.size()); }
    platform::ThermalPressure pressure() override { return level; }
};

IOHIDTemperatureReader::Temps summarize(std::vector<TemperatureReading> readings) {
    auto src = std::make_unique<FakeSensors>();
    src->readings = std::move(readings);
    return IOHIDTemperatureReader(std::move(src)).read();
}

const double kNow = 1.7e9;

}  // namespace

TEST(IOHIDTemperatureReader, CpuGpuAndHottestByName) {
    const auto t = summarize({{"PMU tdie1", 45.0}, {"PMU tdie2", 47.0}, {"GPU MTR Temp Sensor", 40.0}});
    EXPECT_DOUBLE_EQ(t.cpu.value(), 46.0);
    EXPECT_DOUBLE_EQ(t.gpu.value(), 40.0);
    EXPECT_DOUBLE_EQ(t.hottest.value(), 47.0);

    const auto lone = summarize({{"NAND CH0 temp", 38.5}});
    EXPECT_DOUBLE_EQ(lone.cpu.value(), 38.5) << "the hottest stands in for the CPU";
    EXPECT_FALSE(lone.gpu.has_value());
    EXPECT_DOUBLE_EQ(lone.hottest.value(), 38.5);

    const auto none = summarize({});
    EXPECT_FALSE(none.cpu || none.gpu || none.hottest);
}

TEST(IOHIDTemperatureReader, NamePatterns) {
    EXPECT_FALSE(IOHIDTemperatureReader::isCpuName("pACC MTR Temp Sensor2"));
    EXPECT_TRUE(IOHIDTemperatureReader::isCpuName("CPU coretemp Core 0"));
    EXPECT_TRUE(IOHIDTemperatureReader::isCpuName("Tp09s"));
    EXPECT_TRUE(IOHIDTemperatureReader::isCpuName("k10temp TDIE"));
    EXPECT_TRUE(IOHIDTemperatureReader::isGpuName("Tp1g"));
    EXPECT_TRUE(IOHIDTemperatureReader::isGpuName("GPU amdgpu edge"));
    EXPECT_FALSE(IOHIDTemperatureReader::isCpuName("Tp1x"));
    EXPECT_FALSE(IOHIDTemperatureReader::isGpuName("Tp1x")) << "contains tp but ends in neither s nor g";
    EXPECT_FALSE(IOHIDTemperatureReader::isCpuName("nvme Composite"));
    EXPECT_FALSE(IOHIDTemperatureReader::isCpuName("iwlwifi_1 temp1"));
    EXPECT_FALSE(IOHIDTemperatureReader::isGpuName("nvme Sensor 1"));
}

TEST(IOHIDTemperatureReader, ImplausibleValuesDropOut) {
    auto src = std::make_unique<FakeSensors>();
    src->readings = {{"cpu a", 0.0}, {"cpu b", -5.0}, {"cpu c", 130.0}, {"cpu d", 129.9}, {"x", 0.1}};
    IOHIDTemperatureReader reader(std::move(src));
    const auto& all = reader.readAll();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "cpu d");
    EXPECT_EQ(all[1].name, "x");
    EXPECT_EQ(reader.debugCounts(), std::make_pair(5, 5)) << "the sensors the source sees, twice";
    EXPECT_DOUBLE_EQ(reader.read().cpu.value(), 129.9);
}

TEST(PowerFile, FreshnessWindow) {
    const std::string file =
        R"({"ts": 1700000000, "cpu_power_w": 12.5, "gpu_power_w": 3.25, "ane_power_w": 0})";
    const PowerFileContent c = parsePowerFile(file);
    ASSERT_TRUE(c.valid);
    const PowerFigures nine = powerFiguresAt(c, 1700000009);
    EXPECT_EQ(nine.cpuW, 12.5);
    EXPECT_EQ(nine.gpuW, 3.25);
    EXPECT_EQ(nine.aneW, 0.0);
    EXPECT_EQ(powerFiguresAt(c, 1700000011), PowerFigures{}) << "11 s old is stale";
    EXPECT_EQ(powerFiguresAt(c, 1700000010).cpuW, 12.5) << "exactly 10 s is still fresh";
    EXPECT_EQ(powerFiguresAt(c, 1699999000), PowerFigures{}) << "a stamp far in the future is not trusted";

    const PowerFileContent noTs = parsePowerFile(R"({"cpu_power_w": 7, "gpu_power_w": "hot"})");
    const PowerFigures any = powerFiguresAt(noTs, 4e9);
    EXPECT_EQ(any.cpuW, 7.0) << "without a stamp the figures count whatever their age";
    EXPECT_FALSE(any.gpuW.has_value()) << "not a number";
    EXPECT_FALSE(any.aneW.has_value()) << "missing";

    const PowerFileContent textTs = parsePowerFile(R"({"ts": "yesterday", "cpu_power_w": 7})");
    EXPECT_EQ(powerFiguresAt(textTs, kNow).cpuW, 7.0) << "a stamp that is no number is no usable stamp";
}

TEST(PowerFile, MalformedContentGivesNothing) {
    for (const char* bad : {"[1, 2, 3]", "{\"ts\": 1", "", "null", "12", "\xff\xfe{}"})
        EXPECT_EQ(powerFiguresAt(parsePowerFile(bad), kNow), PowerFigures{}) << bad;
}

TEST(ThermalSampler, ReadsThePowerFileEachTickAndSurvivesBadOnes) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("power.json").toStdString();
    auto src = std::make_unique<FakeSensors>();
    src->readings = {{"CPU coretemp Package id 0", 61.0}};
    src->level = platform::ThermalPressure::serious;
    ThermalSampler thermal(std::move(src), path);

    ThermalSampler::Result r = thermal.sample();
    EXPECT_EQ(r.state, ThermalState::serious);
    EXPECT_EQ(r.cpuC, 61.0);
    EXPECT_FALSE(r.cpuW.has_value()) << "no file";

    const double now = std::chrono::duration<double>(WallClock::now().time_since_epoch()).count();
    test::writeFile(dir, "power.json",
                    QByteArray::number(now, 'f', 3).prepend("{\"ts\":").append(",\"cpu_power_w\":9}"));
    EXPECT_EQ(thermal.sample().cpuW, 9.0);
    EXPECT_EQ(thermal.power(now + 11).cpuW, std::nullopt) << "the cached content ages like the file";

    test::writeFile(dir, "power.json", "[{\"cpu_power_w\": 9}]");
    r = thermal.sample();
    EXPECT_FALSE(r.cpuW.has_value()) << "an array";
    EXPECT_EQ(r.cpuC, 61.0) << "temperatures unaffected";

    test::writeFile(dir, "power.json", "{\"gpu_power_w\": 4.5}");
    EXPECT_EQ(thermal.sample().gpuW, 4.5) << "the next good file recovers";

    QFile::remove(QString::fromStdString(path));
    EXPECT_FALSE(thermal.sample().gpuW.has_value()) << "a file that went away";
}

TEST(ThermalSampler, SensorListFollowsTheSourceTickByTick) {
    QTemporaryDir dir;
    auto src = std::make_unique<FakeSensors>();
    FakeSensors* sensors = src.get();
    ThermalSampler thermal(std::move(src), dir.filePath("none.json").toStdString());
    using List = std::vector<TemperatureSensor>;
    const struct {
        std::vector<TemperatureReading> readings;
        List expected;
    } ticks[] = {
        {{{"CPU coretemp Core 0", 50.5}, {"nvme Composite", 38.0}},
         {{"CPU coretemp Core 0", 50.5}, {"nvme Composite", 38.0}}},
        {{{"CPU coretemp Core 0", 52.0}, {"nvme Composite", 0.0}, {"GPU amdgpu edge", 44.0}},
         {{"CPU coretemp Core 0", 52.0}, {"GPU amdgpu edge", 44.0}}},  // implausible: left out
        {{{"acpitz temp1", 27.8}}, {{"acpitz temp1", 27.8}}},          // the list shrank
        {{}, {}},
    };
    for (const auto& tick : ticks) {
        sensors->readings = tick.readings;
        EXPECT_EQ(thermal.sample().sensors, tick.expected);
    }
}

TEST(ThermalSampler, AFifoInPlaceOfTheFileDoesNotBlock) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("power.json").toStdString();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    ThermalSampler thermal(std::make_unique<FakeSensors>(), path);
    EXPECT_FALSE(thermal.sample().cpuW.has_value());
}
