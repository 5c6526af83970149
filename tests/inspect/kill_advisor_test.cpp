#include "inspect/kill_advisor.h"

#include "core/localizer.h"
#include "platform/apple_records.h"

#include "support/apple_records.h"

#include <gtest/gtest.h>

#include <map>

using namespace velmora;

namespace {

constexpr uint32_t kMe = 501;

struct FakeProcesses {
    std::map<int32_t, KillAdvisor::Facts> table;
    KillAdvisor advisor() const {
        return KillAdvisor(
            [this](int32_t pid) -> std::optional<KillAdvisor::Facts> {
                const auto it = table.find(pid);
                if (it == table.end()) return std::nullopt;
                return it->second;
            },
            kMe);
    }
};

KillAdvisor::Kind kindOf(const FakeProcesses& p, int32_t pid) {
    return p.advisor().judge(pid).kind;
}

// The Apple system's facts, from recorded kernel records.
struct RecordedAppleFacts : platform::ProcessFactsSource {
    test::FakeAppleRecords records;
    std::optional<platform::ProcFacts> facts(int32_t pid) override {
        return platform::appleFacts(pid, records);
    }
    std::optional<platform::ProcLiveCounters> counters(int32_t) override { return std::nullopt; }
    std::vector<int32_t> childPids(int32_t) override { return {}; }
};

}  // namespace

TEST(KillAdvisor, RuleOrder) {
    using K = KillAdvisor::Kind;
    FakeProcesses p;
    p.table = {
        {99, {"anything", "/usr/bin/anything", kMe}},
        {100, {"anything", "/usr/bin/anything", kMe}},
        {200, {"WindowServer", "", kMe}},
        {201, {"windowserver", "", kMe}},
        {300, {"qemu-system-x86_64", "/usr/bin/qemu-system-x86_64", 0}},
        {301, {"runner", "/opt/VirtualBox/runner", kMe}},
        {400, {"backupd", "/usr/sbin/backupd", 0}},
        {401, {"Code Helper (Renderer)", "/Applications/Code.app/x", kMe}},
        {402, {"Google Chrome Helper", "/x", kMe}},
        {500, {"Microsoft Word", "/Applications/Microsoft Word.app/x", kMe}},
        {501, {"swordfish", "/usr/local/bin/swordfish", kMe}},
        {502, {"notes", "/Applications/Pages.app/Contents/MacOS/notes", kMe}},
        {600, {"Firefox", "/usr/lib/firefox/firefox", kMe}},
        {601, {"search", "/opt/research/search", kMe}},
        {700, {"make", "/usr/bin/make", kMe}},
    };
    EXPECT_EQ(kindOf(p, 99), K::systemCritical) << "pid 99 whatever its name";
    EXPECT_EQ(kindOf(p, 100), K::normal) << "pid 100 is judged by the other rules";
    EXPECT_EQ(kindOf(p, 200), K::systemCritical);
    EXPECT_EQ(kindOf(p, 201), K::normal) << "critical names are case-sensitive";
    EXPECT_EQ(kindOf(p, 300), K::vm) << "a VM of another user is a VM first";
    EXPECT_EQ(kindOf(p, 301), K::vm) << "fragments are looked for in the path too";
    EXPECT_EQ(kindOf(p, 400), K::otherUser);
    EXPECT_EQ(kindOf(p, 401), K::helper) << "\"code helper\" is a helper before it is an editor";
    EXPECT_EQ(kindOf(p, 402), K::helper);
    EXPECT_EQ(kindOf(p, 500), K::editor);
    EXPECT_EQ(kindOf(p, 501), K::editor) << "plain substring: s-word-fish";
    EXPECT_EQ(kindOf(p, 502), K::editor) << "\"pages\" in the lower-cased path";
    EXPECT_EQ(kindOf(p, 600), K::browser);
    EXPECT_EQ(kindOf(p, 601), K::browser) << "plain substring: rese-arc-h";
    EXPECT_EQ(kindOf(p, 700), K::normal);

    const auto unknown = p.advisor().judge(4321);
    EXPECT_EQ(unknown.name, "pid 4321");
    EXPECT_EQ(unknown.kind, K::normal) << "no facts: the owner rule cannot apply";
    EXPECT_EQ(p.advisor().judge(12).name, "pid 12");
    EXPECT_EQ(p.advisor().judge(12).kind, K::systemCritical);
}

