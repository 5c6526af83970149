#include "app/history_mode.h"

#include "app/print_mode.h"
#include "core/format.h"
#include "core/localizer.h"
#include "history/history_store.h"

#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>

namespace velmora {

namespace {

using history::Metric;
using history::Series;

// Two records further apart than this have a gap between them; records follow each other at
// their cadence (at most 30 s) and a folded minute ends where the next begins.
constexpr history::Millis kGapTolerance = std::chrono::seconds(65);
constexpr int kNameWidth = 24;
constexpr int kCulprits = 20;

QString when(history::Clock::time_point t) {
    const qint64 ms = std::chrono::duration_cast<history::Millis>(t.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A metric's figure as the windows show it.
QString figure(Metric metric, double value) {
    switch (metric) {
        case Metric::cpu:
        case Metric::gpu:
            return percent(value);
        case Metric::memory:
            return Format::bytes(static_cast<uint64_t>(std::max(0.0, value)));
        case Metric::disk:
        case Metric::network:
            return Format::bps(value);
    }
    return {};
}

// The record's heaviest process by CPU, else by whichever metric chose one.
QString heaviestText(const history::Record& r) {
    if (!r.processesKnown) return L("histUnknownProcs");
    for (Metric m : {Metric::cpu, Metric::memory, Metric::disk, Metric::network, Metric::gpu}) {
        const auto it = std::max_element(r.processes.begin(), r.processes.end(),
                                         [m](const auto& a, const auto& b) { return a.value(m) < b.value(m); });
        if (it != r.processes.end() && it->value(m) > 0)
            return QStringLiteral("%1 (%2) %3").arg(it->name, QString::number(it->pid), figure(m, it->value(m)));
    }
    return QStringLiteral("-");
}

}  // namespace

QStringList historyTable(const std::vector<history::Record>& records, const std::vector<history::Gap>& gaps) {
    QStringList lines{columns({{L("prtTime"), -19},
                               {QStringLiteral("CPU"), 5},
                               {L("prtMemory"), 5},
                               {L("prtDiskRead"), 11},
                               {L("prtDiskWrite"), 11},
                               {L("prtNetIn"), 11},
                               {L("prtNetOut"), 11},
                               {QStringLiteral("GPU"), 5},
                               {L("prtProcess"), -kNameWidth}})};
    // Records and gaps in time order: each gap where it fell.
    size_t g = 0;
    const auto gapsBefore = [&](history::Clock::time_point t) {
        for (; g < gaps.size() && gaps[g].from < t; ++g)
            lines << columns({{when(gaps[g].from), -19}, {L("histGap", when(gaps[g].to)), -1}});
    };
    for (const history::Record& r : records) {
        gapsBefore(r.start);
        lines << columns({{when(r.start), -19},
                          {percent(r.stat(Series::cpuPercent).peak), 5},
                          {percent(r.stat(Series::memPercent).peak), 5},
                          {Format::bps(r.stat(Series::diskReadBps).peak), 11},
                          {Format::bps(r.stat(Series::diskWriteBps).peak), 11},
                          {Format::bps(r.stat(Series::netInBps).peak), 11},
                          {Format::bps(r.stat(Series::netOutBps).peak), 11},
                          {percent(r.stat(Series::gpuPercent).peak), 5},
                          {heaviestText(r), -1}});
    }
    gapsBefore(history::Clock::time_point::max());
    return lines;
}

QStringList culpritTable(const std::vector<history::Culprit>& list, Metric metric) {
    QStringList lines{columns({{QStringLiteral("PID"), 8},
                               {L("prtProcess"), -kNameWidth},
                               {L("histPeak"), 11},
                               {L("histPeakAt"), -19},
                               {L("histPath"), -1}})};
    for (const history::Culprit& c : list)
        lines << columns({{QString::number(c.process.pid), 8},
                          {c.process.name, -kNameWidth},
                          {figure(metric, c.peak), 11},
                          {when(c.peakAt), -19},
                          {c.process.path, -1}});
    return lines;
}

int runHistoryMode(const CommandLine::History& options, const QString& databasePath, history::Clock::time_point now) {
    history::OpenReport report;
    auto store = history::HistoryStore::openForReading(databasePath, &report);
    if (!store) {
        writeLine(L("histNoDatabase", databasePath, report.error), stderr);
        return 1;
    }
    const auto from = now - options.range;
    const auto records = store->records(from, now);
    const auto gapList = history::gaps(records, from, now, kGapTolerance);
    if (options.top) {
        const auto list = history::culprits(records, *options.top, kCulprits);
        if (options.json) {
            writeLine(QString::fromUtf8(QJsonDocument(history::culpritsToJson(list, *options.top, from, now)).toJson(QJsonDocument::Compact)));
            return 0;
        }
        for (const QString& line : culpritTable(list, *options.top)) writeLine(line);
        return 0;
    }
    if (options.json) {
        writeLine(QString::fromUtf8(QJsonDocument(history::toJson(records, gapList, from, now)).toJson(QJsonDocument::Compact)));
        return 0;
    }
    for (const QString& line : historyTable(records, gapList)) writeLine(line);
    return 0;
}

}  // namespace velmora
