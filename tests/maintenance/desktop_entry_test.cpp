// Autostart entries: parsing, why one won't start, their names per locale, and switching one
// off, all on real files in temporary folders: the user's own file is edited in place with
// every other byte kept, and every refusal leaves it as it was.
#include "maintenance/desktop_entry.h"
#include "maintenance/xdg_startup.h"

#include "support/maintenance_printers.h"
#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace velmora;
using State = StartupItem::State;
using Reason = RemovalFailure::Reason;

namespace {

QByteArray entry(const QByteArray& body) {
    return "[Desktop Entry]\nType=Application\n" + body + "\n";
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList names(const std::vector<StartupItem>& items) {
    QStringList out;
    for (const StartupItem& i : items)
        out.push_back(i.name);
    return out;
}

// Root passes every permission check; this takes that power from the calling thread alone
// while it lives, so a read-only folder is read-only to the code under test. No-op otherwise.
class WithoutPermissionOverrides {
  public:
    WithoutPermissionOverrides() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutPermissionOverrides() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

bool canCreateIn(const QString& dir) {
    QFile probe(dir + "/.probe");
    const bool ok = probe.open(QIODevice::WriteOnly);
    if (ok) probe.remove();
    return ok;
}

}  // namespace

TEST(DesktopEntry, ParsesTheKeysThatMatter) {
    const auto e = parseDesktopEntry(
        "# comment\n[Desktop Entry]\nName = Backup\\sTool\nName[ko]=백업\nHidden=true\nExec=backup --quiet\n"
        "TryExec=back\\sup\nX-GNOME-Autostart-enabled=false\n"
        "OnlyShowIn=GNOME;KDE;\nNotShowIn=a\\;b;XFCE\n[Desktop Action new]\nName=Other\nHidden=false\nExec=\n");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->name, "Backup Tool");
    EXPECT_TRUE(e->hidden) << "keys of other groups do not count";
    EXPECT_TRUE(e->hasExec);
    EXPECT_EQ(e->tryExec, "back up");
    EXPECT_TRUE(e->switchedOff);
    EXPECT_EQ(e->onlyShowIn, QStringList({"GNOME", "KDE"}));
    EXPECT_EQ(e->notShowIn, QStringList({"a;b", "XFCE"}));
    ASSERT_EQ(e->localizedNames.size(), 1);
    EXPECT_EQ(e->localizedNames[0].second, "백업");
}

TEST(DesktopEntry, RefusesWhatIsNoEntry) {
    const QByteArray cases[] = {"", "Name=x\n", "[Other]\nName=x\n", "[Desktop Entry]\nName=\xff\xfe\n"};
    for (const QByteArray& c : cases) {
        EXPECT_FALSE(parseDesktopEntry(c).has_value()) << c.toStdString();
        EXPECT_FALSE(withHiddenSet(c).has_value()) << c.toStdString();
    }
}

TEST(DesktopEntry, NameMatchesTheFullLocaleBeforeTheLanguage) {
    const auto e = parseDesktopEntry(
        "[Desktop Entry]\nName=Sync\nName[ko]=동기화\nName[ko_KR]=동기화 (대한민국)\nName[pt_BR]=Sincronizar\n"
        "Name[zh_TW]=同步處理\nName[zh_CN]=同步\nName[sr_RS]=Синхронизација\nName[sr@latin]=Sinhronizacija\n"
        "Name[de_DE]=\n");
    ASSERT_TRUE(e);
    const std::pair<const char*, const char*> cases[] = {
        {"ko_KR", "동기화 (대한민국)"},       // the full locale first
        {"ko_KR.UTF-8", "동기화 (대한민국)"}, // the encoding plays no part
        {"ko", "동기화"},                     // the language alone
        {"ko_KP", "동기화"},                  // another country falls back to the language
        {"pt", "Sincronizar"},               // a plain language takes a regional name
        {"pt_PT", "Sync"},                   // a region takes no other region's name
        {"zh-Hant", "同步處理"},
        {"zh_HK", "同步處理"},               // a traditional region falls back to Taiwan's
        {"zh", "同步"},
        {"zh_SG", "同步"},
        {"sr_RS@latin", "Синхронизација"},   // language_COUNTRY before language@MODIFIER
        {"sr@latin", "Sinhronizacija"},
        {"de_DE", "Sync"},                   // an empty translation is no translation
        {"en", "Sync"},
        {"", "Sync"},
    };
    for (const auto& [locale, want] : cases)
        EXPECT_EQ(entryName(*e, QString::fromUtf8(locale)), QString::fromUtf8(want)) << locale;
}

TEST(DesktopEntry, NameLocaleTakesTheSessionsRegionOfTheInterfaceLanguage) {
    struct Case {
        const char *language, *session, *locale;
    };
    const Case cases[] = {
        {"ko", "ko_KR.UTF-8", "ko_KR"},  {"ko", "en_US.UTF-8", "ko"},       {"ko", "", "ko"},
        {"en", "C.UTF-8", "en"},         {"ko", "ko", "ko"},                {"sr", "sr_RS.UTF-8@latin", "sr_RS@latin"},
        {"zh-Hant", "zh_HK.UTF-8", "zh_HK"}, {"zh-Hant", "zh_CN.UTF-8", "zh-Hant"}, {"zh-Hant", "zh", "zh-Hant"},
        {"zh", "zh_CN.UTF-8", "zh_CN"},  {"zh", "zh_TW.UTF-8", "zh"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nameLocale(c.language, c.session), c.locale) << c.language << " in " << c.session;
}

TEST(DesktopEntry, EveryReasonAnEntryWontStart) {
    QTemporaryDir bin;
    test::writeFile(bin, "present", "#!/bin/sh\n");
    test::writeFile(bin, "plain", "not a program\n");
    QFile::setPermissions(bin.filePath("present"), QFile::ReadOwner | QFile::ExeOwner | QFile::ExeOther);
    QDir().mkpath(bin.filePath("folder"));
    const QStringList path{bin.path()};
    const QByteArray present = bin.filePath("present").toUtf8();

    struct Case {
        QByteArray body;
        QStringList desktops;
        State state;
    };
    const Case cases[] = {
        {"Exec=x", {"GNOME"}, State::starts},
        {"Exec=x\nHidden=true", {"GNOME"}, State::hidden},
        {"Exec=x\nHidden=1", {"GNOME"}, State::hidden},
        {"Exec=x\nHidden=false", {"GNOME"}, State::starts},
        {"Exec=x\nX-GNOME-Autostart-enabled=false", {"GNOME"}, State::switchedOff},
        {"Exec=x\nX-GNOME-Autostart-enabled=0", {"KDE"}, State::switchedOff},
        {"Exec=x\nX-GNOME-Autostart-enabled=true", {"GNOME"}, State::starts},
        {"Exec=x\nOnlyShowIn=KDE;", {"GNOME"}, State::otherDesktop},
        {"Exec=x\nOnlyShowIn=KDE;", {"ubuntu", "KDE"}, State::starts},
        {"Exec=x\nOnlyShowIn=KDE;", {}, State::otherDesktop},
        {"Exec=x\nOnlyShowIn=gnome;", {"GNOME"}, State::otherDesktop},
        {"Exec=x\nNotShowIn=GNOME;", {"ubuntu", "GNOME"}, State::otherDesktop},
        {"Exec=x\nNotShowIn=GNOME;", {"KDE"}, State::starts},
        {"", {"GNOME"}, State::noCommand},
        {"Exec=", {"GNOME"}, State::noCommand},
        {"Exec=x\nTryExec=present", {"GNOME"}, State::starts},
        {"Exec=x\nTryExec=" + present, {"GNOME"}, State::starts},
        {"Exec=x\nTryExec=missing", {"GNOME"}, State::programMissing},
        {"Exec=x\nTryExec=plain", {"GNOME"}, State::programMissing},  // there, but no program
        {"Exec=x\nTryExec=" + bin.filePath("folder").toUtf8(), {"GNOME"}, State::programMissing},
        {QByteArray("Exec=x\nTryExec=pre\0sent", 23), {"GNOME"}, State::programMissing},  // no such file name
        // The first reason in order counts.
        {"Hidden=true\nX-GNOME-Autostart-enabled=false", {"GNOME"}, State::hidden},
        {"X-GNOME-Autostart-enabled=false\nOnlyShowIn=KDE;", {"GNOME"}, State::switchedOff},
        {"OnlyShowIn=KDE;\nTryExec=missing", {"GNOME"}, State::otherDesktop},
        {"TryExec=missing", {"GNOME"}, State::noCommand},
    };
    for (const Case& c : cases) {
        const auto e = parseDesktopEntry(entry(c.body));
        ASSERT_TRUE(e) << c.body.toStdString();
        EXPECT_EQ(entryState(*e, c.desktops, path), c.state)
            << c.body.toStdString() << " on " << c.desktops.join(':').toStdString();
    }
}

TEST(DesktopEntry, HiddenIsSetWithEveryOtherByteKept) {
    struct Case {
        const char* what;
        QByteArray in, out;
    };
    const Case cases[] = {
        {"inserted under the header", "# mine\n[Desktop Entry]\nName=A\n", "# mine\n[Desktop Entry]\nHidden=true\nName=A\n"},
        {"in the file's CRLF, other groups untouched", "[Desktop Entry]\r\nName=A\r\n\r\n[Other]\r\nHidden=false\r\n",
         "[Desktop Entry]\r\nHidden=true\r\nName=A\r\n\r\n[Other]\r\nHidden=false\r\n"},
        {"a false value replaced, its spacing kept", "[Desktop Entry]\nHidden = false  \n# end",
         "[Desktop Entry]\nHidden = true  \n# end"},
        {"every Hidden line of the group", "[Desktop Entry]\nHidden=0\nName=A\nHidden=false\r\n",
         "[Desktop Entry]\nHidden=true\nName=A\nHidden=true\r\n"},
        {"already true: nothing changes", "[Desktop Entry]\nName=A\nHidden=true\n", "[Desktop Entry]\nName=A\nHidden=true\n"},
        {"the group after another", "[Other]\nHidden=false\n[Desktop Entry]\nName=A", "[Other]\nHidden=false\n[Desktop Entry]\nHidden=true\nName=A"},
        {"a header without a line end", "[Desktop Entry]", "[Desktop Entry]\nHidden=true\n"},
        {"a header without a line end in a CRLF file", "# x\r\n[Desktop Entry]", "# x\r\n[Desktop Entry]\r\nHidden=true\r\n"},
        {"comments and look-alike keys stay", "[Desktop Entry]\n#Hidden=false\nHiddenKey=1\nName[ko]=내 것\n",
         "[Desktop Entry]\nHidden=true\n#Hidden=false\nHiddenKey=1\nName[ko]=내 것\n"},
        {"the header line's own end", "[Desktop Entry]\nName=A\r\nExec=a\n", "[Desktop Entry]\nHidden=true\nName=A\r\nExec=a\n"},
        {"a byte order mark", "\xEF\xBB\xBF[Desktop Entry]\nName=A\n", "\xEF\xBB\xBF[Desktop Entry]\nHidden=true\nName=A\n"},
        {"spaces around the header", "  [Desktop Entry]  \r\nName=A\r\n", "  [Desktop Entry]  \r\nHidden=true\r\nName=A\r\n"},
    };
    for (const Case& c : cases) {
        const std::optional<QByteArray> out = withHiddenSet(c.in);
        ASSERT_TRUE(out.has_value()) << c.what;
        EXPECT_EQ(*out, c.out) << c.what;
        const auto parsed = parseDesktopEntry(*out);
        ASSERT_TRUE(parsed) << c.what;
        EXPECT_TRUE(parsed->hidden) << c.what;
    }
}

namespace {

class AutostartTree : public ::testing::Test {
  public:  // the failure table's steps reach in
    QString user() const { return root.filePath("home/autostart"); }
    QString system() const { return root.filePath("etc/autostart"); }
    QString vendor() const { return root.filePath("vendor/autostart"); }
    void put(const QString& dir, const QString& file, const QByteArray& content) {
        QDir().mkpath(dir);
        QFile f(dir + "/" + file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    std::vector<StartupItem> scan(const QString& locale = "en", QStringList desktops = {"GNOME"}) {
        return autostartItems({user(), system(), vendor()}, desktops, locale, {root.path()});
    }
    // The listed item of that file name.
    StartupItem listed(const QString& file) {
        for (const StartupItem& i : scan())
            if (i.path.endsWith("/" + file)) return i;
        ADD_FAILURE() << "not listed: " << file.toStdString();
        return {};
    }
    QStringList userFiles() const {
        return QDir(user()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QTemporaryDir root;
};

}  // namespace

TEST_F(AutostartTree, UserFileOverridesSystemFileAndWhatWontStartIsListedWithTheReason) {
    put(system(), "a.desktop", entry("Name=System A\nExec=a"));
    put(user(), "a.desktop", entry("Name=My A\nExec=a"));
    put(vendor(), "a.desktop", entry("Name=Vendor A\nExec=a"));
    put(system(), "b.desktop", entry("Name=B\nExec=b"));
    put(vendor(), "b.desktop", entry("Name=Vendor B\nExec=b"));
    put(user(), "c.desktop", entry("Name=C\nExec=c\nHidden=true"));
    put(system(), "c.desktop", entry("Name=System C\nExec=c"));
    put(system(), "d.desktop", entry("Name=D\nExec=d\nOnlyShowIn=KDE;"));
    put(system(), "e.desktop", entry("Name=E\nExec=e\nTryExec=velmora-no-such-program"));
    put(system(), "notes.txt", entry("Name=Not an entry"));
    const auto items = scan();
    EXPECT_EQ(names(items), QStringList({"My A", "B", "C", "D", "E"}));
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].path, user() + "/a.desktop");
    EXPECT_EQ(items[1].path, system() + "/b.desktop");
    EXPECT_EQ(items[2].path, user() + "/c.desktop");
    const State want[] = {State::starts, State::starts, State::hidden, State::otherDesktop, State::programMissing};
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].state, want[i]) << items[i].name.toStdString();
        EXPECT_TRUE(items[i].isLoginItem());
        EXPECT_FALSE(items[i].system);
    }
    EXPECT_EQ(items[4].stateDetail, "velmora-no-such-program");
    EXPECT_EQ(items[0].fingerprint, entryFingerprint(entry("Name=My A\nExec=a")));
}

TEST_F(AutostartTree, NamesFollowTheLocaleAndFallBackToTheFileName) {
    put(system(), "nameless.desktop", entry("Exec=x"));
    put(system(), "loc.desktop", entry("Name=Clock\nName[ko]=시계\nName[ko_KR]=시계 (한국)"));
    EXPECT_EQ(names(scan("ko")), QStringList({"시계", "nameless"}));
    EXPECT_EQ(names(scan("ko_KR")), QStringList({"시계 (한국)", "nameless"}));
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

TEST_F(AutostartTree, RemovingTheUsersOwnEntryEditsItInPlace) {
    const QByteArray mine =
        "# my own notes\r\n[Desktop Entry]\r\nName=Mine\r\nName[ko]=내 것\r\nExec=run me --flag\r\nComment=keep\r\n\r\n"
        "[Desktop Action x]\r\nHidden=maybe\r\n# tail without end";
    put(user(), "mine.desktop", mine);
    const QString path = user() + "/mine.desktop";
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const StartupItem item = listed("mine.desktop");
    EXPECT_EQ(hideAutostartEntry(item, user()), std::nullopt);
    EXPECT_EQ(readBytes(path),
              "# my own notes\r\n[Desktop Entry]\r\nHidden=true\r\nName=Mine\r\nName[ko]=내 것\r\nExec=run me --flag\r\n"
              "Comment=keep\r\n\r\n[Desktop Action x]\r\nHidden=maybe\r\n# tail without end");
    const QFile::Permissions mineOnly = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    EXPECT_EQ(QFile::permissions(path) & ~mineOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup)
        << "the file keeps its permissions";
    EXPECT_EQ(userFiles(), QStringList({"mine.desktop"})) << "no temporary file is left behind";
    EXPECT_EQ(listed("mine.desktop").state, State::hidden);

    // Hidden already there and false: only its value changes.
    put(user(), "off.desktop", "[Desktop Entry]\nExec=off\nHidden=false\n[X]\nA=b\n");
    EXPECT_EQ(hideAutostartEntry(listed("off.desktop"), user()), std::nullopt);
    EXPECT_EQ(readBytes(user() + "/off.desktop"), "[Desktop Entry]\nExec=off\nHidden=true\n[X]\nA=b\n");
}

TEST_F(AutostartTree, RemovingASystemOnlyEntryWritesAFullCopyThatIsHidden) {
    const QByteArray sys = entry("Name=Sys\nExec=sys --daemon\nHidden=false\nComment[de]=Dienst");
    put(system(), "sys.desktop", sys);
    EXPECT_EQ(hideAutostartEntry(listed("sys.desktop"), user()), std::nullopt);
    EXPECT_EQ(readBytes(user() + "/sys.desktop"),
              "[Desktop Entry]\nType=Application\nName=Sys\nExec=sys --daemon\nHidden=true\nComment[de]=Dienst\n");
    EXPECT_EQ(readBytes(system() + "/sys.desktop"), sys) << "the system's file is left alone";
    EXPECT_EQ(userFiles(), QStringList({"sys.desktop"}));
    const StartupItem after = listed("sys.desktop");
    EXPECT_EQ(after.path, user() + "/sys.desktop");
    EXPECT_EQ(after.state, State::hidden);
}

TEST_F(AutostartTree, UnparsableSystemEntryIsHiddenByAShortEntry) {
    put(system(), "bad.desktop", "[Desktop Entry]\nName=\xff\n");
    const StartupItem item{"bad", system() + "/bad.desktop", QString::fromUtf8(StartupItem::loginItemKind)};
    EXPECT_EQ(hideAutostartEntry(item, user()), std::nullopt);
    EXPECT_EQ(readBytes(user() + "/bad.desktop"), "[Desktop Entry]\nType=Application\nName=bad\nHidden=true\n");
    const StartupItem notes{"notes", system() + "/notes.txt", QString::fromUtf8(StartupItem::loginItemKind)};
    EXPECT_EQ(hideAutostartEntry(notes, user()), (RemovalFailure{Reason::unparsable, notes.path})) << "only entries";
}

TEST_F(AutostartTree, ALinkedUserEntryIsEditedWhereItPointsWhenTheUserOwnsIt) {
    const QString store = root.filePath("dotfiles");
    put(store, "linked.desktop", entry("Name=Linked\nExec=l"));
    QDir().mkpath(user());
    ASSERT_TRUE(QFile::link(store + "/linked.desktop", user() + "/linked.desktop"));
    EXPECT_EQ(hideAutostartEntry(listed("linked.desktop"), user()), std::nullopt);
    EXPECT_TRUE(QFileInfo(user() + "/linked.desktop").isSymLink()) << "the link stays a link";
    EXPECT_EQ(QFileInfo(user() + "/linked.desktop").symLinkTarget(), store + "/linked.desktop");
    EXPECT_EQ(readBytes(store + "/linked.desktop"), "[Desktop Entry]\nHidden=true\nType=Application\nName=Linked\nExec=l\n");
    EXPECT_EQ(listed("linked.desktop").state, State::hidden);
}

// Every refusal: the window says why, the row stays, and nothing of the user's changes.
TEST_F(AutostartTree, EveryFailureIsReportedAndLeavesTheFilesAsTheyWere) {
    struct Case {
        const char* what;
        const char* file;
        std::function<void(AutostartTree&)> before;  // the state the listing sees
        std::function<void(AutostartTree&)> after;   // what changes between listing and removal
        Reason reason;
        std::function<QString(AutostartTree&)> path;
        bool needsPermissions = false;  // a read-only folder, which root alone ignores
        bool needsRoot = false;         // a file of another user, made with chown
    };
    const QByteArray mine = entry("Name=Mine\nExec=mine\n# mine");
    auto userPath = [](const char* f) { return [f](AutostartTree& t) { return t.user() + "/" + f; }; };
    const Case cases[] = {
        {"a read-only folder, the system's entry", "s.desktop",
         [](AutostartTree& t) {
             t.put(t.system(), "s.desktop", entry("Name=S\nExec=s"));
             QDir().mkpath(t.user());
             QFile::setPermissions(t.user(), QFile::ReadOwner | QFile::ExeOwner);
         },
         {}, Reason::unwritable, [](AutostartTree& t) { return t.user(); }, true},
        {"a read-only folder, the user's own entry", "m.desktop",
         [&](AutostartTree& t) {
             t.put(t.user(), "m.desktop", mine);
             QFile::setPermissions(t.user(), QFile::ReadOwner | QFile::ExeOwner);
         },
         {}, Reason::unwritable, [](AutostartTree& t) { return t.user(); }, true},
        {"a folder with the entry's name", "d.desktop",
         [](AutostartTree& t) {
             t.put(t.system(), "d.desktop", entry("Name=D\nExec=d"));
             QDir().mkpath(t.user() + "/d.desktop");
         },
         {}, Reason::folderInTheWay, userPath("d.desktop")},
        {"a dangling link with the entry's name", "g.desktop",
         [](AutostartTree& t) {
             t.put(t.system(), "g.desktop", entry("Name=G\nExec=g"));
             QDir().mkpath(t.user());
             QFile::link(t.root.filePath("gone.desktop"), t.user() + "/g.desktop");
         },
         {}, Reason::danglingLink, userPath("g.desktop")},
        {"the user's link became dangling", "l.desktop",
         [](AutostartTree& t) {
             t.put(t.root.filePath("store"), "l.desktop", entry("Name=L\nExec=l"));
             QDir().mkpath(t.user());
             QFile::link(t.root.filePath("store/l.desktop"), t.user() + "/l.desktop");
         },
         [](AutostartTree& t) { QFile::remove(t.root.filePath("store/l.desktop")); }, Reason::danglingLink,
         userPath("l.desktop")},
        {"a link to a file of another user", "o.desktop",
         [](AutostartTree& t) {
             t.put(t.root.filePath("theirs"), "o.desktop", entry("Name=O\nExec=o"));
             const QByteArray target = QFile::encodeName(t.root.filePath("theirs/o.desktop"));
             ASSERT_EQ(::chown(target.constData(), 65534, 65534), 0);
             QDir().mkpath(t.user());
             QFile::link(t.root.filePath("theirs/o.desktop"), t.user() + "/o.desktop");
         },
         {}, Reason::linkNotOwned,
         [](AutostartTree& t) { return QFileInfo(t.root.filePath("theirs/o.desktop")).canonicalFilePath(); }, false,
         true},
        {"the user's file changed since the listing", "m.desktop", [&](AutostartTree& t) { t.put(t.user(), "m.desktop", mine); },
         [](AutostartTree& t) { t.put(t.user(), "m.desktop", entry("Name=Mine, edited\nExec=mine")); }, Reason::changed,
         userPath("m.desktop")},
        {"the user's file no longer parses", "m.desktop", [&](AutostartTree& t) { t.put(t.user(), "m.desktop", mine); },
         [](AutostartTree& t) { t.put(t.user(), "m.desktop", "Name=half written\nExec=mine\n"); }, Reason::unparsable,
         userPath("m.desktop")},
        {"the user's file is not UTF-8 any more", "m.desktop", [&](AutostartTree& t) { t.put(t.user(), "m.desktop", mine); },
         [](AutostartTree& t) { t.put(t.user(), "m.desktop", "[Desktop Entry]\nName=Caf\xe9\n"); }, Reason::unparsable,
         userPath("m.desktop")},
        {"the user's file is gone", "m.desktop", [&](AutostartTree& t) { t.put(t.user(), "m.desktop", mine); },
         [](AutostartTree& t) { QFile::remove(t.user() + "/m.desktop"); }, Reason::changed, userPath("m.desktop")},
        {"the system's file changed", "s.desktop",
         [](AutostartTree& t) { t.put(t.system(), "s.desktop", entry("Name=S\nExec=s")); },
         [](AutostartTree& t) { t.put(t.system(), "s.desktop", entry("Name=S2\nExec=s")); }, Reason::changed,
         [](AutostartTree& t) { return t.system() + "/s.desktop"; }},
        {"a user's file appeared over the system's", "s.desktop",
         [](AutostartTree& t) { t.put(t.system(), "s.desktop", entry("Name=S\nExec=s")); },
         [](AutostartTree& t) { t.put(t.user(), "s.desktop", entry("Name=Mine now\nExec=s")); }, Reason::changed,
         userPath("s.desktop")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0) {
            std::cout << "[ SKIPPED ] " << c.what << ": needs root to give a file away\n";
            continue;
        }
        QDir(root.filePath("home")).removeRecursively();
        QDir(root.filePath("etc")).removeRecursively();
        c.before(*this);
        const StartupItem item = listed(c.file);
        if (c.after) c.after(*this);
        // What every file under the folders holds now, to compare after the attempt.
        auto snapshot = [&] {
            QStringList out;
            for (const QString& dir : {user(), system(), root.filePath("store"), root.filePath("theirs")}) {
                const QDir d(dir);
                for (const QString& f : d.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
                    out.push_back(f + "=" + QString::fromLatin1(readBytes(d.filePath(f)).toHex()));
            }
            return out;
        };
        const QStringList before = snapshot();
        std::optional<RemovalFailure> result;
        {
            WithoutPermissionOverrides asUser;
            if (c.needsPermissions && canCreateIn(user())) {
                QFile::setPermissions(user(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                std::cout << "[ SKIPPED ] " << c.what << ": permissions are not enforced here\n";
                continue;
            }
            result = hideAutostartEntry(item, user());
        }
        QFile::setPermissions(user(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(result, (RemovalFailure{c.reason, c.path(*this)}));
        EXPECT_EQ(snapshot(), before) << "nothing was written or removed";
    }
}

TEST_F(AutostartTree, SourceListsLoginItemsThenUnitsAndReportsARefusedRemoval) {
    put(system(), "a.desktop", entry("Name=A\nExec=a"));
    put(system(), "b.desktop", entry("Name=B\nExec=b"));
    const QString units = root.filePath("units");
    put(units, "sync.service", "[Service]\nExecStart=/bin/true\n");
    put(units, "timer.timer", "[Timer]\n");
    XdgStartupSource source({{user(), system()}, {{units, true}}}, {"GNOME"}, "ko_KR.UTF-8");
    StartupScan scan = source.scan("en");
    ASSERT_EQ(scan.items.size(), 3u);
    EXPECT_EQ(scan.items[0].name, "A");
    EXPECT_TRUE(scan.items[0].isLoginItem());
    EXPECT_EQ(scan.items[2].name, "sync.service");
    EXPECT_EQ(scan.items[2].kind, QString::fromUtf8(StartupItem::launchAgentKind));
    EXPECT_EQ(scan.items[2].state, State::disabled) << "nothing pulls it in";
    EXPECT_FALSE(scan.needsPermission);

    EXPECT_EQ(source.removeLoginItem(scan.items[2]), std::nullopt);  // a unit is never removed
    EXPECT_EQ(source.removeLoginItem(scan.items[0]), std::nullopt);
    QDir().mkpath(user() + "/b.desktop");
    EXPECT_EQ(source.removeLoginItem(scan.items[1]), (RemovalFailure{Reason::folderInTheWay, user() + "/b.desktop"}));
    scan = source.scan("en");
    ASSERT_EQ(scan.items.size(), 3u);
    EXPECT_EQ(scan.items[0].state, State::hidden);
    EXPECT_EQ(scan.items[1].state, State::starts);
}
