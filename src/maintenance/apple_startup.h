#pragma once

#include "maintenance/startup_service.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// The System Events scripts of the macOS login items.
inline constexpr const char* kLoginItemNamesScript =
    "tell application \"System Events\" to get name of every login item";
inline constexpr const char* kLoginItemPathsScript =
    "tell application \"System Events\" to get path of every login item";

// An AppleScript result as a list: trimmed, split at ", ", each piece trimmed of spaces and
// tabs, empty pieces dropped. Empty output gives an empty list.
QStringList splitOsaList(const QString& output);

// The script that deletes the login item of that name, backslashes and double quotes escaped.
QString deleteLoginItemScript(const QString& name);

// Login items paired by position: a name without a path gets an empty path. No names at all
// is taken as a missing automation permission.
StartupScan loginItemsFrom(const QStringList& names, const QStringList& paths);

// The launch agent name a file stands for: its label when the property list has one, else
// the file name without its extension. Absent for files whose extension is not exactly "plist".
std::optional<QString> launchAgentName(const QString& fileName, const std::optional<QString>& label);

}  // namespace velmora
