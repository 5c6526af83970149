#include "platform/linux/desktop_entries.h"

#include "support/test_util.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
using namespace velmora::platform;
using Kind = ProcessIconSource::Kind;
using Ids = std::vector<std::string>;

TEST(DesktopUnits, CandidateIdsFromUnitNames) {
    const struct {
        const char* unit;
        Ids ids;
    } cases[] = {
        {"app-gnome-org.gnome.Terminal-12345.scope", {"gnome-org.gnome.Terminal", "org.gnome.Terminal"}},
        {"app-org.kde.konsole-1a2b.scope", {"org.kde.konsole"}},
        {"app-gnome-firefox-4021.scope", {"gnome-firefox", "firefox"}},
        {"app-gnome-google\\x2dchrome-77.scope", {"gnome-google-chrome", "google-chrome"}},
        {"app-org.gnome.Evince@ab12cd.service", {"org.gnome.Evince"}},
        {"app-KDE-org.kde.dolphin@0.service", {"KDE-org.kde.dolphin", "org.kde.dolphin"}},
        {"app-flatpak-org.gnome.Calculator-98765.scope", {"flatpak-org.gnome.Calculator", "org.gnome.Calculator"}},
        {"snap.firefox.firefox.0f5b7c1e-2d3a-4b5c-8d9e-0a1b2c3d4e5f.scope", {"firefox_firefox", "firefox"}},
        {"snap.code.code-0f5b7c1e-2d3a-4b5c-8d9e-0a1b2c3d4e5f.scope", {"code_code", "code"}},
        {"snap.multipass.multipass-gui.scope", {"multipass_multipass-gui", "multipass-gui", "multipass"}},
        // Not application units.
        {"session-3.scope", {}},
        {"user@1000.service", {}},
        {"app.slice", {}},
        {"dbus.service", {}},
        {"app-.scope", {}},
        {"snap..scope", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(desktopIdsFromUnit(c.unit), c.ids) << c.unit;
}

TEST(DesktopUnits, InnermostApplicationUnitOfACgroupFile) {
    const struct {
        const char* text;
        Ids ids;
    } cases[] = {
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-org.gnome.Terminal-3309.scope\n",
         {"gnome-org.gnome.Terminal", "org.gnome.Terminal"}},
        // A service of its own below the application's scope: the scope still names it.
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.kate-42.scope/sub\n",
         {"org.kde.kate"}},
        // cgroup v1: the systemd hierarchy line carries the unit.
        {"12:cpu,cpuacct:/\n1:name=systemd:/user.slice/user-1000.slice/user@1000.service/snap.vlc.vlc.scope\n",
         {"vlc_vlc", "vlc"}},
        {"0::/user.slice/user-1000.slice/session-2.scope\n", {}},
        {"0::/\n", {}},
        {"garbage without colons\n::\n", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(desktopIdsFromCgroup(c.text), c.ids) << c.text;
}

TEST(DesktopEntries, ProgramOfAnExecLine) {
    const struct {
        const char* exec;
        const char* program;
    } cases[] = {
        {"firefox %u", "firefox"},
        {"/usr/bin/gnome-terminal --window", "gnome-terminal"},
        {"\"/opt/My App/bin/my app\" --flag %F", "my app"},
        {"env GDK_BACKEND=x11 LANG=C /usr/bin/gimp %U", "gimp"},
        {"/usr/bin/env -u FOO code --new-window", "code"},
        {"  \tspaced   ", "spaced"},
        {"\"unterminated /x/y", "y"},
        {"", ""},
        {"env", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(execProgram(c.exec), c.program) << c.exec;
}

TEST(DesktopEntries, OnlyTheDesktopEntryGroupCounts) {
    const std::optional<DesktopEntry> e = parseDesktopEntry(
        "# comment\n[Desktop Entry]\nName=Editor\nIcon[de]=wrong\nIcon = text-editor \nExec=/usr/bin/edit %F\n"
        "StartupWMClass=EditMain\n[Desktop Action new]\nIcon=other\nExec=other\n");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->icon, "text-editor");
    EXPECT_EQ(e->exec, "edit");
    EXPECT_EQ(e->wmClass, "editmain");
    EXPECT_FALSE(e->hidden);
    EXPECT_TRUE(parseDesktopEntry("[Desktop Entry]\nHidden=true\n")->hidden);
    EXPECT_FALSE(parseDesktopEntry("Icon=x\n"));
    EXPECT_FALSE(parseDesktopEntry(std::string("\0\x01\xff[garbage", 12)));
    EXPECT_FALSE(parseDesktopEntry(""));
}

TEST(DesktopEntries, ApplicationFoldersFollowTheBaseDirectoryRules) {
    EXPECT_EQ(applicationDirs("", "", "/home/u"),
              (Ids{"/home/u/.local/share/applications", "/usr/local/share/applications", "/usr/share/applications"}));
    EXPECT_EQ(applicationDirs("/d/home/", "/a:relative:/b/::/a", "/home/u"),
              (Ids{"/d/home/applications", "/a/applications", "/b/applications"}));
}

namespace {

class IconReader : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::chrono::steady_clock::time_point now{};

    std::string path(const QString& rel) const { return dir.filePath(rel).toStdString(); }
    void write(const QString& rel, const QByteArray& content) const { test::writeFile(dir, rel, content); }
    void entry(const QString& rel, const QByteArray& body) const { write(rel, "[Desktop Entry]\n" + body); }
    // A process under proc/<pid>: stat with `start`, its executable link, comm and cgroup.
    void process(int pid, uint64_t start, const QString& exe, const QByteArray& comm, const QByteArray& cgroup) const {
        const QString base = QStringLiteral("proc/%1/").arg(pid);
        write(base + "stat", QByteArray::number(pid) + " (" + comm +
                                 ") S 1 1 1 0 -1 0 0 0 0 0 1 1 0 0 20 0 1 0 " + QByteArray::number(start) +
                                 " 1000 10 0 0 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0\n");
        write(base + "comm", comm + "\n");
        write(base + "cgroup", cgroup);
        if (!exe.isEmpty()) {
            ASSERT_EQ(::symlink(exe.toLocal8Bit().constData(), dir.filePath(base + "exe").toLocal8Bit().constData()), 0);
        }
    }
    LinuxProcessIconReader reader() {
        return LinuxProcessIconReader(path("proc"), {path("home/applications"), path("usr/applications")},
                                      [this] { return now; });
    }
};

}  // namespace

TEST_F(IconReader, ScopeThenExecutableThenNameFindTheEntry) {
    entry("usr/applications/org.gnome.Terminal.desktop", "Icon=utilities-terminal\nExec=gnome-terminal\n");
    entry("usr/applications/gimp.desktop", "Icon=gimp\nExec=env LANG=C gimp-2.10 %U\n");
    entry("usr/applications/kde4/kate.desktop", "Icon=kate\nExec=kate -b %U\n");
    entry("usr/applications/steam.desktop", "Icon=/opt/steam/steam.png\nExec=steam\nStartupWMClass=Steam\n");
    entry("usr/applications/tool.desktop", "Icon=tool.svg\nExec=tool\n");
    const QByteArray plain = "0::/user.slice/user-1000.slice/session-2.scope\n";
    process(100, 5, "/usr/libexec/gnome-terminal-server", "gnome-terminal-",
            "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-org.gnome.Terminal-77.scope\n");
    process(101, 5, "/usr/bin/gimp-2.10 (deleted)", "gimp-2.10", plain);
    process(102, 5, "/usr/bin/kate", "kate", plain);
    process(103, 5, "/opt/steam/ubuntu12_32/steamwebhelper", "Steam", plain);
    process(104, 5, "", "tool", plain);
    process(105, 5, "/usr/bin/bash", "bash", plain);
    LinuxProcessIconReader r = reader();
    const struct {
        int pid;
        ProcessIconSource source;
    } cases[] = {
        {100, {Kind::themeName, "utilities-terminal"}},
        {101, {Kind::themeName, "gimp"}},
        {102, {Kind::themeName, "kate"}},  // the id is "kde4-kate"; the program matches
        {103, {Kind::file, "/opt/steam/steam.png"}},  // the name matches the window class
        {104, {Kind::themeName, "tool"}},            // no executable link: comm; extension dropped
        {105, {}},                                   // no entry for a shell
        {999, {}},                                   // gone
    };
    for (const auto& c : cases)
        EXPECT_EQ(r.iconSource(c.pid), c.source) << c.pid;
    EXPECT_EQ(r.startTime(100), 5u);
    EXPECT_FALSE(r.startTime(999));
    EXPECT_EQ(r.builds(), 1);
}

TEST_F(IconReader, TheDataHomeOverridesAndHidesSystemEntries) {
    entry("usr/applications/editor.desktop", "Icon=system-editor\nExec=editor\n");
    entry("home/applications/editor.desktop", "Icon=my-editor\nExec=editor\n");
    entry("usr/applications/viewer.desktop", "Icon=viewer\nExec=viewer\n");
    entry("home/applications/viewer.desktop", "Hidden=true\n");
    process(10, 1, "/usr/bin/editor", "editor", "");
    process(11, 1, "/usr/bin/viewer", "viewer", "");
    LinuxProcessIconReader r = reader();
    EXPECT_EQ(r.iconSource(10), (ProcessIconSource{Kind::themeName, "my-editor"}));
    EXPECT_EQ(r.iconSource(11), ProcessIconSource{});
}

TEST_F(IconReader, OddAndHugeFilesAreSkipped) {
    entry("usr/applications/big.desktop", "Icon=big\nExec=big\n" + QByteArray(DesktopIndex::kMaxFileBytes, '#'));
    write("usr/applications/binary.desktop", QByteArray("\x7f" "ELF\0\0\xff\xfe", 8));
    entry("usr/applications/noicon.desktop", "Exec=noicon\n");
    entry("usr/applications/.desktop", "Icon=nameless\nExec=nameless\n");
    QDir().mkpath(dir.filePath("usr/applications/folder.desktop"));
    ASSERT_EQ(::mkfifo(path("usr/applications/fifo.desktop").c_str(), 0600), 0);
    entry("usr/applications/good.desktop", "Icon=good\nExec=good\n");
    for (const char* name : {"big", "noicon", "nameless", "good"})
        process(std::string_view(name).size() * 10, 1, QStringLiteral("/usr/bin/") + name, name, "");
    LinuxProcessIconReader r = reader();
    EXPECT_EQ(r.iconSource(30), ProcessIconSource{});  // big
    EXPECT_EQ(r.iconSource(60), ProcessIconSource{});  // noicon
    EXPECT_EQ(r.iconSource(80), ProcessIconSource{});  // nameless
    EXPECT_EQ(r.iconSource(40), (ProcessIconSource{Kind::themeName, "good"}));
}

TEST_F(IconReader, TheIndexIsRebuiltOnlyWhenAFolderChangesAndTheRecheckIsDue) {
    process(1, 1, "/usr/bin/late", "late", "");
    QDir().mkpath(dir.filePath("usr/applications"));
    LinuxProcessIconReader r = reader();
    EXPECT_EQ(r.iconSource(1), ProcessIconSource{});
    entry("usr/applications/late.desktop", "Icon=late\nExec=late\n");
    EXPECT_EQ(r.iconSource(1), ProcessIconSource{});  // not looked at again yet
    now += std::chrono::seconds(61);
    EXPECT_EQ(r.iconSource(1), (ProcessIconSource{Kind::themeName, "late"}));
    EXPECT_EQ(r.builds(), 2);
    now += std::chrono::seconds(61);
    EXPECT_EQ(r.iconSource(1), (ProcessIconSource{Kind::themeName, "late"}));
    EXPECT_EQ(r.builds(), 2);  // nothing changed
}
