#include "app/print_mode.h"

#include "core/format.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "core/snapshot_json.h"
#include "engine/metrics_engine.h"
#include "engine/process_demand.h"
#include "export/metrics_exporter.h"
#include "samplers/samplers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace velmora {

namespace {

constexpr int kHeaderEvery = 20;  // repeat the header like vmstat, so columns stay readable
constexpr int kTopProcesses = 10;
constexpr int kNameWidth = 24;

QString severityWord(Severity s) {
    switch (s) {
        case Severity::normal:
            return L(VL_KEY("sevNormal"));
        case Severity::elevated:
            return L(VL_KEY("sevElevated"));
        case Severity::high:
            return L(VL_KEY("sevHigh"));
        case Severity::critical:
            return L(VL_KEY("sevCritical"));
    }
    return {};
}

}  // namespace

QString percent(double v) {
    return Format::fixed(std::isfinite(v) ? v : 0.0, 0) + u'%';
}

// Each cell is padded on its own, so a value that looks like a placeholder ("%2" in a
// process name) stays as it is instead of being filled by the next column.
QString columns(std::initializer_list<std::pair<QString, int>> cells) {
    QString line;
    for (const auto& [text, width] : cells) {
        if (!line.isEmpty()) line += u' ';
        line += width < 0 ? text.leftJustified(-width) : text.rightJustified(width);
    }
    return line;
}

void writeLine(const QString& line, FILE* to) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fputc('\n', to);
    std::fflush(to);
}

QString tableHeader() {
    return columns({{L("prtTime"), -8},
                    {QStringLiteral("CPU"), 5},
                    {L("prtMemory"), 21},
                    {L("prtDiskRead"), 11},
                    {L("prtDiskWrite"), 11},
                    {L("prtNetIn"), 11},
                    {L("prtNetOut"), 11},
                    {QStringLiteral("GPU"), 5},
                    {L("prtTemp"), 6},
                    {L("prtLoad"), -1}});
}

QString tableRow(const Snapshot& s) {
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(s.time.time_since_epoch()).count();
    const QString time = QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
    const QString memory =
        percent(s.memPercent) + u' ' + Format::bytes(s.memUsed) + u'/' + Format::bytes(s.memTotal);
    const std::optional<double> temp = s.cpuTempC ? s.cpuTempC : s.hottestC;
    const QString tempText = temp ? Format::fixed(*temp, 0) + QStringLiteral("°C") : QStringLiteral("-");
    return columns({{time, -8},
                    {percent(s.cpuTotal), 5},
                    {memory, 21},
                    {Format::bps(s.diskReadBps), 11},
                    {Format::bps(s.diskWriteBps), 11},
                    {Format::bps(s.netInBps), 11},
                    {Format::bps(s.netOutBps), 11},
                    {percent(s.gpuPercent), 5},
                    {tempText, 6},
                    {severityWord(s.severity()), -1}});
}

QStringList processTable(const Snapshot& s, int top) {
    const QString header = columns({{QStringLiteral("PID"), 8},
                                    {L("prtProcess"), -kNameWidth},
                                    {QStringLiteral("CPU"), 7},
                                    {L("prtMemory"), 10},
                                    {L("prtDiskRead"), 11},
                                    {L("prtDiskWrite"), 11},
                                    {QStringLiteral("GPU"), 5}});
    QStringList lines{header};
    // The sampler delivers the list sorted by CPU already; sorting again keeps this
    // function right for any snapshot it is given.
    std::vector<const ProcInfo*> rows;
    rows.reserve(s.processes.size());
    for (const ProcInfo& p : s.processes)
        rows.push_back(&p);
    const size_t n = std::min(rows.size(), static_cast<size_t>(std::max(top, 0)));
    std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n), rows.end(),
                      [](const ProcInfo* a, const ProcInfo* b) { return a->cpu > b->cpu; });
    for (size_t i = 0; i < n; ++i) {
        const ProcInfo& p = *rows[i];
        QString name = p.name;
        if (name.size() > kNameWidth) name = name.left(kNameWidth - 1) + u'…';
        lines << columns({{QString::number(p.pid), 8},
                          {name, -kNameWidth},
                          {Format::fixed(std::isfinite(p.cpu) ? p.cpu : 0.0, 1) + u'%', 7},
                          {Format::bytes(p.memBytes), 10},
                          {Format::bps(p.diskReadBps), 11},
                          {Format::bps(p.diskWriteBps), 11},
                          {percent(p.gpuPercent), 5}});
    }
    return lines;
}

int runPrintMode(const PrintOptions& options) {
    MetricsEngine engine(makeMachineSamplers(AppSettings::shared()));
    // The process list is sampled only while something shows it.
    ProcessDemand demand([&engine](bool active) { engine.setUiActive(active); });
    ProcessDemand::Token printsProcesses;
    if (options.print && options.processes) printsProcesses = demand.acquire();

    std::unique_ptr<MetricsExporter> exporter;
    if (options.serve) {
        QString error;
        std::unique_ptr<MetricsServer> server = startMetricsServer(*options.serve, &error);
        if (!server) {
            writeLine(error, stderr);
            return 2;
        }
        writeLine(servingMessage(*server, *options.serve), stderr);
        exporter = std::make_unique<MetricsExporter>(engine, std::move(server), demand);
    }

    int published = 0;
    QObject::connect(&engine, &MetricsEngine::currentChanged, &engine, [&] {
        const Snapshot& s = engine.current();
        if (!options.print) {
            // Serving only: nothing to print.
        } else if (options.json) {
            writeLine(QString::fromUtf8(QJsonDocument(toJson(s)).toJson(QJsonDocument::Compact)));
        } else if (options.processes) {
            // A block per snapshot: its row, then its busiest processes.
            writeLine(tableHeader());
            writeLine(tableRow(s));
            for (const QString& line : processTable(s, kTopProcesses))
                writeLine(line);
            writeLine(QString());
        } else {
            if (published % kHeaderEvery == 0) writeLine(tableHeader());
            writeLine(tableRow(s));
        }
        ++published;
        if (options.count > 0 && published >= options.count) {
            engine.cancelTimer();
            QCoreApplication::quit();
        }
    });
    engine.start(options.interval.value_or(AppSettings::shared().refreshInterval()));
    return QCoreApplication::exec();
}

}  // namespace velmora
