#include "app/print_mode.h"

#include "engine/format.h"
#include "engine/localizer.h"
#include "engine/metrics_engine.h"
#include "engine/snapshot_json.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace velmora {

namespace {

constexpr int kHeaderEvery = 20;  // repeat the header like vmstat, so columns stay readable

QString severityWord(Severity s) {
    switch (s) {
        case Severity::normal: return L(VL_KEY("sevNormal"));
        case Severity::elevated: return L(VL_KEY("sevElevated"));
        case Severity::high: return L(VL_KEY("sevHigh"));
        case Severity::critical: return L(VL_KEY("sevCritical"));
    }
    return {};
}

QString percent(double v) { return Format::fixed(std::isfinite(v) ? v : 0.0, 0) + u'%'; }

void writeLine(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

bool wantsPrintMode(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--print") == 0) return true;
    return false;
}

PrintArgs parsePrintArgs(const QStringList& arguments, double defaultInterval) {
    QCommandLineParser parser;
    parser.setApplicationDescription(L("prtDescription"));
    const QCommandLineOption help({"h", "help"}, L("prtOptHelp"));
    const QCommandLineOption print("print", L("prtOptPrint"));
    const QCommandLineOption json("json", L("prtOptJson"));
    const QCommandLineOption count("count", L("prtOptCount"), "N");
    const QCommandLineOption interval("interval", L("prtOptInterval"), "S");
    parser.addOptions({help, print, json, count, interval});

    PrintArgs result;
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        result.exitCode = 2;
        const QString error = parser.positionalArguments().isEmpty()
                                  ? parser.errorText()
                                  : L("prtUnexpected", parser.positionalArguments().join(u' '));
        result.message = error + u'\n' + parser.helpText();
        return result;
    }
    if (parser.isSet(help)) {
        result.message = parser.helpText();
        return result;
    }

    PrintOptions options;
    options.json = parser.isSet(json);
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
    result.options = options;
    return result;
}

QString tableHeader() {
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10")
        .arg(L("prtTime"), -8)
        .arg(QStringLiteral("CPU"), 5)
        .arg(L("prtMemory"), 21)
        .arg(L("prtDiskRead"), 11)
        .arg(L("prtDiskWrite"), 11)
        .arg(L("prtNetIn"), 11)
        .arg(L("prtNetOut"), 11)
        .arg(QStringLiteral("GPU"), 5)
        .arg(L("prtTemp"), 6)
        .arg(L("prtLoad"), -1);
}

QString tableRow(const Snapshot& s) {
    const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(s.time.time_since_epoch()).count();
    const QString time = QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
    const QString memory =
        percent(s.memPercent) + u' ' + Format::bytes(s.memUsed) + u'/' + Format::bytes(s.memTotal);
    const std::optional<double> temp = s.cpuTempC ? s.cpuTempC : s.hottestC;
    const QString tempText = temp ? Format::fixed(*temp, 0) + QStringLiteral("°C") : QStringLiteral("-");
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10")
        .arg(time, -8)
        .arg(percent(s.cpuTotal), 5)
        .arg(memory, 21)
        .arg(Format::bps(s.diskReadBps), 11)
        .arg(Format::bps(s.diskWriteBps), 11)
        .arg(Format::bps(s.netInBps), 11)
        .arg(Format::bps(s.netOutBps), 11)
        .arg(percent(s.gpuPercent), 5)
        .arg(tempText, 6)
        .arg(severityWord(s.severity()), -1);
}

int runPrintMode(const PrintOptions& options) {
    MetricsEngine engine;
    int printed = 0;
    QObject::connect(&engine, &MetricsEngine::currentChanged, &engine, [&] {
        const Snapshot& s = engine.current();
        if (options.json) {
            writeLine(QString::fromUtf8(QJsonDocument(toJson(s)).toJson(QJsonDocument::Compact)));
        } else {
            if (printed % kHeaderEvery == 0) writeLine(tableHeader());
            writeLine(tableRow(s));
        }
        ++printed;
        if (options.count > 0 && printed >= options.count) {
            engine.cancelTimer();
            QCoreApplication::quit();
        }
    });
    engine.start(options.interval);
    return QCoreApplication::exec();
}

}  // namespace velmora
