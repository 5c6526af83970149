#include "samplers/gpu_sampler.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

bool before(const platform::EngineBusy& a, const platform::EngineBusy& b) {
    if (const int c = std::strncmp(a.device.data(), b.device.data(), a.device.size())) return c < 0;
    if (a.client != b.client) return a.client < b.client;
    return std::strncmp(a.engine.data(), b.engine.data(), a.engine.size()) < 0;
}

bool same(const platform::EngineBusy& a, const platform::EngineBusy& b) {
    return !before(a, b) && !before(b, a);
}

}  // namespace

GPUSampler::GPUSampler() : GPUSampler(platform::makeGpuSource()) {}

GPUSampler::GPUSampler(std::unique_ptr<platform::GpuSource> source) : source_(std::move(source)) {}

double GPUSampler::sample() {
    if (!source_ || !source_->read(reading_)) return update(nullptr, SteadyClock::now());
    return update(&reading_, SteadyClock::now());
}

std::optional<double> GPUSampler::utilisation(const platform::AcceleratorStats& stats) {
    if (stats.deviceUtilization) return stats.deviceUtilization;
    if (stats.gpuActivity) return stats.gpuActivity;
    return stats.rendererUtilization;
}

double GPUSampler::update(const platform::GpuReading* reading, SteadyClock::time_point now) {
    if (!reading) return 0;
    double best = 0;
    for (const platform::AcceleratorStats& a : reading->accelerators)
        if (const auto v = utilisation(a)) best = std::max(best, *v);
    best = std::max(best, engineBusy(reading->engines, now));
    return std::min(best, 100.0);
}

double GPUSampler::engineBusy(const std::vector<platform::EngineBusy>& engines, SteadyClock::time_point now) {
    if (engines.empty() && prevEngines_.empty()) return 0;
    const double dtNs =
        prevTime_ ? static_cast<double>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(now - *prevTime_).count())
                  : 0.0;

    // Sum each engine's busy-time growth over the clients present in both readings; a client
    // that appeared or left this interval adds nothing, so its lifetime total never spikes.
    busy_.clear();
    std::vector<platform::EngineBusy>& sorted = scratch_;
    sorted.assign(engines.begin(), engines.end());
    std::sort(sorted.begin(), sorted.end(), before);
    size_t p = 0;
    for (const platform::EngineBusy& e : sorted) {
        while (p < prevEngines_.size() && before(prevEngines_[p], e))
            ++p;
        if (p == prevEngines_.size() || !same(prevEngines_[p], e) || e.busyNs < prevEngines_[p].busyNs)
            continue;
        const uint64_t delta = e.busyNs - prevEngines_[p].busyNs;
        auto it = std::find_if(busy_.begin(), busy_.end(), [&](const DeviceEngine& d) {
            return d.device == e.device && d.engine == e.engine;
        });
        if (it == busy_.end()) it = busy_.insert(busy_.end(), DeviceEngine{e.device, e.engine, 0, 1});
        it->busyNs += delta;
        it->capacity = std::max<uint32_t>(1, e.capacity);
    }
    prevEngines_.swap(sorted);
    prevTime_ = now;

    double best = 0;
    if (dtNs <= 0) return 0;
    for (const DeviceEngine& d : busy_)
        best = std::max(best, static_cast<double>(d.busyNs) / (dtNs * d.capacity) * 100.0);
    return best;
}

}  // namespace velmora
