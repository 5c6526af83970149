#include "core/attribution.h"

#include <algorithm>
#include <chrono>

namespace velmora {

namespace {

// Names are swept of processes no moment refers to about once a minute, not every tick.
constexpr auto kNameSweep = std::chrono::seconds(60);

ProcShare shareOf(const ProcInfo& p) {
    return {.pid = p.pid,
            .startTime = p.startTime,
            .memBytes = p.memBytes,
            .cpu = static_cast<float>(p.cpu),
            .gpuPercent = static_cast<float>(p.gpuPercent),
            .diskReadBps = static_cast<float>(p.diskReadBps),
            .diskWriteBps = static_cast<float>(p.diskWriteBps)};
}

}  // namespace

void AttributionLog::add(const Snapshot& s) {
    if (!s.processesMeasured) return;
    while (!moments_.empty() && moments_.back().time >= s.time)
        moments_.pop_back();

    const std::vector<ProcInfo>& procs = s.processes;
    const size_t n = procs.size();
    picked_.assign(n, 0);
    // Marks the `perMetric` largest of a metric, those above 0 only: a process at 0 is in no
    // list of that metric.
    auto pick = [&](auto metric) {
        order_.clear();
        for (size_t i = 0; i < n; ++i)
            if (metric(procs[i]) > 0) order_.push_back(static_cast<uint32_t>(i));
        if (order_.size() > perMetric) {
            std::nth_element(order_.begin(), order_.begin() + perMetric, order_.end(), [&](uint32_t a, uint32_t b) {
                const double va = metric(procs[a]), vb = metric(procs[b]);
                return va > vb || (va == vb && a < b);
            });
            order_.resize(perMetric);
        }
        for (const uint32_t i : order_)
            picked_[i] = 1;
    };
    pick([](const ProcInfo& p) { return p.cpu; });
    pick([](const ProcInfo& p) { return static_cast<double>(p.memBytes); });
    pick([](const ProcInfo& p) { return p.diskReadBps + p.diskWriteBps; });
    pick([](const ProcInfo& p) { return p.gpuPercent; });
    // The children's CPU ranks as a process of its own.
    order_.clear();
    for (size_t i = 0; i < n; ++i)
        if (procs[i].childrenCpu > 0) order_.push_back(static_cast<uint32_t>(i));
    if (order_.size() > perMetric) {
        std::nth_element(order_.begin(), order_.begin() + perMetric, order_.end(),
                         [&](uint32_t a, uint32_t b) { return procs[a].childrenCpu > procs[b].childrenCpu; });
        order_.resize(perMetric);
    }
    for (const uint32_t i : order_)
        picked_[i] |= 2;
    const size_t childRows = order_.size();

    ProcMoment& m = moments_.emplace_back();
    m.time = s.time;
    size_t count = childRows;
    for (size_t i = 0; i < n; ++i)
        count += picked_[i] & 1;
    m.shares.reserve(count);
    for (size_t i = 0; i < n; ++i) {
        if (!picked_[i]) continue;
        const ProcInfo& p = procs[i];
        if (picked_[i] & 1) m.shares.push_back(shareOf(p));
        if (picked_[i] & 2)
            m.shares.push_back({.pid = p.pid,
                                .children = true,
                                .startTime = p.startTime,
                                .cpu = static_cast<float>(p.childrenCpu)});
        Named& named = names_[{p.pid, p.startTime}];
        // The name is shared with the snapshot's, not copied.
        if (named.name != p.name) named.name = p.name;
        named.lastSeen = s.time;
    }
}

void AttributionLog::trimBefore(TimePoint oldest) {
    size_t drop = 0;
    while (drop < moments_.size() && moments_[drop].time < oldest)
        ++drop;
    if (drop > 0) moments_.erase(moments_.begin(), moments_.begin() + static_cast<std::ptrdiff_t>(drop));
    if (moments_.empty()) {
        names_.clear();
        return;
    }
    const TimePoint first = moments_.front().time;
    if (first - lastNameSweep_ < kNameSweep && first >= lastNameSweep_) return;
    lastNameSweep_ = first;
    std::erase_if(names_, [first](const auto& item) { return item.second.lastSeen < first; });
}

void AttributionLog::clear() {
    moments_.clear();
    names_.clear();
}

const ProcMoment* AttributionLog::at(TimePoint t) const {
    const auto it = std::lower_bound(moments_.begin(), moments_.end(), t,
                                     [](const ProcMoment& m, TimePoint x) { return m.time < x; });
    return it != moments_.end() && it->time == t ? &*it : nullptr;
}

QString AttributionLog::name(ProcIdentity id) const {
    const auto it = names_.find(id);
    return it != names_.end() ? it->second.name : QString();
}

const ProcShare* AttributionLog::lastShare(ProcIdentity id, TimePoint* when) const {
    for (auto m = moments_.rbegin(); m != moments_.rend(); ++m)
        for (const ProcShare& s : m->shares)
            if (!s.children && s.pid == id.pid && s.startTime == id.startTime) {
                if (when) *when = m->time;
                return &s;
            }
    return nullptr;
}

size_t AttributionLog::bytes() const {
    size_t total = sizeof(*this);
    for (const ProcMoment& m : moments_)
        total += sizeof(ProcMoment) + m.shares.capacity() * sizeof(ProcShare);
    // A node per name with its hash link, and each name's characters (counted even where a
    // snapshot still shares them).
    for (const auto& [id, named] : names_)
        total += sizeof(ProcIdentity) + sizeof(Named) + 2 * sizeof(void*) +
                 static_cast<size_t>(named.name.capacity()) * sizeof(QChar);
    total += names_.bucket_count() * sizeof(void*);
    return total;
}

}  // namespace velmora
