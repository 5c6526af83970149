#pragma once

#include "maintenance/startup_service.h"

#include <QStringList>

namespace velmora {

// Startup items the freedesktop way: the autostart entries in effect as login items, the
// user's own service units as launch agents. Removing a login item hides it with an override
// in the user's autostart folder. Takes its folders as parameters, so tests use fixture trees.
class XdgStartupSource : public StartupSource {
  public:
    struct Folders {
        QStringList autostart;  // the user's own first, then the system's, by precedence
        QString userUnits;      // the user's service units
    };
    XdgStartupSource(Folders folders, QStringList desktops);

    // The folders of this session: $XDG_CONFIG_HOME/autostart, then each of $XDG_CONFIG_DIRS;
    // the desktops from $XDG_CURRENT_DESKTOP.
    static Folders sessionFolders();
    static QStringList sessionDesktops();

    StartupScan scan(const QString& language) override;
    void removeLoginItem(const StartupItem& item) override;

  private:
    Folders folders_;
    QStringList desktops_;
};

}  // namespace velmora