TEST(KillAdvisor, LinuxDesktopPiecesAreCritical) {
#if defined(__linux__)
    FakeProcesses p;
    int32_t pid = 1000;
    for (const char* name : {"systemd", "gnome-shell", "kwin_wayland", "plasmashell", "Xorg", "Xwayland",
                             "pipewire", "wireplumber", "dbus-daemon", "systemd-logind"})
        p.table[pid++] = {name, "", kMe};
    for (int32_t i = 1000; i < pid; ++i)
        EXPECT_EQ(kindOf(p, i), KillAdvisor::Kind::systemCritical) << p.table[i].name.toStdString();
#else
    GTEST_SKIP() << "Linux only";
#endif
}

TEST(KillAdvisor, OtherUsersProcessesAreJudgedFromTheRecordsTheKernelGrants) {
    // The kernel refuses the full record of these processes to an ordinary user.
    using K = KillAdvisor::Kind;
    RecordedAppleFacts apple;
    auto& r = apple.records;
    r.brief[150] = test::shortBsdInfoRecord({"backupd", 0});
    r.paths[150] = "/System/Library/CoreServices/backupd.bundle/Contents/Resources/backupd";
    r.entries[160] = test::kinfoRecord({"WindowServer", 88});
    r.brief[170] = test::shortBsdInfoRecord({"universalaccessd", 0});
    r.paths[170] = "/System/Library/CoreServices/universalaccessd";
    r.full[180] = test::bsdInfoRecord({"make", kMe});
    const KillAdvisor advisor(KillAdvisor::lookupIn(apple), kMe);

    EXPECT_EQ(advisor.judge(150).kind, K::otherUser);
    EXPECT_EQ(advisor.judge(150).name, "backupd");
    EXPECT_EQ(advisor.judge(160).kind, K::systemCritical);
    EXPECT_EQ(advisor.judge(170).kind, K::systemCritical) << "the cut name is completed from the executable";
    EXPECT_EQ(advisor.judge(170).name, "universalaccessd");
    EXPECT_EQ(advisor.judge(180).kind, K::normal);
    EXPECT_EQ(advisor.judge(190).name, "pid 190") << "no record at all";
}

TEST(KillAdvisor, AdviceTextsForOneAndMany) {
    FakeProcesses p;
    p.table = {{1000, {"Safari", "/Applications/Safari.app/x", kMe}},
               {1001, {"launchd", "", kMe}},
               {1002, {"Finder", "", kMe}},
               {1003, {"kernel_task", "", kMe}},
               {1004, {"make", "", kMe}}};
    const auto advisor = p.advisor();

    const auto none = advisor.advise({0, 1}, true);
    EXPECT_EQ(none.severity, KillSeverity::info);
    EXPECT_EQ(none.title, L("kaTitleQuit")) << "even when forcing";
    EXPECT_EQ(none.message, L("kaNone"));

    const auto one = advisor.advise({1, 1000}, false);
    EXPECT_EQ(one.severity, KillSeverity::caution);
    EXPECT_EQ(one.title, L("kaTitleQuit"));
    EXPECT_EQ(one.message, L("kaMarkerCaution") + "Safari\n\n" + L("kaBrowser"));

    const auto plain = advisor.advise({1004}, true);
    EXPECT_EQ(plain.title, L("kaTitleForce"));
    EXPECT_EQ(plain.message, "make\n\n" + L("kaNormalForce")) << "no marker for info";

    const auto mixed = advisor.advise({1000, 1002, 1001, 1003}, true);
    EXPECT_EQ(mixed.severity, KillSeverity::danger);
    QString expected = L("kaMulti");
    expected.replace("{0}", L("kaMarkerDanger"))
        .replace("{1}", "4")
        .replace("{2}", L("actForceQuit"))
        .replace("{3}", "launchd")
        .replace("{4}", L("kaSystemCritical"));
    EXPECT_EQ(mixed.message, expected) << "the first of two dangers is named, not the caution";
}

