#include "inspect/process_actions.h"

#include "support/test_util.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

using namespace velmora;

namespace {

struct Launch {
    QString program;
    QStringList args;
    QString workingDirectory;
    bool operator==(const Launch&) const = default;
};

struct Recorder {
    std::vector<Launch> launches;
    std::set<QString> installed;
    ProcessActions actions(QDBusConnection bus, const QString& terminal = {}) {
        return ProcessActions(
            bus,
            [this](const QString& p, const QStringList& a, const QString& w) {
                launches.push_back({p, a, w});
                return true;
            },
            [this](const QString& name) {
                return installed.contains(name) ? "/fake/bin/" + name : QString();
            },
            terminal);
    }
};

// A session bus of our own, so the test never reaches the user's desktop.
class PrivateBus {
  public:
    bool start() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty() || !dir_.isValid()) return false;
        test::writeFile(
            dir_, "bus.conf",
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
            "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig><type>session"
            "</type><listen>unix:path=" +
                dir_.filePath("bus").toUtf8() +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        process_.start(daemon,
                       {"--config-file=" + dir_.filePath("bus.conf"), "--nofork", "--print-address=1"});
        if (!process_.waitForStarted(5000)) return false;
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(5000)) return false;
        address_ = QString::fromUtf8(process_.readLine()).trimmed();
        return !address_.isEmpty();
    }
    QDBusConnection connect(const QString& name) { return QDBusConnection::connectToBus(address_, name); }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        process_.kill();
        process_.waitForFinished(5000);
    }
    void remember(const QString& name) { names_ << name; }

  private:
    QTemporaryDir dir_;
    QProcess process_;
    QString address_;
    QStringList names_;
};

}  // namespace

class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
  public:
    std::vector<QStringList> shown;
  public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown.push_back(uris); }
};

TEST(ProcessActions, FolderOfAPath) {
    EXPECT_EQ(ProcessActions::folderOf("/usr/bin/ls"), "/usr/bin");
    EXPECT_EQ(ProcessActions::folderOf("/init"), "/");
    EXPECT_EQ(ProcessActions::folderOf("/opt/My App/bin/my app"), "/opt/My App/bin");
    EXPECT_EQ(ProcessActions::folderOf("relative"), "");
}

#if !defined(Q_OS_MACOS)

TEST(ProcessActions, TerminalIsTheUsersChoiceThenTheSystemsThenAKnownOne) {
    Recorder r;
    QDBusConnection none("velmora-no-bus");
    r.installed = {"kitty", "x-terminal-emulator", "xterm"};
    EXPECT_EQ(r.actions(none, "kitty --single-instance").terminalCommand(),
              (QStringList{"/fake/bin/kitty", "--single-instance"}));
    EXPECT_EQ(r.actions(none, "'not installed' -e").terminalCommand(),
              QStringList{"/fake/bin/x-terminal-emulator"});
    r.installed = {"xterm"};
    EXPECT_EQ(r.actions(none).terminalCommand(), QStringList{"/fake/bin/xterm"});
    r.installed.clear();
    EXPECT_FALSE(r.actions(none, "kitty").terminalCommand().has_value());
}

TEST(ProcessActions, TerminalStartsInTheExecutablesFolder) {
    Recorder r;
    QDBusConnection none("velmora-no-bus");
    r.installed = {"x-terminal-emulator"};
    r.actions(none, "").openTerminal("/opt/My App/bin/my app");
    r.actions(none, "").openTerminal("");
    ASSERT_EQ(r.launches.size(), 1u);
    EXPECT_EQ(r.launches[0], (Launch{"/fake/bin/x-terminal-emulator", {}, "/opt/My App/bin"}));
    r.installed.clear();
    r.actions(none, "").openTerminal("/usr/bin/ls");
    EXPECT_EQ(r.launches.size(), 1u) << "no terminal: nothing is started";
}

TEST(ProcessActions, WithoutABusTheFolderOpens) {
    Recorder r;
    r.installed = {"xdg-open"};
    QDBusConnection none("velmora-no-bus");
    r.actions(none).revealInFinder("/opt/My App/bin/my app");
    r.actions(none).revealInFinder("");
    ASSERT_EQ(r.launches.size(), 1u);
    EXPECT_EQ(r.launches[0], (Launch{"/fake/bin/xdg-open", {"/opt/My App/bin"}, ""}));
}

TEST(ProcessActions, RevealAsksTheFileManagerAndFallsBackWhenNoneAnswers) {
    PrivateBus bus;
    if (!bus.start()) GTEST_SKIP() << "no dbus-daemon to run a private bus";
    bus.remember("velmora-fm");
    bus.remember("velmora-client");
    QDBusConnection service = bus.connect("velmora-fm");
    QDBusConnection client = bus.connect("velmora-client");
    ASSERT_TRUE(service.isConnected() && client.isConnected());

    Recorder r;
    r.installed = {"xdg-open"};
    std::optional<bool> settled;
    r.actions(client).revealInFinder("/opt/No Manager/app", [&](bool shown) { settled = shown; });
    ASSERT_TRUE(test::waitUntil([&] { return settled.has_value(); })) << "no answer from the bus";
    EXPECT_FALSE(*settled) << "no file manager on the bus";
    ASSERT_EQ(r.launches.size(), 1u);
    EXPECT_EQ(r.launches[0], (Launch{"/fake/bin/xdg-open", {"/opt/No Manager"}, ""}));

    FakeFileManager manager;
    ASSERT_TRUE(
        service.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    r.launches.clear();
    settled.reset();
    r.actions(client).revealInFinder("/opt/My App/bin/my app", [&](bool shown) { settled = shown; });
    ASSERT_TRUE(test::waitUntil([&] { return settled.has_value(); }));
    EXPECT_TRUE(*settled);
    ASSERT_EQ(manager.shown.size(), 1u);
    EXPECT_EQ(manager.shown[0], QStringList{"file:///opt/My%20App/bin/my%20app"});
    EXPECT_TRUE(r.launches.empty()) << "the file manager answered: no fallback";
}

#endif

#include "process_actions_test.moc"
