#pragma once

#include "core/snapshot.h"
#include "platform/small_file.h"
#include "platform/thermal.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

// Named temperature sensors, and the CPU, GPU and hottest figures picked from them by name.
// Named after the HID sensor service it reads on macOS; on Linux its source is hwmon.
class IOHIDTemperatureReader {
  public:
    struct Temps {
        std::optional<double> cpu;
        std::optional<double> gpu;
        std::optional<double> hottest;
    };

    IOHIDTemperatureReader();
    explicit IOHIDTemperatureReader(std::unique_ptr<platform::TemperatureSource> source);

    // Every sensor with a plausible value (above 0 and below 130 °C), in the source's order.
    // The list is reused by the next call.
    const std::vector<platform::TemperatureReading>& readAll();
    Temps read();
    // The number of sensors the source sees, given twice.
    std::pair<int, int> debugCounts();
    platform::ThermalPressure pressure();

    static bool plausible(double celsius) { return celsius > 0 && celsius < 130; }
    static bool isCpuName(std::string_view name);
    static bool isGpuName(std::string_view name);
    static Temps summarize(const std::vector<platform::TemperatureReading>& readings);

  private:
    std::unique_ptr<platform::TemperatureSource> source_;
    std::vector<platform::TemperatureReading> raw_;
    std::vector<platform::TemperatureReading> plausible_;
};

// The figures of the optional power-readings file that another component keeps up to date.
struct PowerFigures {
    std::optional<double> cpuW;
    std::optional<double> gpuW;
    std::optional<double> aneW;
    bool operator==(const PowerFigures&) const = default;
};

// The decoded power file; `valid` is false unless it held a JSON object.
struct PowerFileContent {
    bool valid = false;
    std::optional<double> ts;  // seconds since 1970
    PowerFigures figures;
};

PowerFileContent parsePowerFile(std::string_view bytes);
// The figures while the file is fresh at `nowSeconds` (seconds since 1970), else none.
PowerFigures powerFiguresAt(const PowerFileContent& content, double nowSeconds);

// Thermal pressure, temperatures and power figures, once per tick.
class ThermalSampler {
  public:
    static constexpr double kPowerFreshSeconds = 10;

    struct Result {
        ThermalState state = ThermalState::nominal;
        std::optional<double> cpuC;
        std::optional<double> gpuC;
        std::optional<double> hottestC;
        std::optional<double> cpuW;
        std::optional<double> gpuW;
        std::optional<double> aneW;
        std::vector<TemperatureSensor> sensors;  // every plausible sensor, in the source's order
    };

    ThermalSampler(std::unique_ptr<platform::TemperatureSource> source, std::string powerFile);

    Result sample();
    // The power figures the file holds now; the file is parsed again only when it changed.
    PowerFigures power(double nowSeconds);

    IOHIDTemperatureReader& reader() { return hid_; }

  private:
    // The readings as snapshot entries. A name is converted again only when its sensor's
    // name changed, so an unchanged list costs no text conversion per tick.
    const std::vector<TemperatureSensor>& sensorsOf(
        const std::vector<platform::TemperatureReading>& readings);

    IOHIDTemperatureReader hid_;
    std::vector<TemperatureSensor> sensors_;
    std::vector<std::string> sensorNames_;  // the platform's names behind sensors_
    std::string powerPath_;
    platform::FileStamp powerStamp_;
    std::string powerBuf_;
    PowerFileContent power_;
};

}  // namespace velmora
