#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velmora::platform {

// One temperature sensor as the platform names it, in degrees Celsius.
struct TemperatureReading {
    std::string name;
    double celsius = 0;
};

// The platform's thermal pressure level: 0 nominal, 1 fair, 2 serious, 3 critical.
enum class ThermalPressure : int { nominal = 0, fair = 1, serious = 2, critical = 3 };

class TemperatureSource {
  public:
    virtual ~TemperatureSource() = default;
    // Replaces `out` with every sensor's current value, plausible or not, reusing storage.
    virtual void read(std::vector<TemperatureReading>& out) = 0;
    // How many sensors the source sees.
    virtual int sensorCount() = 0;
    virtual ThermalPressure pressure() = 0;
};

std::unique_ptr<TemperatureSource> makeTemperatureSource();

// Where the optional power-readings file lives on this platform.
const char* powerFilePath();

}  // namespace velmora::platform
