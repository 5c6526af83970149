#include "app/print_mode.h"
#include "app/sensor_dump.h"
#include "engine/settings.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

using namespace velmora;

int main(int argc, char** argv) {
    // Diagnostic mode: the sensor report, before any application object exists.
    if (std::getenv("VL_DUMP_SENSORS")) return runSensorDump();

    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("velmora"));

    // Headless print mode; it is also what runs until the tray shell exists.
    QCoreApplication app(argc, argv);
    const PrintArgs args = parsePrintArgs(QCoreApplication::arguments(), AppSettings::shared().refreshInterval());
    if (!args.options) {
        std::fputs(args.message.toUtf8().constData(), args.exitCode == 0 ? stdout : stderr);
        return args.exitCode;
    }
    return runPrintMode(*args.options);
}
