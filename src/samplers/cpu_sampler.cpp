#include "samplers/cpu_sampler.h"

#include <algorithm>

namespace velmora {

namespace {
// Guards against a corrupt fact turning into a huge allocation.
constexpr int64_t kMaxCores = 8192;
}  // namespace

CPUSampler::CPUSampler() : CPUSampler(platform::makeCpuTickSource()) {}

CPUSampler::CPUSampler(std::unique_ptr<platform::CpuTickSource> source) : source_(std::move(source)) {}

CpuSample CPUSampler::sample() {
    if (!source_ || !source_->read(scratch_)) return update(nullptr);
    if (const uint64_t generation = source_->layoutGeneration(); generation != layoutGeneration_) {
        layoutGeneration_ = generation;
        prevTicks_.clear();  // other cores now: start again from this reading
    }
    return update(&scratch_);
}

CpuSample CPUSampler::update(const std::vector<platform::CpuCoreTicks>* current) {
    CpuSample out;
    // A failed read leaves the previous ticks alone so the next good read still has a base.
    if (!current) return out;

    if (prevTicks_.size() != current->size()) {
        prevTicks_ = *current;
        out.perCore.assign(current->size(), 0.0);
        return out;
    }

    out.perCore.reserve(current->size());
    double sum = 0;
    for (size_t i = 0; i < current->size(); ++i) {
        const platform::CpuCoreTicks& c = (*current)[i];
        const platform::CpuCoreTicks& p = prevTicks_[i];
        const double user = static_cast<uint32_t>(c.user - p.user);
        const double system = static_cast<uint32_t>(c.system - p.system);
        const double idle = static_cast<uint32_t>(c.idle - p.idle);
        const double nice = static_cast<uint32_t>(c.nice - p.nice);
        const double busy = user + system + nice;
        const double all = busy + idle;
        const double percent = all > 0 ? busy / all * 100.0 : 0.0;
        out.perCore.push_back(percent);
        sum += percent;
    }
    prevTicks_.assign(current->begin(), current->end());
    out.total = out.perCore.empty() ? 0.0 : sum / static_cast<double>(out.perCore.size());
    return out;
}

const CoreTopology& CoreTopology::shared() {
    static const CoreTopology topology = build(platform::readCoreLayout());
    return topology;
}

CoreTopology CoreTopology::build(const platform::CoreLayout& layout) {
    CoreTopology t;
    for (const platform::CoreCluster& c : layout.clusters) {
        const CoreKind kind = c.kind == platform::CoreCluster::Kind::performance ? CoreKind::performance()
                              : c.kind == platform::CoreCluster::Kind::efficiency
                                  ? CoreKind::efficiency()
                                  : CoreKind::other(QString::fromStdString(c.name));
        const int64_t room = kMaxCores - static_cast<int64_t>(t.kinds.size());
        t.kinds.insert(t.kinds.end(), static_cast<size_t>(std::clamp<int64_t>(c.cores, 0, room)), kind);
    }
    if (t.kinds.empty()) {
        const int64_t m = std::clamp<int64_t>(layout.logicalCores.value_or(1), 0, kMaxCores);
        t.kinds.assign(static_cast<size_t>(m), CoreKind::unnamed());
    }
    for (size_t i = 0; i < t.kinds.size(); ++i) {
        if (!t.groups.empty() && t.groups.back().kind == t.kinds[i])
            t.groups.back().indices.push_back(static_cast<int>(i));
        else
            t.groups.push_back({t.kinds[i], {static_cast<int>(i)}});
    }
    return t;
}

}  // namespace velmora
