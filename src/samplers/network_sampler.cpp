#include "samplers/network_sampler.h"

namespace velmora {

NetworkSampler::NetworkSampler() : NetworkSampler(platform::makeNetworkSource()) {}

NetworkSampler::NetworkSampler(std::unique_ptr<platform::NetworkSource> source)
    : source_(std::move(source)) {}

NetworkSampler::Result NetworkSampler::sample() {
    return sample(SteadyClock::now());
}

NetworkSampler::Result NetworkSampler::sample(SteadyClock::time_point now) {
    // A failed read reports no traffic and keeps the last good reading as the base: taking
    // zero as the base would make the next tick report every byte since boot.
    if (!source_ || !source_->read(scratch_)) {
        Result r;
        r.inTotal = inTotal_;
        r.outTotal = outTotal_;
        return r;
    }
    return update(sum(scratch_), now);
}

NetworkSampler::Counters NetworkSampler::counters() {
    if (!source_ || !source_->read(scratch_)) return {};
    return sum(scratch_);
}

NetworkSampler::Counters NetworkSampler::sum(const std::vector<platform::InterfaceBytes>& interfaces) {
    Counters c;
    for (const platform::InterfaceBytes& i : interfaces) {
        if (i.loopback) continue;
        c.in += i.received;
        c.out += i.sent;
    }
    return c;
}

NetworkSampler::Result NetworkSampler::update(Counters c, SteadyClock::time_point now) {
    Result r;
    const bool primed = prevTime_.has_value();
    const double dt = primed ? std::chrono::duration<double>(now - *prevTime_).count() : 0.0;
    if (primed && dt > 0) {
        // A counter that went backwards (an interface left or was reset) gives 0.
        r.inBps = c.in >= prevIn_ ? static_cast<double>(c.in - prevIn_) / dt : 0.0;
        r.outBps = c.out >= prevOut_ ? static_cast<double>(c.out - prevOut_) / dt : 0.0;
    }
    if (primed) {
        inTotal_ += c.in >= prevIn_ ? c.in - prevIn_ : 0;
        outTotal_ += c.out >= prevOut_ ? c.out - prevOut_ : 0;
    }
    r.inTotal = inTotal_;
    r.outTotal = outTotal_;
    prevIn_ = c.in;
    prevOut_ = c.out;
    prevTime_ = now;
    return r;
}

}  // namespace velmora
