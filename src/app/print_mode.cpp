#include "app/print_mode.h"

#include "core/format.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "core/snapshot_json.h"
#include "engine/metrics_engine.h"
#include "engine/process_demand.h"
#include "export/metrics_exporter.h"
#include "samplers/samplers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>

namespace velmora {

namespace {

constexpr int kHeaderEvery = 20;  // repeat the header like vmstat, so columns stay readable
constexpr int kTopProcesses = 10;
constexpr int kNameWidth = 24;
// Each served process is four labelled series; past this a scrape is mostly processes.
constexpr int kMaxServedProcesses = 1000;

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

QString percent(double v) {
    return Format::fixed(std::isfinite(v) ? v : 0.0, 0) + u'%';
}

// Cells padded to their widths (negative: left-aligned) and joined by spaces. Each cell is
// padded on its own, so a value that looks like a placeholder ("%2" in a process name)
// stays as it is instead of being filled by the next column.
QString columns(std::initializer_list<std::pair<QString, int>> cells) {
    QString line;
    for (const auto& [text, width] : cells) {
        if (!line.isEmpty()) line += u' ';
        line += width < 0 ? text.leftJustified(-width) : text.rightJustified(width);
    }
    return line;
}

void writeLine(const QString& line, FILE* to = stdout) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fputc('\n', to);
    std::fflush(to);
}

std::optional<int> servedProcesses(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0 || n > kMaxServedProcesses) return std::nullopt;
    return n;
}

}  // namespace

namespace {

// Qt's own command-line options for GUI applications, given with one dash or two, which the
// tray application passes on to Qt. A value follows as the next argument or after "=".
struct GuiOption {
    std::string_view name;
    bool takesValue;
};
constexpr GuiOption kQtGuiOptions[] = {
    {"platform", true},        {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},        {"qwindowtitle", true},  {"session", true},
    {"display", true},         {"geometry", true},           {"style", true},         {"stylesheet", true},
    {"reverse", false},        {"widgetcount", false},
};

struct TraySplit {
    QStringList rest;  // the program name and every argument that is not the tray's
    bool trayOnly = false;
    bool tray = false;  // --tray: the tray application beside --serve
};

TraySplit splitTrayArguments(const QStringList& arguments) {
    TraySplit split;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (i == 0 || !arg.startsWith(u'-') || arg.size() < 2) {
            split.rest << arg;
            continue;
        }
        if (arg == u"--") {  // the end of the options: the rest are stray arguments
            split.rest << arguments.mid(i);
            break;
        }
        if (arg == u"--tray-only") {
            split.trayOnly = true;
            continue;
        }
        if (arg == u"--tray" || arg == u"-tray") {
            split.tray = true;
            continue;
        }
        const QString body = arg.mid(arg.startsWith(u"--") ? 2 : 1);
        const qsizetype eq = body.indexOf(u'=');
        const QByteArray name = (eq < 0 ? body : body.left(eq)).toLatin1();
        const auto gui =
            std::find_if(std::begin(kQtGuiOptions), std::end(kQtGuiOptions), [&](const GuiOption& o) {
                return o.name == std::string_view(name.constData(), static_cast<size_t>(name.size()));
            });
        if (gui == std::end(kQtGuiOptions) || (!gui->takesValue && eq >= 0)) {
            split.rest << arg;
            continue;
        }
        // A value option at the very end has no value: Qt ignores it, and so does the tray.
        if (gui->takesValue && eq < 0) ++i;
    }
    return split;
}

bool asksForPrint(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != u"--"; ++i)
        if (arguments[i] == u"--print" || arguments[i] == u"-print") return true;
    return false;
}

// The serve options among `rest` (with one dash or two, the value next or after "="); what
// else remains; and whether every value is well-formed.
struct ServeSplit {
    QStringList rest;
    bool serve = false;
    bool processes = false;
    bool wellFormed = true;
};

ServeSplit splitServeArguments(const QStringList& rest) {
    ServeSplit split;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QString& arg = rest[i];
        const QString body =
            i > 0 && arg.startsWith(u'-') ? arg.mid(arg.startsWith(u"--") ? 2 : 1) : QString();
        const qsizetype eq = body.indexOf(u'=');
        const QString name = eq < 0 ? body : body.left(eq);
        if (name != u"serve" && name != u"serve-processes") {
            split.rest << arg;
            continue;
        }
        QString value;
        if (eq >= 0)
            value = body.mid(eq + 1);
        else if (i + 1 < rest.size())
            value = rest[++i];
        else
            split.wellFormed = false;
        if (name == u"serve") {
            split.serve = true;
            split.wellFormed = split.wellFormed && parseListenAddress(value).has_value();
        } else {
            split.processes = true;
            split.wellFormed = split.wellFormed && servedProcesses(value).has_value();
        }
    }
    return split;
}

}  // namespace

