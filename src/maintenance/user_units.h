#pragma once

#include "maintenance/startup_item.h"

#include <QString>

#include <vector>

namespace velmora {

// A folder of the user service manager's unit files.
struct UnitFolder {
    QString path;
    bool users = false;  // the user's own (under the home folder) rather than the system's
};

// The user manager's unit folders of this session, in its search order: the user's
// configuration, /etc, the user's data, then the system's data and library folders.
std::vector<UnitFolder> sessionUnitFolders();

// The service units that start at login, or that the user wrote, as launch agents ordered by
// name, from `search` in the manager's precedence order (a file shadows same-named files in
// later folders). Each of the user's own unit files is listed: masked when linked to
// /dev/null or empty, disabled when no *.wants or *.requires folder links it. Units of the
// system's folders are listed when a default.target.wants folder links them, marked as the
// system's.
std::vector<StartupItem> unitAgents(const std::vector<UnitFolder>& search);

}  // namespace velmora
