#pragma once

#include "maintenance/startup_service.h"
#include "maintenance/user_units.h"

#include <QStringList>

#include <vector>

namespace velmora {

// Startup items the freedesktop way: the autostart entries as login items, the service units
// that start at login (and the user's own unit files) as launch agents. Removing a login item
// sets Hidden=true in the user's own entry, or writes one that says so. Takes its folders as
// parameters, so tests use fixture trees.
class XdgStartupSource : public StartupSource {
  public:
    struct Folders {
        QStringList autostart;         // the user's own first, then the system's, by precedence
        std::vector<UnitFolder> units;  // the user manager's unit folders, by precedence
    };
    // `sessionLocale`: LC_MESSAGES style ("ko_KR.UTF-8"), for the entries' names.
    // `programPath`: where TryExec programs are looked for; empty for $PATH.
    XdgStartupSource(Folders folders, QStringList desktops, QString sessionLocale = {},
                     QStringList programPath = {});

    // The folders of this session: $XDG_CONFIG_HOME/autostart, then each of $XDG_CONFIG_DIRS;
    // the desktops from $XDG_CURRENT_DESKTOP; the locale of messages from the environment.
    static Folders sessionFolders();
    static QStringList sessionDesktops();
    static QString sessionLocale();

    StartupScan scan(const QString& language) override;
    std::optional<RemovalFailure> removeLoginItem(const StartupItem& item) override;

  private:
    Folders folders_;
    QStringList desktops_;
    QString sessionLocale_;
    QStringList programPath_;
};

}  // namespace velmora
