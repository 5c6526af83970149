#include "app/app_delegate.h"
#include "app/command_line.h"
#include "app/display_session.h"
#include "app/history_mode.h"
#include "app/launch_env.h"
#include "app/print_mode.h"
#include "app/quit_signals.h"
#include "app/sensor_dump.h"
#include "app/single_instance.h"
#include "core/brand.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "maintenance/bug_reporter.h"
#include "platform/diagnostics.h"

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

void write(const QString& text, FILE* to) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fflush(to);
}

// In the interface language, before any application object exists.
void applyLanguage() {
    Localizer::shared().apply(AppSettings::shared().language());
}

// Everything but the tray application: no GUI object at all, so it runs over SSH and
// without a display.
int runHeadless(int argc, char** argv, const CommandLine& line) {
    QCoreApplication app(argc, argv);
    applyLanguage();
    switch (line.mode) {
        case CommandLine::Mode::help:
            write(usageText(), stdout);
            return 0;
        case CommandLine::Mode::version:
            write(versionText() + u'\n', stdout);
            return 0;
        case CommandLine::Mode::refused:
            write(refusalText(line.refusal), stderr);
            return 2;
        case CommandLine::Mode::history:
            return runHistoryMode(line.history, platform::stateFolder() + QStringLiteral("/history.sqlite"));
        case CommandLine::Mode::headless:
        case CommandLine::Mode::tray:
            break;
    }
    return runPrintMode(line.options);
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

    const CommandLine line = parseCommandLine(rawArguments(argc, argv));
    if (line.mode != CommandLine::Mode::tray) return runHeadless(argc, argv, line);

    // Without a desktop to draw on, Qt would abort; say what works there instead.
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (findDisplaySession(environment, line.platformChosen) == DisplaySession::none) {
        applyLanguage();
        write(L("appNoDisplay") + u'\n', stderr);
        return 2;
    }
    applyLanguage();
    installDisplayLossHandler(L("appNoDisplay"));

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
    options.launch = parseLaunchRequests(environment);
    if (line.trayOnly) options.trayMode = AppDelegate::TrayMode::trayOnly;
    if (line.options.serve) {
        // Serving beside the tray: the address is bound before any window appears, so a port
        // in use ends the launch here.
        QString error;
        options.server = startMetricsServer(*line.options.serve, &error);
        if (!options.server) {
            write(error + u'\n', stderr);
            return 2;
        }
        write(servingMessage(*options.server, *line.options.serve) + u'\n', stderr);
    }
    quitOnTerminationSignals(app);
    AppDelegate delegate(std::move(options));
    QObject::connect(&instance, &SingleInstance::activationRequested, &delegate, &AppDelegate::activate);
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
