// The hwmon listing and the fan and temperature readers built on it.
#include "platform/linux/hwmon.h"
#include "platform/linux/hwmon_temperatures.h"

#include "support/test_util.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::platform;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> chipNames(const HwmonChips& chips) {
    std::vector<std::string> names;
    for (const auto& c : chips.chips())
        names.push_back(c.name);
    return names;
}

}  // namespace

TEST(HwmonIndex, OnlyPlainDecimalNumbersBetweenPrefixAndSuffix) {
    struct Case {
        const char* file;
        const char* prefix;
        const char* suffix;
        std::optional<unsigned> index;
    };
    const Case cases[] = {
        {"fan1_input", "fan", "_input", 1u},
        {"fan10_input", "fan", "_input", 10u},
        {"temp0_input", "temp", "_input", 0u},
        {"hwmon12", "hwmon", "", 12u},
        {"fan_input", "fan", "_input", std::nullopt},
        {"fan1_input_", "fan", "_input", std::nullopt},
        {"fan-1_input", "fan", "_input", std::nullopt},
        {"fan+1_input", "fan", "_input", std::nullopt},
        {"fan 1_input", "fan", "_input", std::nullopt},
        {"fan1a_input", "fan", "_input", std::nullopt},
        {"fan1_min", "fan", "_input", std::nullopt},
        {"pwm1_input", "fan", "_input", std::nullopt},
        {"fan99999999999_input", "fan", "_input", std::nullopt},
        {"hwmon", "hwmon", "", std::nullopt},
        {"hwmon3x", "hwmon", "", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hwmonIndex(c.file, c.prefix, c.suffix), c.index) << c.file;
}

TEST(HwmonChips, ListsAgainOnlyOnceTheIntervalHasPassed) {
    QTemporaryDir root;
    test::writeFile(root, "class/hwmon/hwmon10/name", "nvme\n");
    test::writeFile(root, "class/hwmon/hwmon2/name", "coretemp\n");
    test::writeFile(root, "class/hwmon/hwmon3/temp1_input", "1000\n");  // a chip without a name
    test::writeFile(root, "class/hwmon/power/name", "not a chip\n");
    HwmonChips chips(root.path().toStdString(), 3s);

    const auto t0 = std::chrono::steady_clock::time_point(100s);
    const uint64_t first = chips.refresh(t0);
    EXPECT_TRUE(chips.listed());
    EXPECT_EQ(chipNames(chips), (std::vector<std::string>{"coretemp", "hwmon3", "nvme"}))
        << "in number order, hwmon2 before hwmon10; a chip without a name goes by its folder";
    EXPECT_EQ(chips.chips()[1].files, (std::vector<std::string>{"temp1_input"}));

    test::writeFile(root, "class/hwmon/hwmon4/name", "amdgpu\n");
    EXPECT_EQ(chips.refresh(t0 + 2s), first) << "not due yet: the same listing";
    EXPECT_EQ(chips.chips().size(), 3u);
    const uint64_t second = chips.refresh(t0 + 3s);
    EXPECT_NE(second, first);
    EXPECT_EQ(chipNames(chips), (std::vector<std::string>{"coretemp", "hwmon3", "amdgpu", "nvme"}));

    HwmonChips none("/nonexistent-sys-root");
    none.refresh();
    EXPECT_FALSE(none.listed());
    EXPECT_TRUE(none.chips().empty());
}

TEST(HwmonFans, ChipOrderThenFanOrderWithTheLimitsEachChipHas) {
    QTemporaryDir root;
    test::writeFile(root, "class/hwmon/hwmon1/fan10_input", "900\n");
    test::writeFile(root, "class/hwmon/hwmon1/fan2_input", "1500\n");
    test::writeFile(root, "class/hwmon/hwmon1/fan2_max", "4000\n");
    test::writeFile(root, "class/hwmon/hwmon1/fan3_target", "800\n");  // a header without a tachometer
    test::writeFile(root, "class/hwmon/hwmon0/fan1_input", "2100");
    test::writeFile(root, "class/hwmon/hwmon0/fan1_target", "2000\n");
    test::writeFile(root, "class/hwmon/hwmon0/fan1_min", "-5\n");
    HwmonFanSource fans(std::make_shared<HwmonChips>(root.path().toStdString()));

    ASSERT_EQ(fans.count(), 3);
    const FanSpeeds a = fans.read(0), b = fans.read(1), c = fans.read(2);
    EXPECT_EQ(a.rpm, 2100.0f) << "hwmon0 first, a value without a newline still reads";
    EXPECT_EQ(a.target, 2000.0f);
    EXPECT_EQ(a.min, -1.0f) << "a negative speed is unreadable";
    EXPECT_EQ(a.max, -1.0f) << "the chip has no maximum";
    EXPECT_EQ(b.rpm, 1500.0f) << "fan2 before fan10";
    EXPECT_EQ(b.max, 4000.0f);
    EXPECT_EQ(c.rpm, 900.0f);

    test::writeFile(root, "class/hwmon/hwmon1/fan10_input", "garbage\n");
    const FanSpeeds broken = fans.read(2);
    EXPECT_EQ(broken.rpm, -1.0f);
    test::writeFile(root, "class/hwmon/hwmon1/fan10_input", "950\n");
    EXPECT_EQ(fans.read(2).rpm, 950.0f) << "the same pinned file reads the new value";
}

TEST(HwmonFans, AChipThatRenumbersIsFoundAtItsNewPlace) {
    QTemporaryDir root;
    test::writeFile(root, "class/hwmon/hwmon0/fan1_input", "1200\n");
    // An interval of zero lists the chips at every call, as if each read came after a rescan.
    HwmonFanSource fans(std::make_shared<HwmonChips>(root.path().toStdString(), 0s));
    ASSERT_EQ(fans.count(), 1);
    EXPECT_EQ(fans.read(0).rpm, 1200.0f);

    // The driver reloads: its chip comes back as hwmon5, with another speed.
    ASSERT_TRUE(QDir(root.filePath("class/hwmon")).rename("hwmon0", "hwmon5"));
    test::writeFile(root, "class/hwmon/hwmon5/fan1_input", "1300\n");
    EXPECT_EQ(fans.read(0).rpm, 1300.0f);

    ASSERT_TRUE(QDir(root.filePath("class/hwmon/hwmon5")).removeRecursively());
    EXPECT_EQ(fans.read(0).rpm, -1.0f) << "gone: unreadable, not the last value";
    EXPECT_EQ(fans.count(), 0);
}

TEST(HwmonFans, TemperaturesAndFansReadOneListing) {
    QTemporaryDir root;
    test::writeFile(root, "class/hwmon/hwmon0/name", "nct6798\n");
    test::writeFile(root, "class/hwmon/hwmon0/fan1_input", "1000\n");
    test::writeFile(root, "class/hwmon/hwmon0/temp1_input", "40000\n");
    auto chips = std::make_shared<HwmonChips>(root.path().toStdString(), 1h);
    HwmonFanSource fans(chips);
    HwmonTemperatureSource temps(chips, false);

    ASSERT_EQ(fans.count(), 1);  // lists the chips
    // A chip that appears after the listing is seen by neither reader until the next one:
    // the temperature reader did not list the chips a second time.
    test::writeFile(root, "class/hwmon/hwmon1/name", "coretemp\n");
    test::writeFile(root, "class/hwmon/hwmon1/temp1_input", "55000\n");
    std::vector<TemperatureReading> readings;
    temps.read(readings);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].name, "nct6798 temp1");
    EXPECT_EQ(temps.sensorCount(), 1);

    // Its own listing would have found both chips.
    HwmonTemperatureSource alone(root.path().toStdString(), false);
    EXPECT_EQ(alone.sensorCount(), 2);
}
