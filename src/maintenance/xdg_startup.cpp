#include "maintenance/xdg_startup.h"

#include "maintenance/desktop_entry.h"

#include <QLocale>
#include <QStandardPaths>

namespace velmora {

XdgStartupSource::XdgStartupSource(Folders folders, QStringList desktops, QString sessionLocale,
                                   QStringList programPath)
    : folders_(std::move(folders)),
      desktops_(std::move(desktops)),
      sessionLocale_(std::move(sessionLocale)),
      programPath_(std::move(programPath)) {}

XdgStartupSource::Folders XdgStartupSource::sessionFolders() {
    Folders f;
    // The user's configuration folder comes first, then the system's, as XDG orders them.
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        f.autostart.push_back(dir + QStringLiteral("/autostart"));
    f.units = sessionUnitFolders();
    return f;
}

QStringList XdgStartupSource::sessionDesktops() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString XdgStartupSource::sessionLocale() {
    // The variables that decide the language of messages, strongest first.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty()) return value;
    }
    return QLocale::system().name();
}

StartupScan XdgStartupSource::scan(const QString& language) {
    StartupScan scan;
    scan.items = autostartItems(folders_.autostart, desktops_, nameLocale(language, sessionLocale_), programPath_);
    std::vector<StartupItem> agents = unitAgents(folders_.units);
    scan.items.insert(scan.items.end(), std::make_move_iterator(agents.begin()), std::make_move_iterator(agents.end()));
    return scan;  // nothing here asks for a permission
}

std::optional<RemovalFailure> XdgStartupSource::removeLoginItem(const StartupItem& item) {
    if (!item.isLoginItem() || item.path.isEmpty() || folders_.autostart.isEmpty()) return std::nullopt;
    return hideAutostartEntry(item, folders_.autostart.constFirst());
}

}  // namespace velmora
