#include "app/app_delegate.h"
#include "app/launch_env.h"
#include "app/print_mode.h"
#include "app/sensor_dump.h"
#include "app/single_instance.h"
#include "core/brand.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "maintenance/bug_reporter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdio>

using namespace velmora;

namespace {

QStringList rawArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int runPrint(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    AppSettings& settings = AppSettings::shared();
    Localizer::shared().apply(settings.language());
    const PrintArgs args = parsePrintArgs(QCoreApplication::arguments(), settings.refreshInterval());
    if (!args.options) {
        std::fputs(args.message.toUtf8().constData(), args.exitCode == 0 ? stdout : stderr);
        return args.exitCode;
    }
    return runPrintMode(*args.options);
}

}  // namespace

int main(int argc, char** argv) {
    // The sensor dump comes first: it prints and exits before any application object exists.
    if (qEnvironmentVariableIsSet("VL_DUMP_SENSORS")) return runSensorDump();

    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("velmora"));
    QCoreApplication::setApplicationVersion(Brand::version());
    // As early as possible, so a crash while starting up leaves its log too.
    BugReporter::shared().installHandlers();

    // Headless: no GUI object at all, so it runs over SSH and without a display. A command
    // line the tray application does not understand is refused here too, with the usage.
    const Launch launch = launchOf(rawArguments(argc, argv));
    if (launch.mode == Launch::Mode::headless) return runPrint(argc, argv);

    QApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tandrel.velmora"));

    SingleInstance instance(SingleInstance::defaultFolder());
    if (!instance.claim()) {
        // Already running: the first copy opens its popover instead of a second icon appearing.
        instance.notifyRunning();
        return 0;
    }

    AppDelegate::Options options;
    options.launch = parseLaunchRequests(QProcessEnvironment::systemEnvironment());
    if (launch.trayOnly) options.trayMode = AppDelegate::TrayMode::trayOnly;
    if (launch.serve) {
        // Serving beside the tray: the address is bound before any window appears, so a port
        // in use ends the launch here (launchOf sent a malformed one to the headless refusal).
        AppSettings& settings = AppSettings::shared();
        Localizer::shared().apply(settings.language());
        const PrintArgs args = parsePrintArgs(QCoreApplication::arguments(), settings.refreshInterval());
        if (!args.options || !args.options->serve) {
            std::fputs(args.message.toUtf8().constData(), stderr);
            return 2;
        }
        QString error;
        options.server = startMetricsServer(*args.options->serve, &error);
        if (!options.server) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return 2;
        }
        std::fprintf(stderr, "%s\n",
                     servingMessage(*options.server, *args.options->serve).toUtf8().constData());
    }
    AppDelegate delegate(std::move(options));
    QObject::connect(&instance, &SingleInstance::activationRequested, &delegate, &AppDelegate::activate);
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
