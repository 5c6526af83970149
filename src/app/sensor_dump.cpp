#include "app/sensor_dump.h"

#include <QString>

#include <algorithm>
#include <cstdio>

namespace velmora {

namespace {

std::string orNil(const std::optional<double>& v) {
    if (!v) return "nil";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", *v);
    return buf;
}

}  // namespace

std::string sensorReport(IOHIDTemperatureReader& reader) {
    std::string out;
    char line[512];
    const auto [total, temperature] = reader.debugCounts();
    std::snprintf(line, sizeof line, "services total=%d  temperature-conforming=%d\n", total, temperature);
    out += line;

    std::vector<platform::TemperatureReading> sensors = reader.readAll();
    std::stable_sort(sensors.begin(), sensors.end(),
                     [](const auto& a, const auto& b) { return a.celsius > b.celsius; });
    std::snprintf(line, sizeof line, "== IOHID temperature sensors (%zu) ==\n", sensors.size());
    out += line;
    for (const platform::TemperatureReading& s : sensors) {
        // Pad by characters, not bytes, so a name with non-ASCII letters lines up too.
        out += QString::fromStdString(s.name).leftJustified(28).toStdString();
        std::snprintf(line, sizeof line, "  %.1f°C\n", s.celsius);
        out += line;
    }

    const IOHIDTemperatureReader::Temps t = reader.read();
    out += "-> CPU=" + orNil(t.cpu) + "  GPU=" + orNil(t.gpu) + "  hottest=" + orNil(t.hottest) + "\n";
    return out;
}

int runSensorDump() {
    IOHIDTemperatureReader reader;
    const std::string report = sensorReport(reader);
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace velmora
