#include "inspect/process_control.h"

#include "platform/process_facts.h"
#include "support/fake_processes.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using test::FakeProcesses;

namespace {

using Sent = std::vector<std::pair<int32_t, int>>;

platform::ProcRunState stateOf(pid_t pid) {
    const auto f = platform::systemProcessFacts().facts(pid);
    return f ? f->state : platform::ProcRunState::unknown;
}

bool gone(pid_t pid) {
    const auto s = stateOf(pid);
    return s == platform::ProcRunState::unknown || s == platform::ProcRunState::zombie;
}

// Forked children only pause: nothing but async-signal-safe calls after fork().
[[noreturn]] void pauseForever() {
    for (;;)
        pause();
}

// SIGKILLs grandchildren left when a test fails half-way; they are not ours to reap (the
// system's reaper takes them once their parent is gone).
struct Reaper {
    std::vector<pid_t> pids;
    ~Reaper() {
        for (pid_t p : pids)
            ::kill(p, SIGKILL);
    }
};

}  // namespace

TEST(ProcessControl, EachActionSendsItsSignalToProvenProcessesOnly) {
    struct Case {
        ProcessAction action;
        int signal;
    };
    for (const Case& c : {Case{ProcessAction::quit, SIGTERM}, Case{ProcessAction::forceQuit, SIGKILL},
                          Case{ProcessAction::suspend, SIGSTOP}, Case{ProcessAction::resume, SIGCONT}}) {
        SCOPED_TRACE(c.signal);
        auto fake = std::make_shared<FakeProcesses>();
        for (int32_t pid : {1, 5, 7, 9, 11, test::kOwnPid})
            fake->add(pid, 100 + static_cast<uint64_t>(pid));
        fake->refusing = {7};
        fake->reuse(9);  // pid 9 now holds a later process
        const ProcessControl control(fake, test::kOwnPid);
        const ActionResult r = control.apply({{0, 100},
                                              {1, 101},
                                              {5, 105},
                                              {7, 107},
                                              {9, 109},
                                              {11, 0},  // no stamp: nothing proves it
                                              {test::kOwnPid, 100 + test::kOwnPid},
                                              {13, 113}},  // gone
                                             c.action);
        EXPECT_EQ(r.done, std::vector<int32_t>{5});
        EXPECT_EQ(r.ended, (std::vector<int32_t>{9, 13}));
        EXPECT_EQ(r.refused, (std::vector<int32_t>{0, 1, 7, 11, test::kOwnPid}));
        EXPECT_EQ(fake->sent, (Sent{{5, c.signal}})) << "only the proven process is signalled";
    }
}

TEST(ProcessControl, MayActOnNeitherTheFirstPidsNorItself) {
    const ProcessControl control(std::make_shared<FakeProcesses>(), 300);
    for (const auto& [pid, allowed] : std::vector<std::pair<int32_t, bool>>{
             {-1, false}, {0, false}, {1, false}, {2, true}, {299, true}, {300, false}, {301, true}})
        EXPECT_EQ(control.mayActOn(pid), allowed) << pid;
}

TEST(ProcessControl, StampKeepsAKnownStartAndReadsAnUnknownOne) {
    auto fake = std::make_shared<FakeProcesses>();
    fake->add(50, 777);
    const ProcessControl control(fake, test::kOwnPid);
    EXPECT_EQ(control.stamp(50, 12), (ProcessRef{50, 12})) << "the sampler's stamp wins";
    EXPECT_EQ(control.stamp(50), (ProcessRef{50, 777}));
    EXPECT_EQ(control.stamp(51), (ProcessRef{51, 0})) << "a gone process has no stamp";
}

TEST(ProcessControl, TreeIsChildrenBeforeParentsOnceEachWithStamps) {
    auto fake = std::make_shared<FakeProcesses>();
    fake->add(1000, 1, {1001, 1003});
    fake->add(1001, 2, {1002});
    fake->add(1002, 3);
    fake->add(1003, 4, {1000, 1, 1004});  // a cycle, pid 1, and a child that is gone
    const ProcessControl control(fake, test::kOwnPid);
    EXPECT_EQ(control.tree({1000, 1}), (std::vector<ProcessRef>{{1002, 3}, {1001, 2}, {1003, 4}, {1000, 1}}));
}

TEST(ProcessControl, TreeOfAReusedOrForbiddenRootIsEmpty) {
    auto fake = std::make_shared<FakeProcesses>();
    fake->add(1, 1, {500});
    fake->add(500, 5, {600});
    fake->add(600, 6);
    const ProcessControl control(fake, 500);
    EXPECT_TRUE(control.tree({1, 1}).empty()) << "init's tree is the whole system";
    EXPECT_TRUE(control.tree({500, 5}).empty()) << "Velmora's own tree";
    const ProcessControl other(fake, test::kOwnPid);
    EXPECT_TRUE(other.tree({500, 4}).empty()) << "the root's pid holds another process";
    EXPECT_TRUE(other.tree({500, 0}).empty()) << "an unstamped root proves nothing";
    EXPECT_EQ(other.tree({500, 5}).size(), 2u);
}

TEST(ProcessControl, TreeLeavesVelmoraOutButKeepsItsSiblings) {
    auto fake = std::make_shared<FakeProcesses>();
    fake->add(700, 7, {test::kOwnPid, 702});
    fake->add(test::kOwnPid, 8);
    fake->add(702, 9);
    const ProcessControl control(fake, test::kOwnPid);
    EXPECT_EQ(control.tree({700, 7}), (std::vector<ProcessRef>{{702, 9}, {700, 7}}));
}

