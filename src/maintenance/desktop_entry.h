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
    bool switchedOff = false;  // X-GNOME-Autostart-enabled=false
    bool hasExec = false;      // a non-empty Exec
    QString tryExec;           // the program that must exist for the entry to run
    QStringList onlyShowIn;
    QStringList notShowIn;
};

// Absent when the bytes are not UTF-8 or hold no [Desktop Entry] group.
std::optional<DesktopEntry> parseDesktopEntry(const QByteArray& bytes);

// The locale whose Name[...] an entry shows: the session's locale (LC_MESSAGES style,
// "ko_KR.UTF-8") when it is of the interface language ("ko", "zh-Hant"), else the interface
// language alone.
QString nameLocale(const QString& language, const QString& sessionLocale);

// The entry's name for a locale ("ko_KR", "ko", "sr_RS@latin", "zh-Hant"), best match first:
// language_COUNTRY@MODIFIER, language_COUNTRY, language@MODIFIER, language; a plain language
// also takes a regional name when the file has no plain one. Else Name; empty when neither.
QString entryName(const DesktopEntry& entry, const QString& locale);

// Whether the entry starts on a desktop that names itself `desktops` (XDG_CURRENT_DESKTOP,
// split at colons), and if not, the first reason in the order of StartupItem::State.
// `programPath`: where a TryExec without a slash is looked for; empty for $PATH.
StartupItem::State entryState(const DesktopEntry& entry, const QStringList& desktops,
                              const QStringList& programPath = {});

// The autostart entries, from autostart folders in precedence order (the user's own first):
// a file shadows files of the same name in later folders, whatever it says. Entries that
// won't start are listed with the reason. Files that cannot be read or parsed list nothing.
// Ordered by file name.
std::vector<StartupItem> autostartItems(const QStringList& dirs, const QStringList& desktops, const QString& locale,
                                        const QStringList& programPath = {});

// `bytes` (a desktop entry) with Hidden=true in its [Desktop Entry] group: an existing
// Hidden value is replaced, else the key goes right under the group header, in the file's
// own line ending. Every other byte stays. Absent when the bytes hold no such group.
std::optional<QByteArray> withHiddenSet(const QByteArray& bytes);

// Switches the autostart entry `listed` off for this user, the reversible way. The user's own
// file (in `userDir`) is edited in place; a link there is edited where it points when the
// user owns that file. An entry only in a system folder gets a copy with Hidden=true in
// `userDir`. Written atomically; nothing is removed before the new content is in place.
// Refused when the file no longer says what the listing read. Absent on success.
std::optional<RemovalFailure> hideAutostartEntry(const StartupItem& listed, const QString& userDir);

// A digest of a file's bytes, as StartupItem::fingerprint keeps it.
QByteArray entryFingerprint(const QByteArray& bytes);

// Largest autostart file read; anything bigger is not an entry.
inline constexpr size_t kMaxDesktopEntryBytes = 256 << 10;

}  // namespace velmora
