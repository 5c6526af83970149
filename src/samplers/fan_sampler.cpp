#include "samplers/fan_sampler.h"

#include "bridge/bridge.h"

namespace velmora {

FanAccess FanAccess::smc() {
    return {smc_fan_count, smc_fan_rpm, smc_fan_target, smc_fan_min, smc_fan_max};
}

FanSampler::FanSampler() : FanSampler(FanAccess::smc()) {}

FanSampler::FanSampler(FanAccess access) : access_(std::move(access)) {
    const int n = access_.count ? access_.count() : -1;
    count_ = n >= 1 && n <= kMaxFans ? n : 0;
}

std::vector<FanInfo> FanSampler::sample() {
    std::vector<FanInfo> fans;
    if (count_ < 1) return fans;
    fans.reserve(static_cast<size_t>(count_));
    // NaN counts as unreadable too: a corrupt float must not reach the views.
    auto orZero = [](float v) { return v >= 0 ? static_cast<double>(v) : 0.0; };
    for (int i = 0; i < count_; ++i) {
        const float rpm = access_.rpm(i);
        if (!(rpm >= 0)) continue;  // no readable actual speed: the fan is left out
        fans.push_back({static_cast<double>(rpm), orZero(access_.target(i)), orZero(access_.min(i)),
                        orZero(access_.max(i))});
    }
    return fans;
}

}  // namespace velmora
