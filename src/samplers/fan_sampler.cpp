#include "samplers/fan_sampler.h"

namespace velmora {

FanSampler::FanSampler(std::unique_ptr<platform::FanSource> source) : source_(std::move(source)) {
    const int n = source_ ? source_->count() : -1;
    count_ = n >= 1 && n <= kMaxFans ? n : 0;
}

std::vector<FanInfo> FanSampler::sample() {
    std::vector<FanInfo> fans;
    if (count_ < 1) return fans;
    fans.reserve(static_cast<size_t>(count_));
    // NaN counts as unreadable too: a corrupt float must not reach the views.
    auto orZero = [](float v) { return v >= 0 ? static_cast<double>(v) : 0.0; };
    for (int i = 0; i < count_; ++i) {
        const platform::FanSpeeds s = source_->read(i);
        if (!(s.rpm >= 0)) continue;  // no readable actual speed: the fan is left out
        fans.push_back({static_cast<double>(s.rpm), orZero(s.target), orZero(s.min), orZero(s.max)});
    }
    return fans;
}

}  // namespace velmora
