#include "samplers/battery_sampler.h"

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

// Minutes as the snapshot stores them; the platform reports -1 while it is still estimating.
std::optional<int> positiveMinutes(const std::optional<int64_t>& v) {
    if (!v || *v < 1) return std::nullopt;
    return static_cast<int>(std::min<int64_t>(*v, std::numeric_limits<int>::max()));
}

}  // namespace

BatterySampler::BatterySampler() : BatterySampler(platform::makeBatterySource()) {}

BatterySampler::BatterySampler(std::unique_ptr<platform::BatterySource> source)
    : source_(std::move(source)) {}

BatteryInfo BatterySampler::sample() {
    reading_ = {};
    if (source_) source_->read(reading_);
    return fromReading(reading_);
}

BatteryInfo BatterySampler::fromReading(const platform::BatteryReading& reading) {
    BatteryInfo info;
    if (const auto& d = reading.powerSource) {
        if (d->currentCapacity && d->maxCapacity && *d->maxCapacity >= 1)
            info.percent =
                static_cast<double>(*d->currentCapacity) / static_cast<double>(*d->maxCapacity) * 100.0;
        info.charging = d->isCharging.value_or(false);
        info.acPower = d->powerSourceState && *d->powerSourceState == "AC Power";
        info.timeToEmptyMin = positiveMinutes(d->timeToEmpty);
        info.timeToFullMin = positiveMinutes(d->timeToFullCharge);
        info.present = true;
    }
    if (const auto& c = reading.controller) {
        if (c->cycleCount)
            info.cycleCount = static_cast<int>(std::clamp<int64_t>(
                *c->cycleCount, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
        const int64_t design = c->designCapacity.value_or(0);
        const std::optional<int64_t> full = c->appleRawMaxCapacity ? c->appleRawMaxCapacity : c->maxCapacity;
        if (full && *full > 0 && design > 0)
            info.healthPercent = static_cast<double>(*full) / static_cast<double>(design) * 100.0;
        info.present = true;
    }
    return info;
}

}  // namespace velmora