Launch launchOf(const QStringList& arguments) {
    const TraySplit split = splitTrayArguments(arguments);
    const ServeSplit serve = splitServeArguments(split.rest);
    Launch launch;
    if (asksForPrint(arguments) || serve.rest.size() > 1) return launch;
    // Serving alone is headless; beside the tray only when asked for and well-formed, so a
    // malformed address is refused without a display.
    const bool serving = serve.serve || serve.processes;
    if (serving && (!(split.tray || split.trayOnly) || !serve.serve || !serve.wellFormed)) return launch;
    launch.mode = Launch::Mode::tray;
    launch.trayOnly = split.trayOnly;
    launch.serve = serving;
    return launch;
}

PrintArgs parsePrintArgs(const QStringList& arguments, double defaultInterval) {
    QCommandLineParser parser;
    // "-platform" is one unknown option, not eight unknown letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(L("prtDescription"));
    const QCommandLineOption help({"h", "help"}, L("prtOptHelp"));
    const QCommandLineOption print("print", L("prtOptPrint"));
    const QCommandLineOption json("json", L("prtOptJson"));
    const QCommandLineOption count("count", L("prtOptCount"), "N");
    const QCommandLineOption interval("interval", L("prtOptInterval"), "S");
    const QCommandLineOption processes("processes", L("prtOptProcesses"));
    const QCommandLineOption serve("serve", L("prtOptServe"), "[ADDRESS:]PORT");
    const QCommandLineOption serveProcesses("serve-processes", L("prtOptServeProcesses"), "N");
    // Known here for the help; launchOf takes it, with --serve, to the tray application.
    const QCommandLineOption tray("tray", L("prtOptTray"));
    parser.addOptions({help, print, json, count, interval, processes, serve, serveProcesses, tray});

    PrintArgs result;
    const bool printing = asksForPrint(arguments);
    const QStringList own = printing ? arguments : splitTrayArguments(arguments).rest;
    const bool parsed = parser.parse(own);
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        result.exitCode = 2;
        // An unknown option first: what follows it may only be its value.
        const QString error =
            !parsed ? parser.errorText() : L("prtUnexpected", parser.positionalArguments().join(u' '));
        result.message = error + u'\n' + parser.helpText();
        return result;
    }
    if (parser.isSet(help)) {
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(tray)) {
        // Only with --print does it reach this parser: printing and the tray exclude each other.
        result.exitCode = 2;
        result.message = L("prtUnexpected", QStringLiteral("--tray")) + u'\n' + parser.helpText();
        return result;
    }
    if (parser.isSet(serveProcesses) && !parser.isSet(serve)) {
        result.exitCode = 2;
        result.message = L("srvNeedsServe", QStringLiteral("--serve-processes")) + u'\n';
        return result;
    }
    const bool serving = parser.isSet(serve);
    const bool printOnly = parser.isSet(json) || parser.isSet(processes);
    if (!parser.isSet(print) && (!serving || printOnly)) {
        // Print options without --print, or a command line that was the tray's after all.
        result.exitCode = 2;
        QString given;
        if (serving)
            given = parser.isSet(json) ? QStringLiteral("--json") : QStringLiteral("--processes");
        else if (!parser.optionNames().isEmpty())
            given = QStringLiteral("--") + parser.optionNames().first();
        result.message =
            (given.isEmpty() ? QString() : L("prtNeedsPrint", given) + u'\n') + parser.helpText();
        return result;
    }

    PrintOptions options;
    options.json = parser.isSet(json);
    options.processes = parser.isSet(processes);
    options.interval = defaultInterval;
    if (parser.isSet(count)) {
        bool ok = false;
        const int n = parser.value(count).toInt(&ok);
        if (!ok || n < 1) {
            result.exitCode = 2;
            result.message = L("prtBadValue", QStringLiteral("--count"), parser.value(count));
            return result;
        }
        options.count = n;
    }
    if (parser.isSet(interval)) {
        bool ok = false;
        const double s = parser.value(interval).toDouble(&ok);
        if (!ok || !std::isfinite(s) || s < 0.05 || s > 86400) {
            result.exitCode = 2;
            result.message = L("prtBadValue", QStringLiteral("--interval"), parser.value(interval));
            return result;
        }
        options.interval = s;
    }
    options.print = parser.isSet(print);
    if (serving) {
        const std::optional<ListenAddress> address = parseListenAddress(parser.value(serve));
        if (!address) {
            result.exitCode = 2;
            result.message = L("srvBadAddress", parser.value(serve)) + u'\n';
            return result;
        }
        options.serve = ServeOptions{*address, 0};
    }
    if (parser.isSet(serveProcesses)) {
        const std::optional<int> n = servedProcesses(parser.value(serveProcesses));
        if (!n) {
            result.exitCode = 2;
            result.message =
                L("prtBadValue", QStringLiteral("--serve-processes"), parser.value(serveProcesses));
            return result;
        }
        options.serve->processes = *n;
    }
    result.options = options;
    return result;
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
    engine.start(options.interval);
    return QCoreApplication::exec();
}

}  // namespace velmora
