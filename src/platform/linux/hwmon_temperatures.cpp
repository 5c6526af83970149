#include "platform/linux/hwmon_temperatures.h"

#include "bridge/linux/bridge_linux.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace velmora::platform {

using namespace linux_fs;

std::unique_ptr<TemperatureSource> makeTemperatureSource() {
    return std::make_unique<HwmonTemperatureSource>();
}

const char* powerFilePath() {
    return "/tmp/pelto_monitor_thermal.json";
}

namespace {

constexpr int kMaxNvidia = 8;

bool containsWord(std::string_view text, std::string_view lowerNeedle) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(lowerNeedle) != std::string::npos;
}

bool oneOf(std::string_view chip, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), chip) != names.end();
}

}  // namespace

TripPoint::Kind tripKind(std::string_view type) {
    if (type == "active") return TripPoint::Kind::active;
    if (type == "passive") return TripPoint::Kind::passive;
    if (type == "hot") return TripPoint::Kind::hot;
    if (type == "critical") return TripPoint::Kind::critical;
    return TripPoint::Kind::other;
}

ThermalPressure zonePressure(int64_t milliC, const std::vector<TripPoint>& trips) {
    ThermalPressure p = ThermalPressure::nominal;
    for (const TripPoint& t : trips) {
        if (t.milliC <= 0 || milliC < t.milliC) continue;
        ThermalPressure level = ThermalPressure::nominal;
        switch (t.kind) {
            case TripPoint::Kind::passive:
                level = ThermalPressure::fair;
                break;
            case TripPoint::Kind::hot:
                level = ThermalPressure::serious;
                break;
            case TripPoint::Kind::critical:
                level = ThermalPressure::critical;
                break;
            default:
                break;
        }
        p = std::max(p, level);
    }
    return p;
}

std::string sensorName(std::string_view chip, std::string_view label) {
    std::string name;
    if (oneOf(chip,
              {"coretemp", "k10temp", "k8temp", "zenpower", "cpu_thermal", "via_cputemp", "x86_pkg_temp"}) &&
        !containsWord(chip, "cpu"))
        name = "CPU ";
    else if (oneOf(chip, {"amdgpu", "radeon", "nouveau", "i915", "xe"}) && !containsWord(chip, "gpu"))
        name = "GPU ";
    name.append(chip);
    if (!label.empty()) name.append(" ").append(label);
    return name;
}

HwmonTemperatureSource::HwmonTemperatureSource(std::shared_ptr<HwmonChips> chips, bool useNvml)
    : chips_(std::move(chips)), useNvml_(useNvml) {}

HwmonTemperatureSource::HwmonTemperatureSource(std::string sysRoot, bool useNvml)
    : HwmonTemperatureSource(std::make_shared<HwmonChips>(std::move(sysRoot)), useNvml) {}

void HwmonTemperatureSource::rescanIfDue() {
    const uint64_t generation = chips_->refresh();
    if (generation == builtFrom_) return;
    builtFrom_ = generation;
    sensors_.clear();
    zones_.clear();

    std::vector<std::pair<unsigned, std::string>> inputs;  // index, label
    for (const HwmonChips::Chip& chip : chips_->chips()) {
        inputs.clear();
        for (const std::string& f : chip.files)
            if (const auto n = hwmonIndex(f, "temp", "_input"))
                inputs.emplace_back(*n, readTrimmed(chip.path + "temp" + std::to_string(*n) + "_label")
                                            .value_or("temp" + std::to_string(*n)));
        std::sort(inputs.begin(), inputs.end());
        // k10temp shows Tdie beside Tctl only when Tctl carries a fan-control offset; then
        // Tctl is not the die temperature and stays out of the CPU figure.
        const bool hasTdie =
            chip.name == "k10temp" &&
            std::any_of(inputs.begin(), inputs.end(), [](const auto& i) { return i.second == "Tdie"; });
        for (const auto& [n, label] : inputs) {
            if (hasTdie && label == "Tctl") continue;
            sensors_.push_back({sensorName(chip.name, label),
                                PinnedFile(chip.path + "temp" + std::to_string(n) + "_input")});
        }
    }

    const std::string thermal = chips_->sysRoot() + "/class/thermal/";
    const bool zonesAsSensors = sensors_.empty();
    if (listDir(thermal, names_)) {
        for (const std::string& z : names_) {
            if (z.rfind("thermal_zone", 0) != 0) continue;
            const std::string base = thermal + z + "/";
            Zone zone;
            for (int i = 0; i < 64; ++i) {
                const std::string trip = base + "trip_point_" + std::to_string(i) + "_";
                const auto type = readTrimmed(trip + "type");
                if (!type) break;
                const auto temp = parseInt(readTrimmed(trip + "temp").value_or(""));
                if (temp) zone.trips.push_back({tripKind(*type), *temp});
            }
            if (zonesAsSensors) {
                const std::string type = readTrimmed(base + "type").value_or(z);
                sensors_.push_back({sensorName(type, {}), PinnedFile(base + "temp")});
            }
            const bool matters = std::any_of(zone.trips.begin(), zone.trips.end(), [](const TripPoint& t) {
                return t.milliC > 0 && t.kind != TripPoint::Kind::active && t.kind != TripPoint::Kind::other;
            });
            if (!matters) continue;
            zone.temp = PinnedFile(base + "temp");
            zones_.push_back(std::move(zone));
        }
    }

    double temps[kMaxNvidia];
    nvmlCount_ = useNvml_ ? std::max(0, nvml_temperatures(temps, kMaxNvidia)) : 0;
}

void HwmonTemperatureSource::read(std::vector<TemperatureReading>& out) {
    rescanIfDue();
    size_t n = 0;
    auto put = [&](std::string_view name, double celsius) {
        if (n == out.size()) out.emplace_back();
        out[n].name.assign(name);
        out[n].celsius = celsius;
        ++n;
    };
    for (Sensor& s : sensors_) {
        // A sensor that reads an error (EIO or ENODATA while its device sleeps) or garbage
        // is left out of this tick.
        if (const auto v = s.input.readInt(buf_)) put(s.name, static_cast<double>(*v) / 1000.0);
    }
    if (nvmlCount_ > 0) {
        double temps[kMaxNvidia];
        const int got = nvml_temperatures(temps, kMaxNvidia);
        for (int i = 0; i < got; ++i) {
            std::array<char, 24> name{};
            std::snprintf(name.data(), name.size(), got > 1 ? "GPU nvidia %d" : "GPU nvidia", i);
            put(name.data(), temps[i]);
        }
    }
    out.resize(n);
}

int HwmonTemperatureSource::sensorCount() {
    rescanIfDue();
    return static_cast<int>(sensors_.size()) + nvmlCount_;
}

ThermalPressure HwmonTemperatureSource::pressure() {
    rescanIfDue();
    ThermalPressure p = ThermalPressure::nominal;
    for (Zone& z : zones_)
        if (const auto t = z.temp.readInt(buf_)) p = std::max(p, zonePressure(*t, z.trips));
    return p;
}

}  // namespace velmora::platform
