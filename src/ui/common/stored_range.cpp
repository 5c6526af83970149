#include "ui/common/stored_range.h"

#include "core/localizer.h"

#include <QPointer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

std::chrono::milliseconds spanLength(HistorySpan span) {
    using namespace std::chrono;
    switch (span) {
        case HistorySpan::live:
            return milliseconds(0);
        case HistorySpan::hour:
            return hours(1);
        case HistorySpan::sixHours:
            return hours(6);
        case HistorySpan::day:
            return hours(24);
        case HistorySpan::week:
            return hours(24 * 7);
    }
    return milliseconds(0);
}

QString spanKey(HistorySpan span) {
    switch (span) {
        case HistorySpan::live:
            return QStringLiteral(VL_KEY("hrSpanLive"));
        case HistorySpan::hour:
            return QStringLiteral(VL_KEY("hrSpanHour"));
        case HistorySpan::sixHours:
            return QStringLiteral(VL_KEY("hrSpanSixHours"));
        case HistorySpan::day:
            return QStringLiteral(VL_KEY("hrSpanDay"));
        case HistorySpan::week:
            return QStringLiteral(VL_KEY("hrSpanWeek"));
    }
    return {};
}

namespace {

TimePoint middle(const history::Record& r) {
    return r.start + (r.end - r.start) / 2;
}

// A stored byte count as a count: a damaged figure (not finite, negative, beyond any memory)
// reads as nothing or as the most there can be, never as whatever the conversion makes of it.
uint64_t bytesOf(float v) {
    if (!(v > 0)) return 0;
    if (!std::isfinite(v) || v >= 1.8e19f) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(v);
}

MetricPoint point(TimePoint t, double value) {
    const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    return {{ns, 0}, t, value};
}

}  // namespace

const history::Gap* StoredRange::gapAt(TimePoint t) const {
    const auto it = std::upper_bound(gaps.begin(), gaps.end(), t,
                                     [](TimePoint x, const history::Gap& g) { return x < g.to; });
    return it != gaps.end() && it->from <= t ? &*it : nullptr;
}

std::vector<std::pair<TimePoint, TimePoint>> StoredRange::gapSpans() const {
    std::vector<std::pair<TimePoint, TimePoint>> out;
    out.reserve(gaps.size());
    for (const history::Gap& g : gaps)
        out.emplace_back(g.from, g.to);
    return out;
}

std::vector<MetricPoint> StoredRange::points(history::Series series, bool peak, double divisor) const {
    std::vector<MetricPoint> out;
    out.reserve(records.size() + 2);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    out.push_back(point(from, nan));
    for (const history::Record& r : records) {
        const TimePoint t = middle(r);
        if (t <= out.back().time || t >= to) continue;
        const history::SeriesStat& s = r.stat(series);
        const double v = peak ? s.peak : s.mean;
        out.push_back(point(t, std::isfinite(v) && divisor != 0 ? v / divisor : nan));
    }
    out.push_back(point(to, nan));
    return out;
}

StoredRange buildStoredRange(std::vector<history::Record> records, TimePoint from, TimePoint to) {
    StoredRange range;
    range.from = from;
    range.to = std::max(from, to);
    // A record that reaches outside the range is kept; its middle decides where it shows.
    range.gaps = history::gaps(records, range.from, range.to, kStoredGapTolerance);
    Snapshot s;
    for (const history::Record& r : records) {
        const TimePoint t = middle(r);
        // Moments only move forward: a record the store trimmed to nothing cannot reorder them.
        if (!range.history.empty() && t <= range.history.back().time) continue;
        s.time = t;
        s.cpuTotal = r.stat(history::Series::cpuPercent).mean;
        s.memPercent = r.stat(history::Series::memPercent).mean;
        s.gpuPercent = r.stat(history::Series::gpuPercent).mean;
        s.diskReadBps = r.stat(history::Series::diskReadBps).mean;
        s.diskWriteBps = r.stat(history::Series::diskWriteBps).mean;
        s.netInBps = r.stat(history::Series::netInBps).mean;
        s.netOutBps = r.stat(history::Series::netOutBps).mean;
        s.processesMeasured = r.processesKnown;
        s.processes.resize(r.processes.size());
        for (size_t i = 0; i < r.processes.size(); ++i) {
            const history::ProcessEntry& e = r.processes[i];
            ProcInfo& p = s.processes[i];
            p = ProcInfo{};
            p.pid = e.pid;
            p.startTime = e.startTime;
            p.name = e.name;
            p.cpu = e.value(history::Metric::cpu);
            p.memBytes = bytesOf(e.value(history::Metric::memory));
            // The record keeps read and write as one figure; it is shown as one.
            p.diskReadBps = e.value(history::Metric::disk);
            p.gpuPercent = e.value(history::Metric::gpu);
        }
        range.attribution.add(s);
        std::vector<ProcNet> traffic;
        for (const history::ProcessEntry& e : r.processes)
            if (const float v = e.value(history::Metric::network); v > 0)
                traffic.push_back({.pid = e.pid, .name = e.name, .inBps = v, .startTime = e.startTime});
        if (!traffic.empty()) range.netHistory.push_back({t, std::move(traffic)});
        Snapshot& kept = range.history.emplace_back();
        kept.time = s.time;
        kept.cpuTotal = s.cpuTotal;
        kept.memPercent = s.memPercent;
        kept.gpuPercent = s.gpuPercent;
        kept.diskReadBps = s.diskReadBps;
        kept.diskWriteBps = s.diskWriteBps;
        kept.netInBps = s.netInBps;
        kept.netOutBps = s.netOutBps;
        kept.processesMeasured = s.processesMeasured;
    }
    range.records = std::move(records);
    return range;
}

RangeLoader::RangeLoader(HistoryReader reader, Now now, QObject* parent)
    : QObject(parent), reader_(std::move(reader)), now_(std::move(now)) {}

void RangeLoader::setSpan(HistorySpan span) {
    if (span != HistorySpan::live && !reader_) span = HistorySpan::live;
    const uint64_t generation = ++generation_;
    const bool wasLive = span_ == HistorySpan::live && !loading_;
    span_ = span;
    range_.reset();
    loading_ = false;
    if (span == HistorySpan::live) {
        if (!wasLive) emit changed();
        return;
    }
    loading_ = true;
    ++reads_;
    const TimePoint to = now_();
    const TimePoint from = to - spanLength(span);
    emit changed();
    QPointer<RangeLoader> self(this);
    reader_(from, to, [self, generation, from, to](std::vector<history::Record> records) {
        // The window is gone, or another span was chosen meanwhile.
        if (!self || generation != self->generation_) return;
        self->range_ = buildStoredRange(std::move(records), from, to);
        self->loading_ = false;
        emit self->changed();
    });
}

}  // namespace velmora
