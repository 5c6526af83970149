#include "maintenance/xdg_startup.h"

#include "maintenance/desktop_entry.h"

#include <QStandardPaths>

namespace velmora {

XdgStartupSource::XdgStartupSource(Folders folders, QStringList desktops)
    : folders_(std::move(folders)), desktops_(std::move(desktops)) {}

XdgStartupSource::Folders XdgStartupSource::sessionFolders() {
    Folders f;
    // The user's configuration folder comes first, then the system's, as XDG orders them.
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        f.autostart.push_back(dir + QStringLiteral("/autostart"));
    f.userUnits = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  QStringLiteral("/systemd/user");
    return f;
}

QStringList XdgStartupSource::sessionDesktops() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

StartupScan XdgStartupSource::scan(const QString& language) {
    StartupScan scan;
    scan.items = autostartItems(folders_.autostart, desktops_, language);
    std::vector<StartupItem> agents = userUnitAgents(folders_.userUnits);
    scan.items.insert(scan.items.end(), std::make_move_iterator(agents.begin()), std::make_move_iterator(agents.end()));
    return scan;  // nothing here asks for a permission
}

void XdgStartupSource::removeLoginItem(const StartupItem& item) {
    if (!item.isLoginItem() || item.path.isEmpty() || folders_.autostart.isEmpty()) return;
    hideAutostartEntry(item.path, folders_.autostart.constFirst());  // the rescan shows the outcome
}

}  // namespace velmora
