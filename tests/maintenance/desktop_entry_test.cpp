// Autostart entries: parsing, which ones are in effect, their names, the user's overrides and
// the override written to switch one off; all on fixture trees in temporary folders.
#include "maintenance/desktop_entry.h"
#include "maintenance/xdg_startup.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;

namespace {

QByteArray entry(const QByteArray& body) {
    return "[Desktop Entry]\nType=Application\n" + body + "\n";
}

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList names(const std::vector<StartupItem>& items) {
    QStringList out;
    for (const StartupItem& i : items)
        out.push_back(i.name);
    return out;
}

}  // namespace

TEST(DesktopEntry, ParsesTheKeysThatMatter) {
    const auto e = parseDesktopEntry(
        "# comment\n[Desktop Entry]\nName = Backup\\sTool\nName[ko]=백업\nHidden=true\n"
        "OnlyShowIn=GNOME;KDE;\nNotShowIn=a\\;b;XFCE\n[Desktop Action new]\nName=Other\nHidden=false\n");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->name, "Backup Tool");
    EXPECT_TRUE(e->hidden) << "keys of other groups do not count";
    EXPECT_EQ(e->onlyShowIn, QStringList({"GNOME", "KDE"}));
    EXPECT_EQ(e->notShowIn, QStringList({"a;b", "XFCE"}));
    ASSERT_EQ(e->localizedNames.size(), 1);
    EXPECT_EQ(e->localizedNames[0].second, "백업");
}

TEST(DesktopEntry, RefusesWhatIsNoEntry) {
    const QByteArray cases[] = {"", "Name=x\n", "[Other]\nName=x\n", "[Desktop Entry]\nName=\xff\xfe\n"};
    for (const QByteArray& c : cases)
        EXPECT_FALSE(parseDesktopEntry(c).has_value()) << c.toStdString();
}

TEST(DesktopEntry, NameFollowsTheInterfaceLanguage) {
    const auto e = parseDesktopEntry(
        "[Desktop Entry]\nName=Sync\nName[ko]=동기화\nName[pt_BR]=Sincronizar\nName[zh_TW]=同步處理\nName[zh_CN]=同步\n");
    ASSERT_TRUE(e);
    const std::pair<const char*, const char*> cases[] = {
        {"ko", "동기화"}, {"pt", "Sincronizar"}, {"zh-Hant", "同步處理"}, {"zh", "同步"}, {"en", "Sync"}, {"ja", "Sync"},
    };
    for (const auto& [lang, want] : cases)
        EXPECT_EQ(entryName(*e, QString::fromUtf8(lang)), QString::fromUtf8(want)) << lang;
}

TEST(DesktopEntry, InEffectForTheCurrentDesktop) {
    struct Case {
        const char* body;
        QStringList desktops;
        bool inEffect;
    };
    const Case cases[] = {
        {"", {"GNOME"}, true},
        {"Hidden=true", {"GNOME"}, false},
        {"Hidden=false", {}, true},
        {"OnlyShowIn=KDE;", {"GNOME"}, false},
        {"OnlyShowIn=KDE;", {"ubuntu", "KDE"}, true},
        {"OnlyShowIn=KDE;", {}, false},
        {"NotShowIn=GNOME;", {"ubuntu", "GNOME"}, false},
        {"NotShowIn=GNOME;", {"KDE"}, true},
        {"OnlyShowIn=gnome;", {"GNOME"}, false},
    };
    for (const Case& c : cases) {
        const auto e = parseDesktopEntry(entry(c.body));
        ASSERT_TRUE(e);
        EXPECT_EQ(entryInEffect(*e, c.desktops), c.inEffect) << c.body << " on " << c.desktops.join(':').toStdString();
    }
}

class AutostartTree : public ::testing::Test {
  protected:
    QString user() const { return root.filePath("home/autostart"); }
    QString system() const { return root.filePath("etc/autostart"); }
    QString vendor() const { return root.filePath("vendor/autostart"); }
    void put(const QString& dir, const QString& file, const QByteArray& content) {
        QDir().mkpath(dir);
        QFile f(dir + "/" + file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    std::vector<StartupItem> scan(const QString& lang = "en", QStringList desktops = {"GNOME"}) {
        return autostartItems({user(), system(), vendor()}, desktops, lang);
    }
    QTemporaryDir root;
};

TEST_F(AutostartTree, UserFileOverridesSystemFileOfTheSameName) {
    put(system(), "a.desktop", entry("Name=System A"));
    put(user(), "a.desktop", entry("Name=My A"));
    put(vendor(), "a.desktop", entry("Name=Vendor A"));
    put(system(), "b.desktop", entry("Name=B"));
    put(vendor(), "b.desktop", entry("Name=Vendor B"));
    put(user(), "c.desktop", entry("Name=C\nHidden=true"));
    put(system(), "c.desktop", entry("Name=System C"));
    put(system(), "d.desktop", entry("Name=D\nOnlyShowIn=KDE;"));
    put(system(), "notes.txt", entry("Name=Not an entry"));
    const auto items = scan();
    EXPECT_EQ(names(items), QStringList({"My A", "B"}));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].path, user() + "/a.desktop");
    EXPECT_EQ(items[1].path, system() + "/b.desktop");
    EXPECT_TRUE(items[0].isLoginItem());
}

