#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velmora {

// The small actions offered next to the kill buttons: show the executable in the file
// browser, open a terminal in its folder. Child programs get argument vectors, never a
// shell; nothing waits for them. Call on the GUI thread.
class ProcessActions {
  public:
    // Starts `program` detached in `workingDirectory` (empty: the current one).
    using Launcher =
        std::function<bool(const QString& program, const QStringList& args, const QString& workingDirectory)>;
    // The absolute path of an executable found on PATH, empty when there is none.
    using Finder = std::function<QString(const QString& name)>;

    // The session bus, the user's $TERMINAL and programs on PATH.
    ProcessActions();
    ProcessActions(QDBusConnection bus, Launcher launcher, Finder finder, QString terminalSetting);

    // Asks the desktop's file manager (org.freedesktop.FileManager1.ShowItems) to show the
    // file selected; when no file manager answers, opens its folder instead. An empty
    // path does nothing. `settled`, when given, hears once how it ended: true when a file
    // manager showed the file, false when the folder was opened or nothing could be done.
    void revealInFinder(const QString& path, std::function<void(bool shown)> settled = {}) const;
    // Starts the user's terminal emulator in the executable's folder. An empty path does
    // nothing.
    void openTerminal(const QString& executablePath) const;

    // The path without its last component: "/usr/bin/ls" → "/usr/bin", "/ls" → "/".
    static QString folderOf(const QString& path);
    // The argument vector of the terminal to start: $TERMINAL first (it may carry its own
    // arguments), then the system's chosen one, then well-known emulators.
    std::optional<QStringList> terminalCommand() const;

  private:
    QDBusConnection bus_;
    Launcher launcher_;
    Finder finder_;
    QString terminalSetting_;
};

}  // namespace velmora
