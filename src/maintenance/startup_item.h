#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// Something that starts when the user logs in.
struct StartupItem {
    // The kinds are fixed values compared by the window, never shown as they are: the window
    // shows them through the localizer.
    static constexpr const char* loginItemKind = "로그인 항목";
    static constexpr const char* launchAgentKind = "LaunchAgent";

    // Whether the item starts at login, and if not, why not. Items that won't start are still
    // listed, so the user sees why something they expect is missing.
    enum class State {
        starts,
        hidden,          // Hidden=true: switched off, the way removal does it
        switchedOff,     // switched off by the desktop's own settings (X-GNOME-Autostart-enabled=false)
        otherDesktop,    // OnlyShowIn / NotShowIn leave this desktop out
        noCommand,       // no Exec line
        programMissing,  // the program named by TryExec is not there
        masked,          // a unit file linked to /dev/null (or empty)
        disabled,        // a unit file that nothing pulls in
    };

    QString name;
    QString path;  // may be empty for a login item whose file is unknown
    QString kind;
    State state = State::starts;
    QString stateDetail{};  // programMissing: the program named
    // Installed by the system rather than by the user (a unit in the system's folders).
    bool system = false;
    // A digest of the file as the listing read it: an action first checks that the file
    // still says the same, so nothing is done on a file the user changed meanwhile.
    QByteArray fingerprint{};

    bool isLoginItem() const { return kind == QString::fromUtf8(loginItemKind); }
    bool starts() const { return state == State::starts; }
    // Tells rows apart: kind and path, or kind and name without a path.
    QString identity() const { return kind + QLatin1Char('|') + (path.isEmpty() ? name : path); }
    bool operator==(const StartupItem&) const = default;
};

// Why removing a login item did nothing. The user's file is never touched in any of these.
struct RemovalFailure {
    enum class Reason {
        unparsable,      // the user's file no longer reads as a desktop entry
        linkNotOwned,    // the user's entry links to a file another user owns
        danglingLink,    // the user's entry links to nothing
        folderInTheWay,  // a folder stands where the entry's file would be
        changed,         // the file changed since the list was read
        unreadable,      // the file could not be read
        unwritable,      // the new content could not be written (read-only folder, full disk)
    };
    Reason reason;
    QString path;  // the file or folder concerned

    bool operator==(const RemovalFailure&) const = default;
};

}  // namespace velmora
