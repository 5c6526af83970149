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
    {AnalysisKind::cpu, "cpu", "anTitleCpu", 8.0},
    {AnalysisKind::memory, "memory", "anTitleMem", 104857600.0},
    {AnalysisKind::disk, "disk", "anTitleDisk", 102400.0},
    {AnalysisKind::network, "network", "anTitleNet", 20480.0},
    {AnalysisKind::gpu, "gpu", "anTitleGpu", std::numeric_limits<double>::infinity()},
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

double metricOf(const ProcInfo& p, AnalysisKind kind) {
    switch (kind) {
        case AnalysisKind::cpu:
            return p.cpu;
        case AnalysisKind::memory:
            return static_cast<double>(p.memBytes);
        case AnalysisKind::disk:
            return p.diskReadBps + p.diskWriteBps;
        case AnalysisKind::gpu:
            return p.gpuPercent;
        case AnalysisKind::network:
            return 0;
    }
    return 0;
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

std::vector<AnalysisRow> ResourceAnalysis::instantRows(const AnalysisInputs& in, TimePoint at) const {
    std::vector<AnalysisRow> rows;
    if (kind_ == AnalysisKind::network) {
        const auto index = closestEntry(in.netHistory, at, [](const NetProcMonitor::Entry& e) { return e.time; });
        if (!index) return rows;
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
            rows.push_back({n.pid, alive != live.end() ? alive->second->startTime : 0,
                            alive != live.end() ? alive->second->name : n.name, downUp(n.inBps, n.outBps),
                            top > 0 ? (n.inBps + n.outBps) / top : 0, SystemColor::green(), false});
        }
        return rows;
    }

    const auto index = closestEntry(in.history, at, [](const Snapshot& s) { return s.time; });
    if (!index) return rows;
    std::vector<const ProcInfo*> procs;
    for (const ProcInfo& p : in.history[*index].processes)
        if (metricOf(p, kind_) > 0) procs.push_back(&p);
    std::stable_sort(procs.begin(), procs.end(),
                     [&](const ProcInfo* a, const ProcInfo* b) { return metricOf(*a, kind_) > metricOf(*b, kind_); });
    const double max = procs.empty() ? 1.0 : metricOf(*procs.front(), kind_);
    for (size_t i = 0; i < procs.size() && i < rowLimit; ++i) {
        const ProcInfo& p = *procs[i];
        const double v = metricOf(p, kind_);
        rows.push_back({p.pid, p.startTime, p.name, procLabel(p, v, std::nullopt, in.now), max > 0 ? v / max : 0,
                        rowColor(kind_, v), false});
    }
    return rows;
}

std::vector<AnalysisRow> ResourceAnalysis::peakRows(const AnalysisInputs& in) const {
    if (kind_ == AnalysisKind::network) return peakRowsNetwork(in);
    const double threshold = peakThreshold(kind_);
    struct Best {
        double v;
        const ProcInfo* record;
        TimePoint time;
    };
    // Keyed by pid and start stamp: a process that took over an old pid is another process.
    using Key = std::pair<int32_t, uint64_t>;
    std::map<Key, Best> best;
    std::vector<Key> order;  // first appearance, so equal peaks sort steadily
    const size_t start = in.history.size() > peakWindow ? in.history.size() - peakWindow : 0;
    for (size_t i = start; i < in.history.size(); ++i) {
        const Snapshot& s = in.history[i];
        for (const ProcInfo& p : s.processes) {
            const double v = metricOf(p, kind_);
            if (!(v >= threshold)) continue;
            const Key key{p.pid, p.startTime};
            const auto [it, added] = best.try_emplace(key, Best{v, &p, s.time});
            if (added)
                order.push_back(key);
            else if (v > it->second.v)
                it->second = Best{v, &p, s.time};  // ties keep the earlier moment
        }
    }
    std::set<Key> now;
    for (const ProcInfo& p : in.current.processes)
        if (metricOf(p, kind_) >= threshold) now.insert({p.pid, p.startTime});

    std::erase_if(order, [&](const Key& key) { return dismissed_.contains(key.first); });
    topFirst(order, [&](const Key& key) { return best[key].v; });
    std::vector<AnalysisRow> rows;
    const double top = order.empty() ? 0 : best[order.front()].v;
    for (const Key& key : order) {
        const Best& b = best[key];
        rows.push_back({key.first, key.second, b.record->name, procLabel(*b.record, b.v, b.time, in.now),
                        top > 0 ? b.v / top : 0, rowColor(kind_, b.v), now.contains(key)});
    }
    return rows;
}