TEST(KillAdvisor, JudgesEveryMemberOfALongList) {
    // A tree of thirty whose last member belongs to another user: judged like the first.
    for (const int32_t risky : {1000, 1019, 1020, 1029}) {
        SCOPED_TRACE(risky);
        FakeProcesses p;
        std::vector<int32_t> pids;
        for (int32_t i = 0; i < 30; ++i) {
            pids.push_back(1000 + i);
            p.table[1000 + i] = {QStringLiteral("tool%1").arg(i), "", kMe};
        }
        p.table[risky] = {"backupd", "", kMe + 1};
        const auto advice = p.advisor().advise(pids, false);
        EXPECT_EQ(advice.severity, KillSeverity::danger);
        EXPECT_TRUE(advice.message.contains("30")) << advice.message.toStdString();
        EXPECT_TRUE(advice.message.contains("backupd"));
        EXPECT_TRUE(advice.message.contains(L("kaOtherUser")));
    }
}

TEST(KillAdvisor, NamesTheWorstByTheNameTheUserSaw) {
    FakeProcesses p;
    p.table = {{1000, {"make", "", kMe}}, {1001, {"firefox", "", kMe}}, {1002, {"cc", "", kMe}}};
    const auto named = p.advisor().advise({1000, 1001, 1002}, {"make", "Firefox (3)", ""}, ProcessAction::quit);
    EXPECT_EQ(named.severity, KillSeverity::caution);
    EXPECT_TRUE(named.message.contains("Firefox (3)"));
    const auto unnamed = p.advisor().advise({1000, 1001}, {"make"}, ProcessAction::quit);
    EXPECT_TRUE(unnamed.message.contains("firefox")) << "a missing name is the system's";
}

TEST(KillAdvisor, SuspendAndResumeHaveTheirOwnTitlesAndReasons) {
    struct Case {
        ProcessAction action;
        const char* title;
        const char* ordinary;  // the reason for an ordinary process
    };
    for (const Case& c : {Case{ProcessAction::quit, "kaTitleQuit", "kaNormal"},
                          Case{ProcessAction::forceQuit, "kaTitleForce", "kaNormalForce"},
                          Case{ProcessAction::suspend, "kaTitleSuspend", "kaSuspend"},
                          Case{ProcessAction::resume, "kaTitleResume", "kaResume"}}) {
        SCOPED_TRACE(c.title);
        FakeProcesses p;
        p.table = {{1000, {"make", "", kMe}}, {1001, {"gnome-shell", "", kMe}}};
        const auto ordinary = p.advisor().advise({1000}, {}, c.action);
        EXPECT_EQ(ordinary.title, L(c.title));
        EXPECT_EQ(ordinary.message, QStringLiteral("make\n\n") + L(c.ordinary));
        const auto critical = p.advisor().advise({1001}, {}, c.action);
        EXPECT_EQ(critical.severity, KillSeverity::danger) << "stopping the compositor freezes the desktop";
        EXPECT_TRUE(critical.message.endsWith(L("kaSystemCritical")));
    }
}

TEST(KillAdvisor, NamesWithBracesAreShownAsTheyAre) {
    // Placeholders come from the text alone: a name's own "{4}" is not filled by the reason.
    for (const QString& name :
         {QStringLiteral("odd{4}name"), QStringLiteral("tool{4}"), QStringLiteral("{0}{1}{2}{3}")}) {
        FakeProcesses p;
        p.table = {{1000, {name, "", kMe}}, {1001, {"make", "", kMe}}};
        const auto advice = p.advisor().advise({1000, 1001}, false);
        QString expected = L("kaMulti");
        expected.replace("{0}", "")
            .replace("{1}", "2")
            .replace("{2}", L("actQuit"))
            .replace("{4}", L("kaNormal"));
        expected.replace("{3}", name);
        EXPECT_EQ(advice.message, expected) << name.toStdString();
    }
}

TEST(KillRequest, Identity) {
    KillRequest r;
    r.targets = {{123, 9}, {456, 10}};
    r.action = ProcessAction::forceQuit;
    EXPECT_EQ(r.id(), "123,456!");
    EXPECT_EQ(r.pids(), (std::vector<int32_t>{123, 456}));
    for (const ProcessAction plain : {ProcessAction::quit, ProcessAction::suspend, ProcessAction::resume}) {
        r.action = plain;
        EXPECT_EQ(r.id(), "123,456");
    }
    EXPECT_FALSE(killSeverityFromRaw(3).has_value());
    EXPECT_EQ(killSeverityFromRaw(2), KillSeverity::danger);
}
