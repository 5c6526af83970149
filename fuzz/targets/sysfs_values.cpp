// hwmon, thermal-zone and power-supply attributes and hwmon file names: one per line, read
// the way the readers read them, then put together as a battery, a zone and sensor names.
#include "fuzz_input.h"
#include "platform/linux/file_util.h"
#include "platform/linux/hwmon.h"
#include "platform/linux/hwmon_temperatures.h"
#include "platform/linux/power_supply.h"

using namespace velmora;
namespace fs = platform::linux_fs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string_view> lines;
    fs::forEachLine(fuzz::text(data, size), [&](std::string_view line) { lines.push_back(line); });
    if (lines.empty()) return 0;

    std::vector<std::optional<int64_t>> ints;
    for (const std::string_view line : lines) {
        ints.push_back(fs::parseInt(line));
        fs::parseUInt(line);
        fs::parseCpuList(line);
        fs::trim(line);
        platform::hwmonIndex(line, "fan", "_input");
    }
    auto at = [&](size_t i) { return ints[i % ints.size()]; };

    platform::SupplyBattery battery;
    battery.status = std::string(fs::trim(lines[0]));
    battery.energyNow = at(1), battery.energyFull = at(2), battery.energyFullDesign = at(3);
    battery.powerNow = at(4), battery.chargeNow = at(5), battery.chargeFull = at(6);
    battery.chargeFullDesign = at(7), battery.currentNow = at(8), battery.capacity = at(9);
    battery.timeToEmptyNow = at(10), battery.timeToFullNow = at(11), battery.cycleCount = at(12);
    platform::BatteryReading reading;
    platform::describeBatteries(
        {battery}, at(13).has_value() ? std::optional<bool>(*at(13) != 0) : std::nullopt, reading);
    platform::describeBatteries({battery, battery}, std::nullopt, reading);

    std::vector<platform::TripPoint> trips;
    for (size_t i = 0; i + 1 < lines.size(); i += 2)
        if (const auto milliC = fs::parseInt(lines[i + 1]))
            trips.push_back({platform::tripKind(fs::trim(lines[i])), *milliC});
    platform::zonePressure(at(0).value_or(0), trips);
    platform::sensorName(lines[0], lines.size() > 1 ? lines[1] : std::string_view());
    return 0;
}