std::vector<AnalysisRow> ResourceAnalysis::peakRowsNetwork(const AnalysisInputs& in) const {
    const double threshold = peakThreshold(AnalysisKind::network);
    struct Best {
        double v;
        const ProcNet* record;
        TimePoint time;
    };
    std::unordered_map<int32_t, Best> best;
    std::vector<int32_t> order;
    for (const NetProcMonitor::Entry& e : in.netHistory)
        for (const ProcNet& n : e.procs) {
            const double total = n.inBps + n.outBps;
            if (!(total >= threshold)) continue;
            const auto [it, added] = best.try_emplace(n.pid, Best{total, &n, e.time});
            if (added)
                order.push_back(n.pid);
            else if (total > it->second.v)
                it->second = Best{total, &n, e.time};
        }
    std::unordered_set<int32_t> now;
    for (const ProcNet& n : in.netNow)
        if (n.inBps + n.outBps >= threshold) now.insert(n.pid);
    std::unordered_map<int32_t, const ProcInfo*> live;
    for (const ProcInfo& p : in.current.processes)
        live.emplace(p.pid, &p);

    std::erase_if(order, [&](int32_t pid) { return dismissed_.contains(pid); });
    topFirst(order, [&](int32_t pid) { return best[pid].v; });
    std::vector<AnalysisRow> rows;
    const double top = order.empty() ? 0 : best[order.front()].v;
    for (const int32_t pid : order) {
        const Best& b = best[pid];
        const auto alive = live.find(pid);
        rows.push_back({pid, alive != live.end() ? alive->second->startTime : 0,
                        alive != live.end() ? alive->second->name : b.record->name,
                        downUp(b.record->inBps, b.record->outBps) + QStringLiteral(", ") + agoText(b.time, in.now),
                        top > 0 ? b.v / top : 0, SystemColor::green(), now.contains(pid)});
    }
    return rows;
}

std::vector<AnalysisRow> ResourceAnalysis::rows(const AnalysisInputs& in) const {
    std::vector<AnalysisRow> out = selectedTime ? instantRows(in, *selectedTime) : peakRows(in);
    if (out.size() > rowLimit) out.resize(rowLimit);
    return out;
}

void ResourceAnalysis::syncSelection(const std::vector<AnalysisRow>& shown) {
    const size_t n = std::min(shown.size(), rowLimit);
    if (selectedPID)
        for (size_t i = 0; i < n; ++i)
            if (shown[i].pid == *selectedPID) return;
    selectedPID = n > 0 ? std::optional<int32_t>(shown.front().pid) : std::nullopt;
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

QString ResourceAnalysis::procLabel(const ProcInfo& p, double value, std::optional<TimePoint> time,
                                    TimePoint now) const {
    const QString suffix = time ? QStringLiteral(", ") + agoText(*time, now) : QString();
    switch (kind_) {
        case AnalysisKind::cpu:
        case AnalysisKind::gpu:
            return percent(value) + suffix;
        case AnalysisKind::memory:
            return Format::bytes(p.memBytes) + suffix;
        case AnalysisKind::disk:
            return downUp(p.diskReadBps, p.diskWriteBps) + suffix;
        case AnalysisKind::network:
            return {};
    }
    return {};
}

QString ResourceAnalysis::agoText(TimePoint t, TimePoint now) {
    // Whole seconds, the fraction dropped; a moment in the future reads as now.
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(now - t).count();
    const Localizer& loc = Localizer::shared();
    if (s <= 1) return loc.t(QStringLiteral("agoNow"));
    if (s <= 59) return loc.t(QStringLiteral("agoSec"), static_cast<qint64>(s));
    return loc.t(QStringLiteral("agoMin"), static_cast<qint64>(s / 60));
}

}  // namespace velmora
