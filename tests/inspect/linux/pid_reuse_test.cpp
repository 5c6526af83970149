// A process ends and a new one takes its pid between the user's choice and the action:
// the newcomer must be left alone and the action reported as ended. The pid is reused on
// purpose inside a private pid namespace, where this test's own child is the only one
// forking and the next pid can be set.
#include "inspect/process_control.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;

namespace {

// Exit codes of the namespace's first process.
enum Lab : int {
    kPassed = 0,
    kNoNamespace = 70,  // unshare refused: no privilege for namespaces
    kNoProc = 71,       // /proc could not be mounted for the namespace
    kNoNextPid = 72,    // ns_last_pid could not be written
    kNotReused = 73,    // the newcomer did not get the pid
    kSignalled = 80,    // the newcomer was acted on
    kNotEnded = 81,     // the action was not reported as ended
    kNoStamp = 82,      // the first process had no stamp
    kPositiveFailed = 83,  // the same action on the newcomer's own stamp did not go through
};

enum class Kind { quit, forceQuit, suspend, resume, priority, tree };

[[noreturn]] void pauseForever() {
    for (;;)
        pause();
}

char stateOf(pid_t pid) {
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) return '?';
    char buf[512] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    const char* close = n > 0 ? std::strrchr(buf, ')') : nullptr;
    return close && close[1] == ' ' ? close[2] : '?';
}

bool setNextPid(pid_t last) {
    const int fd = ::open("/proc/sys/kernel/ns_last_pid", O_WRONLY);
    if (fd < 0) return false;
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%d", last);
    const bool ok = ::write(fd, text, static_cast<size_t>(len)) == len;
    ::close(fd);
    return ok;
}

// Whether `pid` was left as it was: alive, not stopped, its nice value still `nice` (what it
// inherited, which need not be 0: the test may itself run niced).
bool untouched(pid_t pid, int nice) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG | WUNTRACED) != 0) return false;
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
    return stateOf(pid) == 'S' && now == nice && errno == 0;
}

// The namespace's first process: A is started and stamped, ends, and B takes its pid.
int runLab(Kind kind) {
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kNoProc;
    if (::mount("proc", "/proc", "proc", 0, nullptr) != 0) return kNoProc;
    // A resume only shows on a stopped process; B is then stopped like A was.
    const bool stopped = kind == Kind::resume;
    const pid_t a = ::fork();
    if (a == 0) pauseForever();
    ProcessControl control;
    while (stateOf(a) != 'S') ::usleep(1000);
    const ProcessRef chosen = control.stamp(a);
    if (chosen.startTime == 0) return kNoStamp;
    ::kill(a, SIGKILL);
    ::waitpid(a, nullptr, 0);

    // The clock must move on for B's stamp to differ: a stamp counts clock ticks.
    ::usleep(30'000);
    if (!setNextPid(a - 1)) return kNoNextPid;
    const pid_t b = ::fork();
    if (b == 0) pauseForever();
    if (b != a) return kNotReused;
    while (stateOf(b) != 'S') ::usleep(1000);
    if (stopped) {
        ::kill(b, SIGSTOP);
        while (stateOf(b) != 'T') ::usleep(1000);
    }

    const int niceBefore = ::getpriority(PRIO_PROCESS, static_cast<id_t>(b));
    bool ended = false;
    switch (kind) {
        case Kind::quit:
            ended = control.apply({chosen}, ProcessAction::quit).ended == std::vector<int32_t>{a};
            break;
        case Kind::forceQuit:
            ended = control.apply({chosen}, ProcessAction::forceQuit).ended == std::vector<int32_t>{a};
            break;
        case Kind::suspend:
            ended = control.apply({chosen}, ProcessAction::suspend).ended == std::vector<int32_t>{a};
            break;
        case Kind::resume:
            ended = control.apply({chosen}, ProcessAction::resume).ended == std::vector<int32_t>{a};
            break;
        case Kind::priority:
            ended = control.setPriority(chosen, 7) == ActionOutcome::ended;
            break;
        case Kind::tree:
            ended = control.tree(chosen).empty();
            break;
    }
    if (stopped) {
        if (stateOf(b) != 'T') return kSignalled;
        ::kill(b, SIGCONT);
        while (stateOf(b) != 'S') ::usleep(1000);
    } else if (!untouched(b, niceBefore)) {
        return kSignalled;
    }
    if (!ended) return kNotEnded;

    // The same action on B's own stamp does reach it: the refusal above was the proof's.
    const ProcessRef own = control.stamp(b);
    bool reached = false;
    switch (kind) {
        case Kind::priority:
            reached = control.setPriority(own, 7) == ActionOutcome::done;
            break;
        case Kind::tree:
            reached = control.tree(own) == std::vector<ProcessRef>{own};
            break;
        default:
            reached = control.apply({own}, ProcessAction::suspend).done == std::vector<int32_t>{b};
            break;
    }
    ::kill(b, SIGKILL);
    ::waitpid(b, nullptr, 0);
    return reached ? kPassed : kPositiveFailed;
}

Kind labKind;

}  // namespace

TEST(PidReuse, ANewcomerOnTheChosenPidIsNeitherSignalledNorReniced) {
    struct Case {
        Kind kind;
        const char* name;
    };
    for (const Case& c : {Case{Kind::quit, "quit"}, Case{Kind::forceQuit, "force quit"},
                          Case{Kind::suspend, "suspend"}, Case{Kind::resume, "resume"},
                          Case{Kind::priority, "priority"}, Case{Kind::tree, "tree kill"}}) {
        SCOPED_TRACE(c.name);
        labKind = c.kind;
        // The outer child makes the namespace; its own child is that namespace's pid 1.
        const pid_t outer = ::fork();
        ASSERT_GE(outer, 0);
        if (outer == 0) {
            // Without privileges, a user namespace of its own lends the child the ones it needs.
            if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0 &&
                ::unshare(CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNS) != 0)
                ::_exit(kNoNamespace);
            const pid_t first = ::fork();
            if (first < 0) ::_exit(kNoNamespace);
            if (first == 0) ::_exit(runLab(labKind));
            int status = 0;
            ::waitpid(first, &status, 0);
            ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 99);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(outer, &status, 0), outer);
        ASSERT_TRUE(WIFEXITED(status));
        const int code = WEXITSTATUS(status);
        if (code == kNoNamespace || code == kNoProc || code == kNoNextPid)
            GTEST_SKIP() << "a pid cannot be reused on purpose here: no private pid namespace with its own "
                            "/proc and next-pid setting (needs CAP_SYS_ADMIN or user namespaces); lab code "
                         << code;
        EXPECT_EQ(code, kPassed);
    }
}
