#include "samplers/thermal_sampler.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace velmora {

namespace {

bool containsLower(std::string_view text, std::string_view needle) {
    if (needle.size() > text.size()) return false;
    for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < needle.size() &&
               std::tolower(static_cast<unsigned char>(text[i + j])) == static_cast<unsigned char>(needle[j]))
            ++j;
        if (j == needle.size()) return true;
    }
    return false;
}

bool endsWithLower(std::string_view text, char c) {
    return !text.empty() && std::tolower(static_cast<unsigned char>(text.back())) == c;
}

std::optional<double> number(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1StringView(key));
    if (!v.isDouble()) return std::nullopt;
    return v.toDouble();
}

}  // namespace

IOHIDTemperatureReader::IOHIDTemperatureReader()
    : IOHIDTemperatureReader(platform::makeTemperatureSource()) {}

IOHIDTemperatureReader::IOHIDTemperatureReader(std::unique_ptr<platform::TemperatureSource> source)
    : source_(std::move(source)) {}

const std::vector<platform::TemperatureReading>& IOHIDTemperatureReader::readAll() {
    if (source_)
        source_->read(raw_);
    else
        raw_.clear();
    // Copy into reused slots so names keep their storage from tick to tick.
    size_t n = 0;
    for (const platform::TemperatureReading& r : raw_) {
        if (!plausible(r.celsius)) continue;
        if (n == plausible_.size()) plausible_.emplace_back();
        plausible_[n].name.assign(r.name);
        plausible_[n].celsius = r.celsius;
        ++n;
    }
    plausible_.resize(n);
    return plausible_;
}

IOHIDTemperatureReader::Temps IOHIDTemperatureReader::read() {
    return summarize(readAll());
}

std::pair<int, int> IOHIDTemperatureReader::debugCounts() {
    const int n = source_ ? source_->sensorCount() : 0;
    return {n, n};
}

platform::ThermalPressure IOHIDTemperatureReader::pressure() {
    return source_ ? source_->pressure() : platform::ThermalPressure::nominal;
}

bool IOHIDTemperatureReader::isCpuName(std::string_view name) {
    return containsLower(name, "cpu") || containsLower(name, "tdie") ||
           (containsLower(name, "tp") && endsWithLower(name, 's'));
}

bool IOHIDTemperatureReader::isGpuName(std::string_view name) {
    return containsLower(name, "gpu") || (containsLower(name, "tp") && endsWithLower(name, 'g'));
}

IOHIDTemperatureReader::Temps IOHIDTemperatureReader::summarize(
    const std::vector<platform::TemperatureReading>& readings) {
    Temps t;
    if (readings.empty()) return t;
    double cpuSum = 0, gpuSum = 0;
    int cpuCount = 0, gpuCount = 0;
    double hottest = readings.front().celsius;
    for (const platform::TemperatureReading& r : readings) {
        hottest = std::max(hottest, r.celsius);
        if (isCpuName(r.name)) {
            cpuSum += r.celsius;
            ++cpuCount;
        }
        if (isGpuName(r.name)) {
            gpuSum += r.celsius;
            ++gpuCount;
        }
    }
    t.hottest = hottest;
    t.cpu = cpuCount > 0 ? cpuSum / cpuCount : hottest;
    if (gpuCount > 0) t.gpu = gpuSum / gpuCount;
    return t;
}

PowerFileContent parsePowerFile(std::string_view bytes) {
    PowerFileContent c;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return c;
    const QJsonObject o = doc.object();
    c.valid = true;
    c.ts = number(o, "ts");
    c.figures.cpuW = number(o, "cpu_power_w");
    c.figures.gpuW = number(o, "gpu_power_w");
    c.figures.aneW = number(o, "ane_power_w");
    return c;
}

PowerFigures powerFiguresAt(const PowerFileContent& content, double nowSeconds) {
    if (!content.valid) return {};
    if (content.ts) {
        const double age = nowSeconds - *content.ts;
        // Older than the window means the writer stopped. A stamp as far in the future is
        // just as untrustworthy: after the clock was set back it would otherwise pass as
        // fresh for as long as the clock takes to catch up.
        if (!std::isfinite(age) || age > ThermalSampler::kPowerFreshSeconds ||
            age < -ThermalSampler::kPowerFreshSeconds)
            return {};
    }
    return content.figures;
}

ThermalSampler::ThermalSampler(std::unique_ptr<platform::TemperatureSource> source, std::string powerFile)
    : hid_(std::move(source)), powerPath_(std::move(powerFile)) {}

PowerFigures ThermalSampler::power(double nowSeconds) {
    switch (platform::readSmallFile(powerPath_, powerStamp_, powerBuf_)) {
        case platform::SmallFileRead::missing:
            power_ = {};
            break;
        case platform::SmallFileRead::unchanged:
            break;
        case platform::SmallFileRead::read:
            power_ = parsePowerFile(powerBuf_);
            break;
    }
    return powerFiguresAt(power_, nowSeconds);
}

const std::vector<TemperatureSensor>& ThermalSampler::sensorsOf(
    const std::vector<platform::TemperatureReading>& readings) {
    sensors_.resize(readings.size());
    sensorNames_.resize(readings.size());
    for (size_t i = 0; i < readings.size(); ++i) {
        if (sensorNames_[i] != readings[i].name) {
            sensorNames_[i] = readings[i].name;
            sensors_[i].name = QString::fromStdString(readings[i].name);
        }
        sensors_[i].celsius = readings[i].celsius;
    }
    return sensors_;
}

ThermalSampler::Result ThermalSampler::sample() {
    Result r;
    r.state = static_cast<ThermalState>(hid_.pressure());
    const std::vector<platform::TemperatureReading>& readings = hid_.readAll();
    r.sensors = sensorsOf(readings);
    const IOHIDTemperatureReader::Temps t = IOHIDTemperatureReader::summarize(readings);
    r.cpuC = t.cpu;
    r.gpuC = t.gpu;
    r.hottestC = t.hottest;
    const double now = std::chrono::duration<double>(WallClock::now().time_since_epoch()).count();
    const PowerFigures p = power(now);
    r.cpuW = p.cpuW;
    r.gpuW = p.gpuW;
    r.aneW = p.aneW;
    return r;
}

}  // namespace velmora
