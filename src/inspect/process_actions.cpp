#include "inspect/process_actions.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace velmora {

namespace {

bool startDetached(const QString& program, const QStringList& args, const QString& workingDirectory) {
    return QProcess::startDetached(program, args, workingDirectory);
}

QString findOnPath(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

}  // namespace

ProcessActions::ProcessActions()
    : ProcessActions(QDBusConnection::sessionBus(), startDetached, findOnPath,
                     qEnvironmentVariable("TERMINAL")) {}

ProcessActions::ProcessActions(QDBusConnection bus, Launcher launcher, Finder finder, QString terminalSetting)
    : bus_(std::move(bus)),
      launcher_(std::move(launcher)),
      finder_(std::move(finder)),
      terminalSetting_(std::move(terminalSetting)) {}

QString ProcessActions::folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return {};
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

#if defined(Q_OS_MACOS)

void ProcessActions::revealInFinder(const QString& path, std::function<void(bool)> settled) const {
    if (!path.isEmpty()) launcher_(QStringLiteral("/usr/bin/open"), {QStringLiteral("-R"), path}, {});
    if (settled) settled(!path.isEmpty());
}

std::optional<QStringList> ProcessActions::terminalCommand() const {
    return QStringList{QStringLiteral("/usr/bin/open"), QStringLiteral("-a"), QStringLiteral("Terminal")};
}

void ProcessActions::openTerminal(const QString& executablePath) const {
    if (executablePath.isEmpty()) return;
    const QString folder = folderOf(executablePath);
    if (folder.isEmpty()) return;
    // The terminal opens the folder it is given; the working directory does not matter.
    launcher_(QStringLiteral("/usr/bin/open"), {QStringLiteral("-a"), QStringLiteral("Terminal"), folder},
              {});
}

#else

void ProcessActions::revealInFinder(const QString& path, std::function<void(bool)> settled) const {
    if (path.isEmpty()) {
        if (settled) settled(false);
        return;
    }
    const QString folder = folderOf(path);
    const Launcher launcher = launcher_;
    const Finder finder = finder_;
    auto openFolder = [launcher, finder, folder] {
        if (folder.isEmpty()) return;
        const QString opener = finder(QStringLiteral("xdg-open"));
        if (!opener.isEmpty()) launcher(opener, {folder}, {});
    };
    if (!bus_.isConnected()) {
        openFolder();
        if (settled) settled(false);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [openFolder, settled = std::move(settled)](QDBusPendingCallWatcher* w) {
                         const bool shown = !w->isError();
                         if (!shown) openFolder();
                         if (settled) settled(shown);
                         w->deleteLater();
                     });
}

std::optional<QStringList> ProcessActions::terminalCommand() const {
    std::vector<QStringList> candidates;
    if (!terminalSetting_.trimmed().isEmpty()) {
        // Split like a command line, quotes respected; no shell runs it.
        const QStringList parts = QProcess::splitCommand(terminalSetting_);
        if (!parts.isEmpty()) candidates.push_back(parts);
    }
    for (const char* name : {"x-terminal-emulator", "gnome-terminal", "konsole", "xfce4-terminal", "kitty",
                             "alacritty", "foot", "xterm"})
        candidates.push_back({QString::fromLatin1(name)});
    for (QStringList argv : candidates) {
        const QString program = finder_(argv.front());
        if (program.isEmpty()) continue;
        argv.front() = program;
        return argv;
    }
    return std::nullopt;
}

void ProcessActions::openTerminal(const QString& executablePath) const {
    if (executablePath.isEmpty()) return;
    const QString folder = folderOf(executablePath);
    if (folder.isEmpty()) return;
    const auto argv = terminalCommand();
    if (!argv) return;
    launcher_(argv->front(), argv->mid(1), folder);
}

#endif

}  // namespace velmora
