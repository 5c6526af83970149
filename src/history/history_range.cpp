#include "history/history_range.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace velmora::history {
namespace {

constexpr std::array<const char*, kMetricCount> kMetricNames = {"cpu", "memory", "disk", "network", "gpu"};
constexpr std::array<const char*, kSeriesCount> kSeriesNames = {
    "cpuPercent", "memPercent", "gpuPercent", "diskReadBps", "diskWriteBps", "netInBps", "netOutBps"};

QString iso(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<Millis>(t.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

QJsonObject processJson(const ProcessEntry& p) {
    QJsonObject o{{QStringLiteral("pid"), p.pid},
                  {QStringLiteral("startTime"), QString::number(p.startTime)},
                  {QStringLiteral("name"), p.name},
                  {QStringLiteral("path"), p.path}};
    for (int m = 0; m < kMetricCount; ++m)
        if (p.values[m] != 0) o.insert(QLatin1String(kMetricNames[m]), static_cast<double>(p.values[m]));
    return o;
}

}  // namespace

std::vector<Gap> gaps(const std::vector<Record>& records, Clock::time_point from, Clock::time_point to,
                      Millis tolerance) {
    std::vector<Gap> out;
    auto covered = from;
    const auto note = [&](Clock::time_point a, Clock::time_point b) {
        if (b - a > tolerance) out.push_back({a, b});
    };
    for (const Record& r : records) {
        if (r.end <= covered) continue;
        if (r.start >= to) break;
        if (r.start > covered) note(covered, r.start);
        covered = r.end;
    }
    if (covered < to) note(covered, to);
    return out;
}

std::vector<Culprit> culprits(const std::vector<Record>& records, Metric metric, int limit) {
    std::vector<Culprit> all;
    const int m = static_cast<int>(metric);
    for (const Record& r : records) {
        for (const ProcessEntry& p : r.processes) {
            const float v = p.values[m];
            if (!(v > 0)) continue;
            auto it = std::find_if(all.begin(), all.end(), [&](const Culprit& c) { return c.process.sameProcess(p); });
            if (it == all.end()) {
                all.push_back({p, v, r.start, 1});
                continue;
            }
            ++it->records;
            // Strictly larger: an equal later value keeps the earlier moment.
            if (v > it->peak) {
                it->peak = v;
                it->peakAt = r.start;
                it->process = p;
            }
        }
    }
    std::sort(all.begin(), all.end(), [](const Culprit& a, const Culprit& b) {
        if (a.peak != b.peak) return a.peak > b.peak;
        if (a.peakAt != b.peakAt) return a.peakAt < b.peakAt;
        return a.process.pid < b.process.pid;
    });
    if (limit >= 0 && all.size() > static_cast<size_t>(limit)) all.resize(static_cast<size_t>(limit));
    return all;
}

std::optional<Millis> parseRange(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,6})([smhd])$"));
    const auto match = form.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const qint64 n = match.captured(1).toLongLong();
    if (n <= 0) return std::nullopt;
    const QChar unit = match.captured(2).at(0);
    const qint64 seconds = unit == QLatin1Char('s') ? 1 : unit == QLatin1Char('m') ? 60 : unit == QLatin1Char('h') ? 3600 : 86400;
    return Millis(n * seconds * 1000);
}

std::optional<Metric> parseMetric(const QString& text) {
    for (int m = 0; m < kMetricCount; ++m)
        if (text == QLatin1String(kMetricNames[m])) return static_cast<Metric>(m);
    return std::nullopt;
}

QString metricName(Metric metric) { return QLatin1String(kMetricNames[static_cast<int>(metric)]); }

QJsonObject toJson(const std::vector<Record>& records, const std::vector<Gap>& gapList, Clock::time_point from,
                   Clock::time_point to) {
    QJsonArray recs;
    for (const Record& r : records) {
        QJsonObject series;
        for (int s = 0; s < kSeriesCount; ++s)
            series.insert(QLatin1String(kSeriesNames[s]),
                          QJsonObject{{QStringLiteral("peak"), r.series[s].peak}, {QStringLiteral("mean"), r.series[s].mean}});
        QJsonArray procs;
        for (const ProcessEntry& p : r.processes) procs.append(processJson(p));
        recs.append(QJsonObject{{QStringLiteral("start"), iso(r.start)},
                                {QStringLiteral("end"), iso(r.end)},
                                {QStringLiteral("resolution"),
                                 r.resolution == Resolution::minute ? QStringLiteral("minute") : QStringLiteral("full")},
                                {QStringLiteral("series"), series},
                                {QStringLiteral("processes"), procs}});
    }
    QJsonArray gapArray;
    for (const Gap& g : gapList)
        gapArray.append(QJsonObject{{QStringLiteral("from"), iso(g.from)}, {QStringLiteral("to"), iso(g.to)}});
    return {{QStringLiteral("from"), iso(from)},
            {QStringLiteral("to"), iso(to)},
            {QStringLiteral("gaps"), gapArray},
            {QStringLiteral("records"), recs}};
}

QJsonObject culpritsToJson(const std::vector<Culprit>& list, Metric metric, Clock::time_point from,
                           Clock::time_point to) {
    QJsonArray arr;
    for (const Culprit& c : list) {
        QJsonObject o = processJson(c.process);
        o.insert(QStringLiteral("peak"), static_cast<double>(c.peak));
        o.insert(QStringLiteral("peakAt"), iso(c.peakAt));
        o.insert(QStringLiteral("records"), c.records);
        arr.append(o);
    }
    return {{QStringLiteral("from"), iso(from)},
            {QStringLiteral("to"), iso(to)},
            {QStringLiteral("metric"), metricName(metric)},
            {QStringLiteral("culprits"), arr}};
}

}  // namespace velmora::history
