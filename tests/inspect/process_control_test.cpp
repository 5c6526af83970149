#include "inspect/process_control.h"

#include "platform/process_facts.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <map>
#include <set>

using namespace velmora;

namespace {

struct Recorder {
    std::map<int32_t, std::vector<int32_t>> children;
    std::set<int32_t> refuse;
    std::vector<std::pair<int32_t, int>> sent;
    ProcessControl control() {
        return ProcessControl(
            [this](int32_t pid) {
                const auto it = children.find(pid);
                return it == children.end() ? std::vector<int32_t>() : it->second;
            },
            [this](int32_t pid, int signal) {
                sent.emplace_back(pid, signal);
                return !refuse.contains(pid);
            });
    }
};

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

TEST(ProcessControl, TerminateSendsTheRightSignalAndRefusesLowPids) {
    Recorder r;
    r.refuse = {7};
    auto result = r.control().terminate({0, 1, 5, 7, 9}, false);
    EXPECT_EQ(result.ok, (std::vector<int32_t>{5, 9}));
    EXPECT_EQ(result.failed, (std::vector<int32_t>{0, 1, 7}));
    EXPECT_EQ(r.sent, (std::vector<std::pair<int32_t, int>>{{5, SIGTERM}, {7, SIGTERM}, {9, SIGTERM}}))
        << "pids 0 and 1 are never signalled";
    r.sent.clear();
    result = r.control().terminate({5}, true);
    EXPECT_EQ(r.sent, (std::vector<std::pair<int32_t, int>>{{5, SIGKILL}}));
}

TEST(ProcessControl, TreeOrderIsChildrenBeforeParentsOnceEach) {
    Recorder r;
    r.children = {{1000, {1001, 1003}}, {1001, {1002}}, {1003, {1000, 1}}};  // a cycle, and pid 1
    EXPECT_EQ(r.control().treeOrder(1000), (std::vector<int32_t>{1002, 1001, 1003, 1000}));
    const auto result = r.control().terminateTree(1000, true);
    EXPECT_EQ(result.ok, (std::vector<int32_t>{1002, 1001, 1003, 1000}));
    for (const auto& [pid, signal] : r.sent)
        EXPECT_EQ(signal, SIGKILL);
}

TEST(ProcessControl, ARootBelowTwoIsTheWholeSystemAndIsRefused) {
    Recorder r;
    r.children = {{1, {500, 600}}, {0, {1}}};
    for (int32_t root : {0, 1}) {
        const auto result = r.control().terminateTree(root, false);
        EXPECT_TRUE(result.ok.empty());
        EXPECT_EQ(result.failed, std::vector<int32_t>{root});
    }
    EXPECT_TRUE(r.sent.empty());
}

TEST(ProcessControl, ADeepChainDoesNotExhaustTheStack) {
    constexpr int32_t kDepth = 200000;
    ProcessControl control(
        [](int32_t pid) {
            return pid < 1000 + kDepth ? std::vector<int32_t>{pid + 1} : std::vector<int32_t>{};
        },
        [](int32_t, int) { return true; });
    const auto order = control.treeOrder(1000);
    ASSERT_EQ(order.size(), static_cast<size_t>(kDepth) + 1);
    EXPECT_EQ(order.front(), 1000 + kDepth);
    EXPECT_EQ(order.back(), 1000);
}

TEST(ProcessControl, SuspendAndResumeLeaveLowPidsAlone) {
    Recorder r;
    r.control().suspend(1);
    r.control().resume(0);
    EXPECT_TRUE(r.sent.empty());
    r.control().suspend(42);
    r.control().resume(42);
    EXPECT_EQ(r.sent, (std::vector<std::pair<int32_t, int>>{{42, SIGSTOP}, {42, SIGCONT}}));
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
    std::vector<int32_t> kids;
    std::vector<int32_t> grandkids;
    ASSERT_TRUE(test::waitUntil([&] {
        kids = control.childPids(root);
        if (kids.size() != 2) return false;
        grandkids = control.childPids(kids[0]);
        return grandkids.size() == 1;
    })) << "the tree did not form";
    const int32_t a = kids[0], b = kids[1], a1 = grandkids[0];
    reaper.pids.insert(reaper.pids.end(), {a, b, a1});
    EXPECT_TRUE(control.childPids(b).empty());

    const auto result = control.terminateTree(root, false);
    EXPECT_EQ(result.ok, (std::vector<int32_t>{a1, a, b, root}));
    EXPECT_TRUE(result.failed.empty());

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
    control.suspend(child);
    EXPECT_TRUE(test::waitUntil([&] { return stateOf(child) == S::stopped; }));
    control.resume(child);
    EXPECT_TRUE(test::waitUntil([&] { return stateOf(child) == S::sleeping; }));

    const auto result = control.terminate({child}, true);
    EXPECT_EQ(result.ok, std::vector<int32_t>{child});
    const int status = paused.reap();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}
