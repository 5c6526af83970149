#pragma once

#include "maintenance/startup_item.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace velmora {

// The keys of a desktop entry file's [Desktop Entry] group that decide whether and under
// which name it starts at login.
struct DesktopEntry {
    QString name;
    QList<QPair<QString, QString>> localizedNames;  // locale ("ko", "pt_BR"), name; file order
    bool hidden = false;
    QStringList onlyShowIn;
    QStringList notShowIn;
};

// Absent when the bytes are not UTF-8 or hold no [Desktop Entry] group.
std::optional<DesktopEntry> parseDesktopEntry(const QByteArray& bytes);

// The entry's name in an interface language ("ko", "pt", "zh-Hant"): the matching localized
// Name, else Name; empty when it has neither.
QString entryName(const DesktopEntry& entry, const QString& language);

// Whether the entry starts on a desktop that names itself `desktops` (XDG_CURRENT_DESKTOP,
// split at colons): not hidden, listed in OnlyShowIn when that is given, not in NotShowIn.
bool entryInEffect(const DesktopEntry& entry, const QStringList& desktops);

// The autostart entries in effect, from autostart folders in precedence order (the user's
// own first): a file shadows files of the same name in later folders, whatever it says.
// Files that cannot be read or parsed list nothing. Ordered by file name.
std::vector<StartupItem> autostartItems(const QStringList& dirs, const QStringList& desktops,
                                        const QString& language);

// Switches the autostart entry at `path` off for this user, the reversible way: the file of
// the same name in `userDir` gets Hidden=true, keeping every other line of the entry in
// effect. Written atomically. False when it could not be written.
bool hideAutostartEntry(const QString& path, const QString& userDir);

// The user's own service units (`dir`/*.service) as launch agents, by file name.
std::vector<StartupItem> userUnitAgents(const QString& dir);

// Largest autostart file read; anything bigger is not an entry.
inline constexpr size_t kMaxDesktopEntryBytes = 256 << 10;

}  // namespace velmora
