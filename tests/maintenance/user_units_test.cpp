// The service units that start at login, read from fixture trees laid out like the user
// manager's search path: the user's own unit files (started, masked, never enabled) and the
// system's units enabled through default.target.wants.
#include "maintenance/user_units.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using State = StartupItem::State;

namespace {

class UnitTree : public ::testing::Test {
  protected:
    QString config() const { return root.filePath("home/.config/systemd/user"); }
    QString etc() const { return root.filePath("etc/systemd/user"); }
    QString data() const { return root.filePath("home/.local/share/systemd/user"); }
    QString lib() const { return root.filePath("usr/lib/systemd/user"); }
    std::vector<UnitFolder> search() const { return {{config(), true}, {etc(), false}, {data(), true}, {lib(), false}}; }

    void unit(const QString& dir, const QString& name, const QByteArray& body = "[Service]\nExecStart=/bin/true\n") {
        QDir().mkpath(dir);
        QFile f(dir + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(body);
    }
    // A link the way `systemctl enable` makes it: <dir>/<target>.wants/<name> to the file.
    void enable(const QString& dir, const QString& target, const QString& name, const QString& file) {
        QDir().mkpath(dir + "/" + target + ".wants");
        ASSERT_TRUE(QFile::link(file, dir + "/" + target + ".wants/" + name));
    }
    QTemporaryDir root;
};

}  // namespace

TEST_F(UnitTree, UsersUnitsAreMarkedAndSystemUnitsStartedAtLoginAreListed) {
    unit(config(), "enabled.service");
    enable(config(), "default.target", "enabled.service", config() + "/enabled.service");
    unit(config(), "session.service");
    enable(config(), "graphical-session.target", "session.service", config() + "/session.service");
    unit(config(), "never.service");
    QDir().mkpath(config());
    ASSERT_TRUE(QFile::link("/dev/null", config() + "/masked.service"));
    unit(config(), "empty.service", "");
    unit(data(), "tmpl@.service");
    enable(config(), "default.target", "tmpl@one.service", data() + "/tmpl@.service");
    unit(config(), "notes.txt");
    QDir().mkpath(config() + "/folder.service");

    unit(lib(), "pkg.service");  // enabled for everyone by the package
    enable(etc(), "default.target", "pkg.service", lib() + "/pkg.service");
    unit(lib(), "mine-too.service");  // a system unit the user enabled
    enable(config(), "default.target", "mine-too.service", lib() + "/mine-too.service");
    unit(lib(), "idle.service");  // installed, enabled by nobody
    unit(lib(), "socket.service");  // pulled in by another target than login
    enable(lib(), "sockets.target", "socket.service", lib() + "/socket.service");
    unit(lib(), "over.service");  // shadowed by /etc's copy
    unit(etc(), "over.service");
    enable(etc(), "default.target", "over.service", etc() + "/over.service");
    unit(lib(), "quiet.service");  // enabled, then masked by the user
    enable(etc(), "default.target", "quiet.service", lib() + "/quiet.service");
    ASSERT_TRUE(QFile::link("/dev/null", config() + "/quiet.service"));
    unit(lib(), "getty@.service");  // an instance of a system template
    enable(etc(), "default.target", "getty@tty1.service", lib() + "/getty@.service");
    enable(etc(), "default.target", "gone.service", lib() + "/gone.service");  // a link to nothing

    struct Want {
        QString name, path;
        State state;
        bool system;
    };
    const Want want[] = {
        {"empty.service", config() + "/empty.service", State::masked, false},
        {"enabled.service", config() + "/enabled.service", State::starts, false},
        {"getty@tty1.service", lib() + "/getty@.service", State::starts, true},
        {"masked.service", config() + "/masked.service", State::masked, false},
        {"mine-too.service", lib() + "/mine-too.service", State::starts, true},
        {"never.service", config() + "/never.service", State::disabled, false},
        {"over.service", etc() + "/over.service", State::starts, true},
        {"pkg.service", lib() + "/pkg.service", State::starts, true},
        {"quiet.service", config() + "/quiet.service", State::masked, false},
        {"session.service", config() + "/session.service", State::starts, false},
        {"tmpl@.service", data() + "/tmpl@.service", State::starts, false},
    };
    const std::vector<StartupItem> items = unitAgents(search());
    ASSERT_EQ(items.size(), std::size(want));
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(want[i].name.toStdString());
        EXPECT_EQ(items[i].name, want[i].name);
        EXPECT_EQ(items[i].path, want[i].path);
        EXPECT_EQ(items[i].state, want[i].state);
        EXPECT_EQ(items[i].system, want[i].system);
        EXPECT_EQ(items[i].kind, QString::fromUtf8(StartupItem::launchAgentKind));
    }
}

TEST_F(UnitTree, MissingFoldersListNothing) {
    EXPECT_TRUE(unitAgents(search()).empty());
    EXPECT_TRUE(unitAgents({}).empty());
}

TEST_F(UnitTree, SessionFoldersPutTheUsersConfigurationFirstAndEtcBeforeTheUsersData) {
    const std::vector<UnitFolder> folders = sessionUnitFolders();
    ASSERT_GE(folders.size(), 4u);
    EXPECT_TRUE(folders[0].users);
    EXPECT_TRUE(folders[0].path.endsWith("/systemd/user"));
    EXPECT_EQ(folders[1].path, "/etc/systemd/user");
    EXPECT_FALSE(folders[1].users);
    EXPECT_TRUE(folders[2].users);
    EXPECT_TRUE(std::any_of(folders.cbegin(), folders.cend(),
                            [](const UnitFolder& f) { return f.path == "/usr/lib/systemd/user" && !f.users; }));
}
