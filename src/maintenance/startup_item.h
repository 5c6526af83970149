#pragma once

#include <QString>

namespace velmora {

// Something that starts when the user logs in.
struct StartupItem {
    // The kinds are fixed values compared by the window, never shown as they are: the window
    // shows them through the localizer.
    static constexpr const char* loginItemKind = "로그인 항목";
    static constexpr const char* launchAgentKind = "LaunchAgent";

    QString name;
    QString path;  // may be empty for a login item whose file is unknown
    QString kind;

    bool isLoginItem() const { return kind == QString::fromUtf8(loginItemKind); }
    // Tells rows apart: kind and path, or kind and name without a path.
    QString identity() const { return kind + QLatin1Char('|') + (path.isEmpty() ? name : path); }
    bool operator==(const StartupItem&) const = default;
};

}  // namespace velmora
