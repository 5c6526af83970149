#include "ui/analysis/analysis_model.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/system_colors.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace velmora {

namespace {

struct KindFacts {
    AnalysisKind kind;
    const char* raw;
    const char* title;
    double threshold;
};

constexpr KindFacts kKinds[] = {
    {AnalysisKind::cpu, "cpu", VL_KEY("anTitleCpu"), 8.0},
    {AnalysisKind::memory, "memory", VL_KEY("anTitleMem"), 104857600.0},
    {AnalysisKind::disk, "disk", VL_KEY("anTitleDisk"), 102400.0},
    {AnalysisKind::network, "network", VL_KEY("anTitleNet"), 20480.0},
    {AnalysisKind::gpu, "gpu", VL_KEY("anTitleGpu"), std::numeric_limits<double>::infinity()},
};

const KindFacts& factsOf(AnalysisKind kind) {
    for (const KindFacts& f : kKinds)
        if (f.kind == kind) return f;
    return kKinds[0];
}

QString percent(double v) {
    return Format::fixed(v, 0) + u'%';
}

QString downUp(double in, double out, const char* gap = " ") {
    return QStringLiteral("↓") + Format::bps(in) + QLatin1String(gap) + QStringLiteral("↑") + Format::bps(out);
}

// Keeps the list's first rows only, largest value first, equal values in the order they
// first appeared: labels are made for the rows a window can show, not for every process.
template <typename Key, typename ValueOf>
void topFirst(std::vector<Key>& order, ValueOf valueOf) {
    std::vector<std::pair<double, size_t>> keyed;
    keyed.reserve(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        keyed.emplace_back(valueOf(order[i]), i);
    const size_t keep = std::min(order.size(), ResourceAnalysis::rowLimit);
    std::partial_sort(keyed.begin(), keyed.begin() + static_cast<std::ptrdiff_t>(keep), keyed.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
    std::vector<Key> out;
    out.reserve(keep);
    for (size_t i = 0; i < keep; ++i)
        out.push_back(order[keyed[i].second]);
    order = std::move(out);
}

}  // namespace

QString rawValue(AnalysisKind kind) {
    return QString::fromLatin1(factsOf(kind).raw);
}

std::optional<AnalysisKind> analysisKindFromRaw(const QString& raw) {
    for (const KindFacts& f : kKinds)
        if (raw == QLatin1String(f.raw)) return f.kind;
    return std::nullopt;
}

QString titleKey(AnalysisKind kind) {
    return QString::fromLatin1(factsOf(kind).title);
}

double peakThreshold(AnalysisKind kind) {
    return factsOf(kind).threshold;
}

// A process of a snapshot and one of the attribution log rank alike.
template <typename Process>
double metricOfAny(const Process& p, AnalysisKind kind) {
    switch (kind) {
        case AnalysisKind::cpu:
            return p.cpu;
        case AnalysisKind::memory:
            return static_cast<double>(p.memBytes);
        case AnalysisKind::disk:
            return static_cast<double>(p.diskReadBps) + static_cast<double>(p.diskWriteBps);
        case AnalysisKind::gpu:
            return p.gpuPercent;
        case AnalysisKind::network:
            return 0;
    }
    return 0;
}

double metricOf(const ProcInfo& p, AnalysisKind kind) {
    return metricOfAny(p, kind);
}

double metricOf(const ProcShare& p, AnalysisKind kind) {
    return metricOfAny(p, kind);
}

QColor rowColor(AnalysisKind kind, double v) {
    switch (kind) {
        case AnalysisKind::cpu:
            return v >= 100 ? SystemColor::red() : v >= 50 ? SystemColor::orange()
                                               : v >= 35   ? SystemColor::yellow()
                                                           : SystemColor::green();
        case AnalysisKind::gpu:
            return v >= 90 ? SystemColor::red() : v >= 40 ? SystemColor::orange()
                                              : v >= 28   ? SystemColor::yellow()
                                                          : SystemColor::green();
        case AnalysisKind::memory:
            return SystemColor::teal();
        case AnalysisKind::disk:
            return SystemColor::purple();
        case AnalysisKind::network:
            return SystemColor::green();
    }
    return SystemColor::green();
}

namespace {

struct RowKeyHash {
    size_t operator()(const AnalysisRowKey& k) const noexcept {
        return std::hash<uint64_t>()((k.startTime * 0x9E3779B97F4A7C15ull) ^ static_cast<uint32_t>(k.pid) ^
                                     (k.children ? 1ull << 63 : 0));
    }
};

// The bar of a percentage is as long as its label says: a process shown at "0%" has none.
double shownPercent(double v) {
    return Format::fixed(v, 0).toDouble();
}

}  // namespace

double ResourceAnalysis::barFraction(double v, double top) const {
    if (kind_ == AnalysisKind::cpu || kind_ == AnalysisKind::gpu) {
        v = shownPercent(v);
        top = shownPercent(top);
    }
    return top > 0 ? std::clamp(v / top, 0.0, 1.0) : 0;
}

QString ResourceAnalysis::rowName(const QString& name, bool children) {
    return children ? Localizer::shared().t(QStringLiteral("anWithChildren"), name) : name;
}

std::vector<AnalysisRow> ResourceAnalysis::instantRows(const AnalysisInputs& in, TimePoint at) const {
    std::vector<AnalysisRow> rows;
    if (kind_ == AnalysisKind::network) {
        const auto index = closestEntry(in.netHistory, at, [](const NetProcMonitor::Entry& e) { return e.time; });
        if (!index || !withinReach(in.netHistory[*index].time, at)) return rows;
        std::vector<ProcNet> procs = in.netHistory[*index].procs;
        std::stable_sort(procs.begin(), procs.end(), [](const ProcNet& a, const ProcNet& b) {
            return a.inBps + a.outBps > b.inBps + b.outBps;
        });
        const double top = procs.empty() ? 0 : procs.front().inBps + procs.front().outBps;
        std::unordered_map<int32_t, const ProcInfo*> live;
        for (const ProcInfo& p : in.current.processes)
            live.emplace(p.pid, &p);
        for (size_t i = 0; i < procs.size() && i < rowLimit; ++i) {
            const ProcNet& n = procs[i];
            const auto alive = live.find(n.pid);
            const bool known = alive != live.end() && (n.startTime == 0 || alive->second->startTime == n.startTime);
            rows.push_back({.pid = n.pid,
                            .startTime = n.startTime != 0 ? n.startTime : known ? alive->second->startTime : 0,
                            .name = known ? alive->second->name : n.name,
                            .value = netLabel(n),
                            .fraction = top > 0 ? (n.inBps + n.outBps) / top : 0,
                            .color = SystemColor::green()});
        }
        return rows;
    }

    const auto index = closestEntry(in.history, at, [](const Snapshot& s) { return s.time; });
    if (!index) return rows;
    const ProcMoment* moment = in.attribution.at(in.history[*index].time);
    if (!moment) return rows;
    std::vector<const ProcShare*> procs;
    for (const ProcShare& p : moment->shares)
        if (metricOf(p, kind_) > 0) procs.push_back(&p);
    std::stable_sort(procs.begin(), procs.end(),
                     [&](const ProcShare* a, const ProcShare* b) { return metricOf(*a, kind_) > metricOf(*b, kind_); });
    // Beyond the heaviest the log keeps of this metric, processes kept for another metric
    // would rank without those left out between them.
    size_t own = 0, children = 0;
    std::erase_if(procs, [&](const ProcShare* p) { return ++(p->children ? children : own) > AttributionLog::perMetric; });
    const double max = procs.empty() ? 1.0 : metricOf(*procs.front(), kind_);
    for (size_t i = 0; i < procs.size() && i < rowLimit; ++i) {
        const ProcShare& p = *procs[i];
        const double v = metricOf(p, kind_);
        rows.push_back({.pid = p.pid,
                        .startTime = p.startTime,
                        .children = p.children,
                        .name = rowName(in.attribution.name({p.pid, p.startTime}), p.children),
                        .value = procLabel(p, v, std::nullopt, in.now),
                        .fraction = barFraction(v, max),
                        .color = rowColor(kind_, v)});
    }
    return rows;
}

std::vector<AnalysisRow> ResourceAnalysis::peakRows(const AnalysisInputs& in) const {
    if (kind_ == AnalysisKind::network) return peakRowsNetwork(in);
    const double threshold = peakThreshold(kind_);
    std::vector<AnalysisRow> rows;
    if (!(threshold < std::numeric_limits<double>::infinity())) return rows;
    struct Best {
        double v;
        const ProcShare* record;
        TimePoint time;
    };
    std::unordered_map<AnalysisRowKey, Best, RowKeyHash> best;
    std::vector<AnalysisRowKey> order;  // first appearance, so equal peaks sort steadily
    for (const ProcMoment& m : in.attribution.moments()) {
        for (const ProcShare& p : m.shares) {
            const double v = metricOf(p, kind_);
            if (!(v >= threshold)) continue;
            const AnalysisRowKey key{p.pid, p.startTime, p.children};
            const auto [it, added] = best.try_emplace(key, Best{v, &p, m.time});
            if (added)
                order.push_back(key);
            else if (v > it->second.v)
                it->second = Best{v, &p, m.time};  // ties keep the earlier moment
        }
    }
    std::unordered_set<AnalysisRowKey, RowKeyHash> now;
    for (const ProcInfo& p : in.current.processes) {
        if (metricOf(p, kind_) >= threshold) now.insert({p.pid, p.startTime, false});
        if (kind_ == AnalysisKind::cpu && p.childrenCpu >= threshold) now.insert({p.pid, p.startTime, true});
    }

    std::erase_if(order, [&](const AnalysisRowKey& key) { return dismissed_.contains(key); });
    topFirst(order, [&](const AnalysisRowKey& key) { return best.at(key).v; });
    const double top = order.empty() ? 0 : best.at(order.front()).v;
    rows.reserve(order.size());
    for (const AnalysisRowKey& key : order) {
        const Best& b = best.at(key);
        rows.push_back({.pid = key.pid,
                        .startTime = key.startTime,
                        .children = key.children,
                        .name = rowName(in.attribution.name({key.pid, key.startTime}), key.children),
                        .value = procLabel(*b.record, b.v, b.time, in.now),
                        .fraction = barFraction(b.v, top),
                        .color = rowColor(kind_, b.v),
                        .active = now.contains(key)});
    }
    return rows;
}

bool ResourceAnalysis::processesKnown(const AnalysisInputs& in, std::optional<TimePoint> at) const {
    if (kind_ == AnalysisKind::network) {
        if (in.netHistory.empty()) return false;
        if (!at) return true;
        const auto index = closestEntry(in.netHistory, *at, [](const NetProcMonitor::Entry& e) { return e.time; });
        return index && withinReach(in.netHistory[*index].time, *at);
    }
    if (!at) return !in.attribution.moments().empty();
    const auto index = closestEntry(in.history, *at, [](const Snapshot& s) { return s.time; });
    return index && in.attribution.at(in.history[*index].time) != nullptr;
}

std::vector<std::pair<TimePoint, TimePoint>> ResourceAnalysis::unknownSpans(const AnalysisInputs& in) const {
    std::vector<std::pair<TimePoint, TimePoint>> spans;
    if (in.history.empty()) return spans;
    if (kind_ == AnalysisKind::network) {
        // The monitor measures only while the window shows: before its first entry, nothing.
        const TimePoint first = in.netHistory.empty() ? in.history.back().time : in.netHistory.front().time;
        if (in.history.front().time < first) spans.emplace_back(in.history.front().time, first);
        return spans;
    }
    const auto& moments = in.attribution.moments();
    size_t m = 0;
    std::optional<TimePoint> open;
    TimePoint lastUnknown{};
    for (const Snapshot& s : in.history) {
        while (m < moments.size() && moments[m].time < s.time)
            ++m;
        const bool known = m < moments.size() && moments[m].time == s.time;
        if (!known) {
            if (!open) open = s.time;
            lastUnknown = s.time;
        } else if (open) {
            spans.emplace_back(*open, s.time);
            open.reset();
        }
    }
    if (open) spans.emplace_back(*open, lastUnknown);
    return spans;
}

bool ResourceAnalysis::inHistory(const AnalysisInputs& in, TimePoint t) const {
    if (kind_ == AnalysisKind::network)
        return !in.netHistory.empty() && t >= in.netHistory.front().time;
    return !in.history.empty() && t >= in.history.front().time;
}

std::vector<AnalysisRow> ResourceAnalysis::peakRowsNetwork(const AnalysisInputs& in) const {
    const double threshold = peakThreshold(AnalysisKind::network);
    struct Best {
        double v;
        const ProcNet* record;
        TimePoint time;
    };
    std::unordered_map<int32_t, const ProcInfo*> live;
    for (const ProcInfo& p : in.current.processes)
        live.emplace(p.pid, &p);
    // A live measurement knows pids only: a process the engine knows now lends its start time.
    // A remembered one carries its own, which tells a reused pid apart.
    auto keyOf = [&](const ProcNet& n) {
        if (n.startTime != 0) return AnalysisRowKey{n.pid, n.startTime, false};
        const auto alive = live.find(n.pid);
        return AnalysisRowKey{n.pid, alive != live.end() ? alive->second->startTime : 0, false};
    };
    std::unordered_map<AnalysisRowKey, Best, RowKeyHash> best;
    std::vector<AnalysisRowKey> order;
    for (const NetProcMonitor::Entry& e : in.netHistory)
        for (const ProcNet& n : e.procs) {
            const double total = n.inBps + n.outBps;
            if (!(total >= threshold)) continue;
            const auto [it, added] = best.try_emplace(keyOf(n), Best{total, &n, e.time});
            if (added)
                order.push_back(it->first);
            else if (total > it->second.v)
                it->second = Best{total, &n, e.time};
        }
    std::unordered_set<int32_t> now;
    for (const ProcNet& n : in.netNow)
        if (n.inBps + n.outBps >= threshold) now.insert(n.pid);

    std::erase_if(order, [&](const AnalysisRowKey& key) { return dismissed_.contains(key); });
    topFirst(order, [&](const AnalysisRowKey& key) { return best.at(key).v; });
    std::vector<AnalysisRow> rows;
    const double top = order.empty() ? 0 : best.at(order.front()).v;
    for (const AnalysisRowKey& key : order) {
        const Best& b = best.at(key);
        const auto alive = live.find(key.pid);
        const bool same = alive != live.end() && alive->second->startTime == key.startTime;
        rows.push_back({.pid = key.pid,
                        .startTime = key.startTime,
                        .name = same ? alive->second->name : b.record->name,
                        .value = netLabel(*b.record) + QStringLiteral(", ") + agoText(b.time, in.now),
                        .fraction = top > 0 ? b.v / top : 0,
                        .color = SystemColor::green(),
                        .active = now.contains(key.pid)});
    }
    return rows;
}

bool ResourceAnalysis::withinReach(TimePoint entry, TimePoint at) {
    return (entry > at ? entry - at : at - entry) <= netReach;
}

QString ResourceAnalysis::netLabel(const ProcNet& n) const {
    return combinedRates_ ? Format::bps(n.inBps + n.outBps) : downUp(n.inBps, n.outBps);
}

std::vector<AnalysisRow> ResourceAnalysis::rows(const AnalysisInputs& in) const {
    std::vector<AnalysisRow> out = selectedTime ? instantRows(in, *selectedTime) : peakRows(in);
    if (out.size() > rowLimit) out.resize(rowLimit);
    return out;
}

void ResourceAnalysis::syncSelection(const std::vector<AnalysisRow>& shown) {
    const size_t n = std::min(shown.size(), rowLimit);
    if (selected)
        for (size_t i = 0; i < n; ++i)
            if (shown[i].key() == *selected) return;
    selected = n > 0 ? std::optional<AnalysisRowKey>(shown.front().key()) : std::nullopt;
}

std::vector<TimePoint> ResourceAnalysis::historyTimes(const AnalysisInputs& in) const {
    std::vector<TimePoint> out;
    if (kind_ == AnalysisKind::network) {
        for (const NetProcMonitor::Entry& e : in.netHistory)
            out.push_back(e.time);
    } else {
        for (const Snapshot& s : in.history)
            out.push_back(s.time);
    }
    return out;
}

QString ResourceAnalysis::nowSummary(const Snapshot& s) const {
    switch (kind_) {
        case AnalysisKind::cpu:
            return percent(s.cpuTotal);
        case AnalysisKind::memory:
            return Format::bytes(s.memUsed) + QStringLiteral(" / ") + Format::bytes(s.memTotal);
        case AnalysisKind::disk:
            return downUp(s.diskReadBps, s.diskWriteBps, "  ");
        case AnalysisKind::network:
            return downUp(s.netInBps, s.netOutBps, "  ");
        case AnalysisKind::gpu:
            return percent(s.gpuPercent);
    }
    return {};
}

QString ResourceAnalysis::procLabel(const ProcShare& p, double value, std::optional<TimePoint> time,
                                    TimePoint now) const {
    const QString suffix = time ? QStringLiteral(", ") + agoText(*time, now) : QString();
    switch (kind_) {
        case AnalysisKind::cpu:
        case AnalysisKind::gpu:
            return percent(value) + suffix;
        case AnalysisKind::memory:
            return Format::bytes(p.memBytes) + suffix;
        case AnalysisKind::disk:
            return (combinedRates_ ? Format::bps(value) : downUp(p.diskReadBps, p.diskWriteBps)) + suffix;
        case AnalysisKind::network:
            return {};
    }
    return {};
}

QString ResourceAnalysis::agoText(TimePoint t, TimePoint now) {
    return agoText(t, now, Localizer::shared());
}

QString ResourceAnalysis::agoText(TimePoint t, TimePoint now, const Localizer& loc) {
    // Whole seconds, the fraction dropped; a moment in the future reads as now.
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(now - t).count();
    if (s <= 1) return loc.t(QStringLiteral("agoNow"));
    if (s <= 59) return loc.t(QStringLiteral("agoSec"), static_cast<qint64>(s));
    // Hours and days only reach a remembered range; the live history is ten minutes long.
    if (s < 3600) return loc.t(QStringLiteral("agoMin"), static_cast<qint64>(s / 60));
    if (s < 86400) return loc.t(QStringLiteral(VL_KEY("hrAgoHours")), static_cast<qint64>(s / 3600));
    return loc.t(QStringLiteral(VL_KEY("hrAgoDays")), static_cast<qint64>(s / 86400));
}

}  // namespace velmora