TEST(ProcessControl, ADeepChainDoesNotExhaustTheStack) {
    constexpr int32_t kDepth = 200000;
    auto fake = std::make_shared<FakeProcesses>();
    for (int32_t pid = 5000; pid <= 5000 + kDepth; ++pid)
        fake->add(pid, 1, pid < 5000 + kDepth ? std::vector<int32_t>{pid + 1} : std::vector<int32_t>{});
    const ProcessControl control(fake, test::kOwnPid);
    const auto order = control.tree({5000, 1});
    ASSERT_EQ(order.size(), static_cast<size_t>(kDepth) + 1);
    EXPECT_EQ(order.front().pid, 5000 + kDepth);
    EXPECT_EQ(order.back().pid, 5000);
}

TEST(ProcessControl, PriorityReachesOnlyTheProvenProcessAndNeverInit) {
    auto fake = std::make_shared<FakeProcesses>();
    for (int32_t pid : {1, 2, 3})
        fake->add(pid, 10);
    fake->reuse(3);
    const ProcessControl control(fake, test::kOwnPid);
    EXPECT_EQ(control.setPriority({1, 10}, 5), ActionOutcome::refused);
    EXPECT_EQ(control.setPriority({2, 10}, 5), ActionOutcome::done);
    EXPECT_EQ(control.setPriority({3, 10}, 5), ActionOutcome::ended);
    EXPECT_EQ(control.setPriority({2, 0}, 5), ActionOutcome::refused);
    EXPECT_EQ(fake->reniced, (Sent{{2, 5}}));
}

TEST(ProcessControl, EndsARealTreeChildrenFirst) {
    Reaper reaper;
    test::ForkedChild tree(+[] {
        if (fork() == 0) {                    // A
            if (fork() == 0) pauseForever();  // A1
            pauseForever();
        }
        if (fork() == 0) pauseForever();  // B
        pauseForever();
    });
    ASSERT_TRUE(tree.started());
    const pid_t root = tree.pid();

    ProcessControl control;
    auto& facts = platform::systemProcessFacts();
    std::vector<int32_t> kids;
    std::vector<int32_t> grandkids;
    ASSERT_TRUE(test::waitUntil([&] {
        kids = facts.childPids(root);
        if (kids.size() != 2) return false;
        grandkids = facts.childPids(kids[0]);
        return grandkids.size() == 1;
    })) << "the tree did not form";
    const int32_t a = kids[0], b = kids[1], a1 = grandkids[0];
    reaper.pids.insert(reaper.pids.end(), {a, b, a1});

    const std::vector<ProcessRef> members = control.tree(control.stamp(root));
    std::vector<int32_t> order;
    for (const ProcessRef& m : members) {
        order.push_back(m.pid);
        EXPECT_NE(m.startTime, 0u);
    }
    EXPECT_EQ(order, (std::vector<int32_t>{a1, a, b, root}));
    const ActionResult result = control.apply(members, ProcessAction::quit);
    EXPECT_EQ(result.done, (std::vector<int32_t>{a1, a, b, root}));
    EXPECT_TRUE(result.ended.empty());
    EXPECT_TRUE(result.refused.empty());

    const int status = tree.reap();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(test::waitUntil([&] { return gone(a) && gone(b) && gone(a1); }));
}

TEST(ProcessControl, SuspendsAndResumesARealChild) {
    test::ForkedChild paused(+[] { pauseForever(); });
    ASSERT_TRUE(paused.started());
    const pid_t child = paused.pid();
    using S = platform::ProcRunState;
    ASSERT_TRUE(test::waitUntil([&] { return stateOf(child) == S::sleeping; }));

    ProcessControl control;
    const ProcessRef ref = control.stamp(child);
    ASSERT_NE(ref.startTime, 0u);
    EXPECT_EQ(control.apply({ref}, ProcessAction::suspend).done, std::vector<int32_t>{child});
    EXPECT_TRUE(test::waitUntil([&] { return stateOf(child) == S::stopped; }));
    EXPECT_EQ(control.apply({ref}, ProcessAction::resume).done, std::vector<int32_t>{child});
    EXPECT_TRUE(test::waitUntil([&] { return stateOf(child) == S::sleeping; }));

    EXPECT_EQ(control.apply({ref}, ProcessAction::forceQuit).done, std::vector<int32_t>{child});
    const int status = paused.reap();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(control.apply({ref}, ProcessAction::quit).ended, std::vector<int32_t>{child})
        << "a reaped process is reported as ended";
}

TEST(ProcessControl, RefusesToSignalItself) {
    ProcessControl control;
    const ProcessRef self = control.stamp(static_cast<int32_t>(::getpid()));
    ASSERT_NE(self.startTime, 0u);
    const ActionResult r = control.apply({self}, ProcessAction::suspend);
    EXPECT_EQ(r.refused, std::vector<int32_t>{self.pid});
    EXPECT_TRUE(r.done.empty());
    EXPECT_EQ(stateOf(self.pid), platform::ProcRunState::running);
}

#include "inspect/process_priority.h"

TEST(ProcessPriority, NeverWritesBelowPidTwoAndClampsTheRest) {
    std::vector<std::pair<int32_t, int>> written;
    const ProcessPriority priority([](int32_t) { return std::optional<int>(0); },
                                   [&](int32_t pid, int value) {
                                       written.emplace_back(pid, value);
                                       return true;
                                   });
    EXPECT_FALSE(priority.write(0, 5));
    EXPECT_FALSE(priority.write(1, 5)) << "init is never reniced";
    EXPECT_TRUE(priority.write(2, 5));
    EXPECT_TRUE(priority.write(3, ProcessPriority::maximum() + 10));
    EXPECT_EQ(written, (std::vector<std::pair<int32_t, int>>{{2, 5}, {3, ProcessPriority::maximum()}}));
}
