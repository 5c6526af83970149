#include "samplers/process_ranking.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>

namespace velmora {

namespace {

constexpr std::array<ProcSortKey, 12> kKeys = {
    ProcSortKey::cpu,     ProcSortKey::gpu,  ProcSortKey::mem,     ProcSortKey::disk,      ProcSortKey::energy,
    ProcSortKey::name,    ProcSortKey::pid,  ProcSortKey::threads, ProcSortKey::nice,      ProcSortKey::started,
    ProcSortKey::readTotal, ProcSortKey::writeTotal};

// Index into a ranker entry's scores; -1 for keys without a score.
int scoreIndex(ProcSortKey key) {
    switch (key) {
        case ProcSortKey::cpu:
            return 0;
        case ProcSortKey::energy:
            return 1;
        case ProcSortKey::disk:
            return 2;
        case ProcSortKey::gpu:
            return 3;
        default:
            return -1;
    }
}

// A non-finite figure would break the sort's ordering; it sorts as 0.
double finite(double v) {
    return std::isfinite(v) ? v : 0.0;
}

// Orders UTF-16 code units so that strings compare in Unicode scalar order: surrogates
// (D800–DFFF) encode scalars above FFFF and must sort after E000–FFFF.
char16_t scalarOrder(char16_t u) {
    if (u >= 0xE000) return static_cast<char16_t>(u - 0x800);
    if (u >= 0xD800) return static_cast<char16_t>(u + 0x2000);
    return u;
}

int compareScalars(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = scalarOrder(a[i].unicode()), y = scalarOrder(b[i].unicode());
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

QString rawValue(ProcSortKey key) {
    switch (key) {
        case ProcSortKey::cpu:
            return QStringLiteral("CPU");
        case ProcSortKey::gpu:
            return QStringLiteral("GPU");
        case ProcSortKey::mem:
            return QStringLiteral("메모리");
        case ProcSortKey::disk:
            return QStringLiteral("디스크");
        case ProcSortKey::energy:
            return QStringLiteral("에너지");
        case ProcSortKey::name:
            return QStringLiteral("이름");
        case ProcSortKey::pid:
            return QStringLiteral("PID");
        case ProcSortKey::threads:
            return QStringLiteral("Threads");
        case ProcSortKey::nice:
            return QStringLiteral("Nice");
        case ProcSortKey::started:
            return QStringLiteral("Started");
        case ProcSortKey::readTotal:
            return QStringLiteral("ReadTotal");
        case ProcSortKey::writeTotal:
            return QStringLiteral("WriteTotal");
    }
    return {};
}

std::optional<ProcSortKey> procSortKeyFromRaw(const QString& raw) {
    for (ProcSortKey k : kKeys)
        if (rawValue(k) == raw) return k;
    return std::nullopt;
}

const std::array<ProcSortKey, 12>& allProcSortKeys() {
    return kKeys;
}

bool rankStabilized(ProcSortKey key) {
    return scoreIndex(key) >= 0;
}

double sortValue(const ProcInfo& p, ProcSortKey key) {
    switch (key) {
        case ProcSortKey::cpu:
            return p.cpu;
        case ProcSortKey::gpu:
            return p.gpuPercent;
        case ProcSortKey::mem:
            return static_cast<double>(p.memBytes);
        case ProcSortKey::disk:
            return p.diskReadBps + p.diskWriteBps;
        case ProcSortKey::energy:
            return p.energyImpact;
        case ProcSortKey::name:
            return 0;
        case ProcSortKey::pid:
            return p.pid;
        case ProcSortKey::threads:
            return p.threads;
        case ProcSortKey::nice:
            return p.nice;
        case ProcSortKey::started:
            return static_cast<double>(p.startedSec);
        case ProcSortKey::readTotal:
            return static_cast<double>(p.diskReadTotal);
        case ProcSortKey::writeTotal:
            return static_cast<double>(p.diskWriteTotal);
    }
    return 0;
}

void ProcessRanker::tick(const std::vector<ProcInfo>& procs) {
    if (++generation_ == 0) generation_ = 1;
    size_t seen = 0;
    for (const ProcInfo& p : procs) {
        const std::array<double, 4> x = {p.cpu, p.energyImpact, p.diskReadBps + p.diskWriteBps, p.gpuPercent};
        auto [it, fresh] = entries_.try_emplace(p.pid);
        Entry& e = it->second;
        for (size_t m = 0; m < 4; ++m) {
            S& s = e.s[m];
            if (fresh) {
                s = {x[m] * seed, x[m] * seed, x[m] * seed};
                continue;
            }
            s.ema = s.ema + (x[m] - s.ema) * alpha;
            s.peak = s.peak * lambda < x[m] ? x[m] : s.peak * lambda;
            s.smooth = s.smooth + ((w1 * s.ema + w2 * s.peak) - s.smooth) * beta;
        }
        if (e.seen != generation_) {
            e.seen = generation_;
            ++seen;
        }
    }
    if (entries_.size() > seen)
        std::erase_if(entries_, [this](const auto& item) { return item.second.seen != generation_; });
}

std::optional<ProcessRanker::S> ProcessRanker::scores(int32_t pid, ProcSortKey key) const {
    const int i = scoreIndex(key);
    if (i < 0) return std::nullopt;
    const auto it = entries_.find(pid);
    if (it == entries_.end()) return std::nullopt;
    return it->second.s[static_cast<size_t>(i)];
}

double ProcessRanker::metricScore(int32_t pid, ProcSortKey key) const {
    const std::optional<S> s = scores(pid, key);
    return s ? s->smooth : 0.0;
}

std::vector<ProcInfo> ProcessTable::recompute(const std::vector<ProcInfo>& processes,
                                              const ProcTableOptions& options) {
    const bool stabilised = options.cumulativeRank && rankStabilized(options.key);
    std::vector<ProcInfo> rows;
    rows.reserve(processes.size());

    const QLocale locale;
    const QString needle = locale.toLower(options.search);
    for (const ProcInfo& p : processes) {
        if (!needle.isEmpty() && !locale.toLower(p.name).contains(needle)) continue;
        ProcInfo& row = rows.emplace_back(p);
        if (stabilised) row.stableScore = ranker_.metricScore(p.pid, options.key);
    }

    if (options.groupByName) {
        std::vector<ProcInfo> groups;
        std::vector<int> counts;
        QHash<QString, size_t> index;
        for (ProcInfo& p : rows) {
            const auto it = index.constFind(p.name);
            if (it == index.constEnd()) {
                index.insert(p.name, groups.size());
                groups.push_back(std::move(p));
                groups.back().isSystem = false;
                counts.push_back(1);
                continue;
            }
            ProcInfo& g = groups[*it];
            g.cpu += p.cpu;
            g.memBytes += p.memBytes;
            g.diskReadBps += p.diskReadBps;
            g.diskWriteBps += p.diskWriteBps;
            g.energyImpact += p.energyImpact;
            g.gpuPercent += p.gpuPercent;
            g.stableScore += p.stableScore;
            g.threads += p.threads;
            g.diskReadTotal += p.diskReadTotal;
            g.diskWriteTotal += p.diskWriteTotal;
            ++counts[*it];
        }
        for (size_t i = 0; i < groups.size(); ++i)
            if (counts[i] > 1) groups[i].name += QStringLiteral("  (%1)").arg(counts[i]);
        rows = std::move(groups);
    }

    sortRows(rows, options);

    if (stabilised) {
        prevRank_.clear();
        prevRank_.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            prevRank_.try_emplace(rows[i].pid, static_cast<int>(i));
    }
    if (rows.size() > rowLimit) rows.resize(rowLimit);
    return rows;
}

void ProcessTable::sortRows(std::vector<ProcInfo>& rows, const ProcTableOptions& options) const {
    const bool asc = options.ascending;
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t{0});

    if (options.cumulativeRank && rankStabilized(options.key)) {
        struct Key {
            double bucket;
            int prev;
            double score;
        };
        double top = 0;
        bool any = false;
        for (const ProcInfo& r : rows) {
            top = any ? std::max(top, finite(r.stableScore)) : finite(r.stableScore);
            any = true;
        }
        const double band = rankHysteresisBand * (top > 1 ? top : 1.0);
        std::vector<Key> keys(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const double score = finite(rows[i].stableScore);
            const auto it = prevRank_.find(rows[i].pid);
            keys[i] = {std::round(score / band), it == prevRank_.end() ? INT_MAX : it->second, score};
        }
        std::stable_sort(order.begin(), order.end(), [&](size_t ia, size_t ib) {
            const Key& a = keys[ia];
            const Key& b = keys[ib];
            if (a.bucket != b.bucket) return asc ? a.bucket < b.bucket : a.bucket > b.bucket;
            if (a.prev != b.prev) return a.prev < b.prev;  // the previous order, whatever the direction
            return asc ? a.score < b.score : a.score > b.score;
        });
    } else if (options.key == ProcSortKey::name) {
        std::vector<QString> lower(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            lower[i] = rows[i].name.toLower();
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const int c = compareScalars(lower[a], lower[b]);
            return asc ? c < 0 : c > 0;
        });
    } else {
        std::vector<double> value(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            value[i] = finite(sortValue(rows[i], options.key));
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return asc ? value[a] < value[b] : value[a] > value[b]; });
    }

    std::vector<ProcInfo> sorted;
    sorted.reserve(rows.size());
    for (size_t i : order)
        sorted.push_back(std::move(rows[i]));
    rows = std::move(sorted);
}

}  // namespace velmora
