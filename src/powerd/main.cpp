// velmora-powerd: measures CPU package and GPU power where only a privileged process may
// (RAPL energy counters are root-only on current kernels) and publishes the figures once a
// second in the small JSON file the monitor reads. Run it as root, e.g. from a system
// service; without RAPL it writes whatever it has.
#include "core/localizer.h"
#include "platform/linux/power_linux.h"
#include "platform/thermal.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

using namespace velmora;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

constexpr int kRescanEvery = 10;  // ticks between looks for new zones and chips

void printLine(const QString& text) {
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("velmora"));

    QCommandLineParser parser;
    parser.setApplicationDescription(L("pwdDescription"));
    const QCommandLineOption help({"h", "help"}, L("pwdOptHelp"));
    const QCommandLineOption once("once", L("pwdOptOnce"));
    const QCommandLineOption output("output", L("pwdOptOutput"), "PATH",
                                    QString::fromUtf8(platform::powerFilePath()));
    const QCommandLineOption interval("interval", L("pwdOptInterval"), "S", QStringLiteral("1"));
    parser.addOptions({help, once, output, interval});
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        printLine(parser.errorText() + u'\n' + parser.helpText());
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return 0;
    }

    bool ok = false;
    const double seconds = parser.value(interval).toDouble(&ok);
    if (!ok || !(seconds >= 0.1 && seconds <= 3600)) {
        printLine(L("pwdBadValue", QStringLiteral("--interval"), parser.value(interval)));
        return 2;
    }
    const std::string path = parser.value(output).toStdString();
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));

    struct sigaction sa = {};
    sa.sa_handler = requestStop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    platform::PowerReaders readers;
    // The first reading only primes the energy counters.
    readers.cpuWatts();
    readers.gpuWatts();
    bool reported = false;
    for (int tick = 1; !stopRequested; ++tick) {
        std::this_thread::sleep_for(period);
        if (stopRequested) break;
        const auto cpu = readers.cpuWatts();
        const auto gpu = readers.gpuWatts();
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        const double now = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
        if (!platform::writeFileAtomically(path, platform::powerJson(now, cpu, gpu))) {
            if (!reported) printLine(L("pwdWriteFailed", QString::fromStdString(path)));
            reported = true;
            if (parser.isSet(once)) return 1;
        } else {
            reported = false;
        }
        if (parser.isSet(once)) break;
        if (tick % kRescanEvery == 0) {
            // New zones and chips start with a priming read, a full period before use.
            readers.rescan();
            readers.cpuWatts();
            readers.gpuWatts();
        }
    }
    return 0;
}
