// Opens one of the application's dialogs on its own and keeps it open until killed, so the
// Wayland checks can see it appear on a real compositor:
//   dialog_probe kill PID   the confirmation for ending process PID, advised as the app does
//   dialog_probe report     the problem-report sheet (reports would go to a closed port)
#include "core/localizer.h"
#include "inspect/kill_advisor.h"
#include "maintenance/bug_reporter.h"
#include "ui/common/kill_flow.h"
#include "ui/settings/bug_report_sheet.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

using namespace velmora;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("kill")) {
        const int32_t pid = args[2].toInt();
        KillRequest request;
        request.targets = {ProcessRef{pid, 0}};
        request.names = {QStringLiteral("probe")};
        request.advice = KillAdvisor().advise(request.pids(), false);
        confirmKill(request, nullptr);  // modal: runs until the check ends this program
        return 0;
    }
    if (args.size() == 2 && args[1] == QLatin1String("report")) {
        QTemporaryDir logs;
        BugReporter reporter({logs.path(), QStringLiteral("probe"), QUrl(QStringLiteral("http://127.0.0.1:9/")), {}, {}});
        BugReportSheet sheet(reporter, Localizer::shared());
        sheet.show();
        return app.exec();
    }
    std::fputs("usage: dialog_probe kill PID | report\n", stderr);
    return 2;
}