TEST_F(AutostartTree, NamesFallBackToTheFileName) {
    put(system(), "nameless.desktop", entry("Exec=x"));
    put(system(), "loc.desktop", entry("Name=Clock\nName[ko]=시계"));
    EXPECT_EQ(names(scan("ko")), QStringList({"시계", "nameless"}));
}

TEST_F(AutostartTree, BadFilesListNothingAndNeverHang) {
    put(system(), "latin1.desktop", "[Desktop Entry]\nName=Caf\xe9\n");
    put(system(), "nogroup.desktop", "Name=No group\n");
    put(system(), "huge.desktop", entry("Name=Huge") + QByteArray(10 << 20, '#'));
    put(system(), "fine.desktop", entry("Name=Fine"));
    put(system(), "locked.desktop", entry("Name=Locked"));
    ::chmod(QFile::encodeName(system() + "/locked.desktop").constData(), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(system() + "/pipe.desktop").constData(), 0600), 0);
    QDir().mkpath(root.filePath("elsewhere"));
    put(root.filePath("elsewhere"), "target", entry("Name=Linked"));
    QFile::link(root.filePath("elsewhere/target"), system() + "/linked.desktop");
    QFile::link("/dev/zero", system() + "/zero.desktop");
    QStringList want{"Fine", "Linked"};
    if (::geteuid() == 0) want.push_back("Locked");  // root reads it anyway
    EXPECT_EQ(names(scan()), want);
}

TEST_F(AutostartTree, MissingFoldersGiveAnEmptyList) {
    EXPECT_TRUE(scan().empty());
}

TEST_F(AutostartTree, RemovingASystemEntryWritesAHiddenOverride) {
    put(system(), "sys.desktop", entry("Name=Sys\nExec=sys --daemon\nHidden=false"));
    ASSERT_TRUE(hideAutostartEntry(system() + "/sys.desktop", user()));
    EXPECT_TRUE(scan().empty());
    EXPECT_EQ(readAll(user() + "/sys.desktop"),
              "[Desktop Entry]\nHidden=true\nType=Application\nName=Sys\nExec=sys --daemon\n");
    EXPECT_EQ(readAll(system() + "/sys.desktop"), QString::fromUtf8(entry("Name=Sys\nExec=sys --daemon\nHidden=false")))
        << "the system's file is left alone";
    EXPECT_EQ(QDir(user()).entryList(QDir::Files | QDir::Hidden), QStringList({"sys.desktop"}))
        << "no temporary file is left behind";
}

TEST_F(AutostartTree, RemovingTheUsersOwnEntryKeepsItsOtherLines) {
    const QByteArray mine = "# mine\n[Desktop Entry]\nName=Mine\nName[ko]=내 것\nExec=run me\n\n[Desktop Action x]\nHidden=maybe\n";
    put(user(), "mine.desktop", mine);
    ASSERT_TRUE(hideAutostartEntry(user() + "/mine.desktop", user()));
    EXPECT_EQ(readAll(user() + "/mine.desktop"),
              "# mine\n[Desktop Entry]\nHidden=true\nName=Mine\nName[ko]=내 것\nExec=run me\n\n[Desktop Action x]\nHidden=maybe\n");
    EXPECT_TRUE(scan().empty());
}

TEST_F(AutostartTree, RemovingAnUnreadableEntryStillSwitchesItOff) {
    put(system(), "bad.desktop", "[Desktop Entry]\nName=\xff\n");
    ASSERT_TRUE(hideAutostartEntry(system() + "/bad.desktop", user()));
    EXPECT_EQ(readAll(user() + "/bad.desktop"), "[Desktop Entry]\nType=Application\nName=bad\nHidden=true\n");
    EXPECT_FALSE(hideAutostartEntry(system() + "/notes.txt", user())) << "only desktop entries";
}

TEST_F(AutostartTree, ALinkInTheUsersFolderIsReplacedNotWrittenThrough) {
    put(system(), "l.desktop", entry("Name=L"));
    QDir().mkpath(user());
    QFile::link(system() + "/l.desktop", user() + "/l.desktop");
    ASSERT_TRUE(hideAutostartEntry(user() + "/l.desktop", user()));
    EXPECT_FALSE(QFileInfo(user() + "/l.desktop").isSymLink());
    EXPECT_EQ(readAll(system() + "/l.desktop"), QString::fromUtf8(entry("Name=L")));
    EXPECT_TRUE(scan().empty());
}

TEST_F(AutostartTree, SourceListsLoginItemsThenUserUnits) {
    put(system(), "a.desktop", entry("Name=A"));
    const QString units = root.filePath("units");
    put(units, "sync.service", "[Service]\nExecStart=/bin/true\n");
    put(units, "timer.timer", "[Timer]\n");
    XdgStartupSource source({{user(), system()}, units}, {"GNOME"});
    StartupScan scan = source.scan("en");
    ASSERT_EQ(scan.items.size(), 2u);
    EXPECT_EQ(scan.items[0], (StartupItem{"A", system() + "/a.desktop", QString::fromUtf8(StartupItem::loginItemKind)}));
    EXPECT_EQ(scan.items[1],
              (StartupItem{"sync.service", units + "/sync.service", QString::fromUtf8(StartupItem::launchAgentKind)}));
    EXPECT_FALSE(scan.needsPermission);

    source.removeLoginItem(scan.items[1]);  // an agent is never removed
    source.removeLoginItem(scan.items[0]);
    scan = source.scan("en");
    ASSERT_EQ(scan.items.size(), 1u);
    EXPECT_EQ(scan.items[0].name, "sync.service");
}
