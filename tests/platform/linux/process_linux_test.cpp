#include "platform/linux/process_linux.h"
#include "samplers/process_sampler.h"

#include "support/test_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <map>
#include <set>

using namespace velmora;
using namespace velmora::platform;

namespace {

// Refuses chosen entries as the kernel refuses another user's io counters, whoever runs
// the tests (root reads every fixture file), and gives chosen processes another owner.
class RefusingSource : public LinuxProcessSource {
  public:
    using LinuxProcessSource::LinuxProcessSource;
    std::set<std::string> refused;
    std::map<int32_t, uid_t> owners;
    int openEntry(const char* relative) override {
        if (refused.count(relative)) return -EACCES;
        return LinuxProcessSource::openEntry(relative);
    }
    std::optional<uid_t> ownerOf(int32_t pid) override {
        if (const auto it = owners.find(pid); it != owners.end()) return it->second;
        return LinuxProcessSource::ownerOf(pid);
    }
};

constexpr uid_t kSomeoneElse = 54321;

const ProcCounters* findOwn(const std::vector<ProcCounters>& list, int32_t pid) {
    for (const ProcCounters& c : list)
        if (c.pid == pid) return &c;
    return nullptr;
}

const RefusedProc* findRefused(const std::vector<RefusedProc>& list, int32_t pid) {
    for (const RefusedProc& r : list)
        if (r.pid == pid) return &r;
    return nullptr;
}

QByteArray statLine(int pid, const char* comm, uint64_t utime, uint64_t starttime, uint64_t minflt = 100,
                    int64_t rss = 50) {
    return QStringLiteral("%1 (%2) S 1 %1 %1 0 -1 4194560 %5 0 0 0 %3 0 0 0 20 0 1 0 %4 10485760 %6 0 0 0\n")
        .arg(pid)
        .arg(QString::fromUtf8(comm))
        .arg(utime)
        .arg(starttime)
        .arg(minflt)
        .arg(rss)
        .toUtf8();
}

// A copy of the fixture tree that a test may change between reads.
std::unique_ptr<QTemporaryDir> copyFixture() {
    auto dir = std::make_unique<QTemporaryDir>();
    const QString from = QString::fromStdString(test::fixture("proc/processes"));
    QDirIterator it(from, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(from).relativeFilePath(path);
        const QFileInfo info(path);
        QDir().mkpath(QFileInfo(dir->filePath(rel)).absolutePath());
        if (info.isSymLink())
            QFile::link(info.symLinkTarget(), dir->filePath(rel));
        else
            QFile::copy(path, dir->filePath(rel));
    }
    return dir;
}

}  // namespace

TEST(LinuxProcessSource, SortsFixtureProcessesIntoOwnAndRefused) {
    RefusingSource source(test::fixture("proc/processes"));
    source.refused = {"200/io", "107/io"};
    source.owners = {{200, kSomeoneElse}, {107, ::geteuid()}};
    std::vector<ProcCounters> own;
    std::vector<RefusedProc> refused;
    ASSERT_TRUE(source.read(own, &refused));

    std::vector<int32_t> ownPids;
    for (const ProcCounters& c : own)
        ownPids.push_back(c.pid);
    EXPECT_EQ(ownPids, (std::vector<int32_t>{100, 101, 102, 103, 104, 105, 106, 107}))
        << "pid order; zombie 300, vanished 400/401, empty io 402 and garbage 403 left out";

    const ProcCounters* bash = findOwn(own, 100);
    ASSERT_NE(bash, nullptr);
    EXPECT_EQ(bash->name, "bash");
    EXPECT_EQ(bash->cpuTicks, 375u) << "utime + stime";
    EXPECT_EQ(bash->startTime, 1000u);
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    EXPECT_EQ(bash->memBytes, (1000u - 400u) * page) << "resident minus file-backed pages";
    EXPECT_EQ(bash->diskReadBytes, 4096u);
    EXPECT_EQ(bash->diskWriteBytes, 8192u) << "not cancelled_write_bytes";
    EXPECT_EQ(bash->wakeups, 77u);
    EXPECT_FALSE(bash->energyNJ.has_value()) << "Linux has no energy counter";

    // Our own process that made itself non-dumpable: io refused, still our row.
    const ProcCounters* agent = findOwn(own, 107);
    ASSERT_NE(agent, nullptr) << "a refused io file alone does not make a process someone else's";
    EXPECT_EQ(agent->diskReadBytes + agent->diskWriteBytes, 0u) << "its io file says 1 and 2, unread";
    EXPECT_GT(agent->memBytes, 0u) << "memory as for any own row";

    ASSERT_EQ(refused.size(), 2u);
    const RefusedProc* kthread = findRefused(refused, 2);
    ASSERT_NE(kthread, nullptr) << "kernel threads are never own rows";
    EXPECT_EQ(kthread->name, "kthreadd");
    EXPECT_EQ(kthread->cpuTicks, 45u);
    EXPECT_EQ(kthread->residentBytes, 0u);
    const RefusedProc* other = findRefused(refused, 200);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->name, "postgres");
    EXPECT_EQ(other->cpuTicks, 1000u);
    EXPECT_EQ(other->residentBytes, 500u * page) << "resident size from stat";
    EXPECT_FALSE(other->cpuPercent.has_value()) << "Linux has no recent figure; the sampler works it out";

    using O = LinuxProcessSource::PidOutcome;
    const std::map<O, uint32_t> counts = {{O::read, 8},     {O::refused, 2},    {O::zombie, 1},
                                          {O::vanished, 2}, {O::unreadable, 0}, {O::malformed, 2}};
    for (const auto& [outcome, count] : counts)
        EXPECT_EQ(source.lastCount(outcome), count) << "outcome " << static_cast<int>(outcome)
                                                    << ": 400/401 vanished, 402's io and 403's stat malformed";

    ASSERT_TRUE(source.read(own, nullptr));
    EXPECT_EQ(own.size(), 8u) << "without a refused list the refused ones are dropped";
    EXPECT_EQ(source.lastCount(O::refused), 2u) << "dropped by the caller's choice, counted all the same";

    EXPECT_EQ(source.timeBase().numer, 1000000000u);
    EXPECT_EQ(source.timeBase().denom, static_cast<uint32_t>(sysconf(_SC_CLK_TCK)));
}

namespace {

// A process tree of one pid (500) whose files a case writes, fails or takes away while the
// pid is being read.
class ScriptedSource : public LinuxProcessSource {
  public:
    explicit ScriptedSource(const QTemporaryDir& dir) : LinuxProcessSource(dir.path().toStdString()), dir_(dir) {}
    std::string vanishAt;  // opening this entry finds the process gone: its directory is removed first
    std::string failing;   // opening this entry fails with `error`
    int error = 0;
    std::optional<uid_t> owner;  // the owner of the process's directory; unset: the file system's
    int openEntry(const char* relative) override {
        if (relative == vanishAt) QDir(dir_.filePath(QStringLiteral("500"))).removeRecursively();
        if (relative == failing) return -error;
        return LinuxProcessSource::openEntry(relative);
    }
    std::optional<uid_t> ownerOf(int32_t pid) override {
        if (owner && QFileInfo::exists(dir_.filePath(QStringLiteral("500")))) return owner;
        return LinuxProcessSource::ownerOf(pid);
    }

  private:
    const QTemporaryDir& dir_;
};

}  // namespace

// Every listed pid ends in exactly one outcome, and a pid that yields no row says why.
TEST(LinuxProcessSource, EachPidEndsInAnOutcomeThatSaysWhy) {
    using O = LinuxProcessSource::PidOutcome;
    struct Case {
        const char* what;
        QByteArray stat = statLine(500, "worker", 10, 1000);
        QByteArray statm = "5000 1000 400 200 0 700 0\n";
        QByteArray io = "read_bytes: 7\nwrite_bytes: 9\n";
        QByteArray schedstat = "1 2 33\n";
        std::string vanishAt = {};
        std::string failing = {};
        int error = 0;
        std::optional<uid_t> owner = {};
        O outcome;
        const char* name = "worker";  // of the row, where there is one
        uint64_t diskBytes = 16;
        uint64_t wakeups = 33;
    };
    const uid_t me = ::geteuid();
    const Case cases[] = {
        {.what = "all files read", .outcome = O::read},
        {.what = "a name holding ') ', spaces and a newline",
         .stat = statLine(500, "a) Z 1 (b\nc", 10, 1000),
         .outcome = O::read,
         .name = "a) Z 1 (b?c"},
        {.what = "schedstat missing costs the wakeups only", .schedstat = "1 2\n", .outcome = O::read, .wakeups = 0},
        {.what = "vanished before its stat", .vanishAt = "500/stat", .outcome = O::vanished},
        {.what = "vanished before its io", .vanishAt = "500/io", .outcome = O::vanished},
        {.what = "vanished before its statm", .vanishAt = "500/statm", .outcome = O::vanished},
        {.what = "vanished while its refused io was looked into",
         .vanishAt = "500/io", .failing = "500/io", .error = EACCES, .outcome = O::vanished},
        {.what = "a stat cut after an odd name",
         .stat = "500 (odd) name\n) S 1 500", .outcome = O::malformed},
        {.what = "a stat whose name never closes",
         .stat = "500 (never closed S 1 500 500 0 -1 4194560 100 0 0 0 1 0 0 0 20 0 1 0 1000 1 50 0\n",
         .outcome = O::malformed},
        {.what = "an empty io", .io = "", .outcome = O::malformed},
        {.what = "a statm of one number", .statm = "5000\n", .outcome = O::malformed},
        {.what = "a stat failing otherwise", .failing = "500/stat", .error = EIO, .outcome = O::unreadable},
        {.what = "an io failing otherwise", .failing = "500/io", .error = EIO, .outcome = O::unreadable},
        {.what = "a zombie",
         .stat = "500 (gone) Z 1 500 500 0 -1 4194560 100 0 0 0 1 0 0 0 20 0 1 0 1000 1 0 0\n",
         .outcome = O::zombie},
        // A refused io file keeps the process: ours without disk figures, or someone else's.
        {.what = "our io refused",
         .failing = "500/io", .error = EACCES, .owner = me, .outcome = O::read, .diskBytes = 0},
        {.what = "our io not permitted",
         .failing = "500/io", .error = EPERM, .owner = me, .outcome = O::read, .diskBytes = 0},
        {.what = "someone else's io refused",
         .failing = "500/io", .error = EACCES, .owner = me + 1, .outcome = O::refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        test::writeFile(dir, "self/io", "read_bytes: 0\nwrite_bytes: 0\n");
        test::writeFile(dir, "self/schedstat", "0 0 0\n");
        test::writeFile(dir, "500/stat", c.stat);
        test::writeFile(dir, "500/statm", c.statm);
        test::writeFile(dir, "500/io", c.io);
        test::writeFile(dir, "500/schedstat", c.schedstat);
        ScriptedSource source(dir);
        source.vanishAt = c.vanishAt;
        source.failing = c.failing;
        source.error = c.error;
        source.owner = c.owner;
        std::vector<ProcCounters> own;
        std::vector<RefusedProc> refused;
        ASSERT_TRUE(source.read(own, &refused));
        for (size_t o = 0; o < LinuxProcessSource::kPidOutcomes; ++o)
            EXPECT_EQ(source.lastOutcomes()[o], o == static_cast<size_t>(c.outcome) ? 1u : 0u) << "outcome " << o;
        EXPECT_EQ(own.size(), c.outcome == O::read ? 1u : 0u);
        EXPECT_EQ(refused.size(), c.outcome == O::refused ? 1u : 0u);
        if (own.empty()) continue;
        EXPECT_EQ(own[0].name, QString::fromUtf8(c.name));
        EXPECT_EQ(own[0].diskReadBytes + own[0].diskWriteBytes, c.diskBytes);
        EXPECT_EQ(own[0].wakeups, c.wakeups);
        EXPECT_EQ(own[0].cpuTicks, 10u);
        EXPECT_GT(own[0].memBytes, 0u);
    }
}

TEST(LinuxProcessSource, NamesBeyondTheKernelsFifteenBytes) {
    LinuxProcessSource source(test::fixture("proc/processes"));
    std::vector<ProcCounters> own;
    ASSERT_TRUE(source.read(own, nullptr));
    const auto name = [&](int32_t pid) {
        const ProcCounters* c = findOwn(own, pid);
        return c ? c->name.toStdString() : std::string("<missing>");
    };
    EXPECT_EQ(name(101), "my (odd) name") << "parentheses and spaces inside the name";
    EXPECT_EQ(name(102), "gnome-shell-calendar-server") << "the executable completes a full comm";
    EXPECT_EQ(name(103), "Isolated Web Co") << "a self-given name unrelated to the executable stays";
    EXPECT_EQ(name(104), "python-long-name-tool") << "argv[0] when the executable link is unreadable";
    EXPECT_EQ(name(105), "tool-with-a-long-name") << "a rewritten title is named by its first word";
    EXPECT_EQ(name(106), "pid 106") << "an empty name";
    EXPECT_EQ(name(107), "caf\uFFFD?[31m") << "invalid UTF-8 replaced, the escape character defused";

    EXPECT_EQ(source.processName(102), "gnome-shell-calendar-server");
    EXPECT_EQ(source.processName(999), "pid 999") << "no such process";
}

TEST(LinuxProcessSource, FailedListingAndEmptyRoot) {
    LinuxProcessSource missing("/nonexistent-proc-root");
    std::vector<ProcCounters> own;
    std::vector<RefusedProc> refused;
    EXPECT_FALSE(missing.read(own, &refused));
    EXPECT_TRUE(own.empty());

    QTemporaryDir empty;
    LinuxProcessSource none(empty.path().toStdString());
    EXPECT_FALSE(none.read(own, &refused)) << "a listing without a single pid counts as failed";
}

TEST(LinuxProcessSource, NameCacheFollowsRenamesAndReusedPids) {
    auto dir = copyFixture();
    LinuxProcessSource source(dir->path().toStdString());
    std::vector<ProcCounters> own;
    ASSERT_TRUE(source.read(own, nullptr));
    EXPECT_EQ(findOwn(own, 100)->name, "bash");

    test::writeFile(*dir, "100/stat", statLine(100, "renamed", 400, 1000));
    ASSERT_TRUE(source.read(own, nullptr));
    EXPECT_EQ(findOwn(own, 100)->name, "renamed") << "a process that renamed itself";

    // Same comm, new process: the cached long name of the old one must not stick.
    test::writeFile(*dir, "102/stat", statLine(102, "gnome-shell-cal", 1, 5000));
    QFile::remove(dir->filePath("102/exe"));
    test::writeFile(*dir, "102/cmdline", QByteArray("gnome-shell-cal\0", 16));
    ASSERT_TRUE(source.read(own, nullptr));
    EXPECT_EQ(findOwn(own, 102)->name, "gnome-shell-cal");
}

TEST(LinuxProcessSource, ParsersRejectMalformedText) {
    uint64_t a = 0, b = 0;
    EXPECT_TRUE(LinuxProcessSource::parseStatm("5000 1000 400 200 0 700 0\n", a, b));
    EXPECT_EQ(a, 1000u);
    EXPECT_EQ(b, 400u);
    EXPECT_FALSE(LinuxProcessSource::parseStatm("5000 1000\n", a, b));
    EXPECT_FALSE(LinuxProcessSource::parseStatm("", a, b));

    EXPECT_TRUE(
        LinuxProcessSource::parseIo("read_bytes: 7\nwrite_bytes: 9\ncancelled_write_bytes: 100\n", a, b));
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(b, 9u);
    EXPECT_FALSE(LinuxProcessSource::parseIo("rchar: 5\ncancelled_write_bytes: 3\nread_bytes: 1\n", a, b))
        << "write_bytes is missing; cancelled_write_bytes must not stand in for it";
    EXPECT_FALSE(LinuxProcessSource::parseIo("read_bytes: x\nwrite_bytes: 1\n", a, b));

    EXPECT_TRUE(LinuxProcessSource::parseSchedstat("123 456 789\n", a));
    EXPECT_EQ(a, 789u);
    EXPECT_FALSE(LinuxProcessSource::parseSchedstat("123 456\n", a));
}

int openDescriptors() {
    return static_cast<int>(
        QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

// Files stay open between reads within the budget, and every one of them is accounted for
// and closed again: on a new process under a pid, on a vanished process, at the end.
TEST(LinuxProcessSource, KeptFilesAreCountedBoundedAndReleased) {
    auto dir = copyFixture();
    const int before = openDescriptors();
    std::vector<ProcCounters> own, bounded;
    {
        LinuxProcessSource source(dir->path().toStdString());
        LinuxProcessSource small(dir->path().toStdString());
        small.setDescriptorBudget(3);
        ASSERT_TRUE(source.read(own, nullptr));
        ASSERT_TRUE(small.read(bounded, nullptr));
        EXPECT_GE(source.keptDescriptors(), 8u * 4u) << "four files of each own process";
        EXPECT_EQ(small.keptDescriptors(), 3u);
        // The root and the listing are the two others each source holds.
        EXPECT_EQ(openDescriptors() - before,
                  static_cast<int>(source.keptDescriptors() + small.keptDescriptors()) + 4);

        test::writeFile(*dir, "100/stat", statLine(100, "bash", 1, 77777));
        test::writeFile(*dir, "100/io", "read_bytes: 5\nwrite_bytes: 6\n");
        ASSERT_TRUE(QDir(dir->filePath("101")).removeRecursively());
        ASSERT_TRUE(source.read(own, nullptr));
        ASSERT_TRUE(small.read(bounded, nullptr));
        EXPECT_EQ(openDescriptors() - before,
                  static_cast<int>(source.keptDescriptors() + small.keptDescriptors()) + 4);
        EXPECT_EQ(findOwn(own, 101), nullptr);
        ASSERT_NE(findOwn(own, 100), nullptr);
        EXPECT_EQ(findOwn(own, 100)->diskReadBytes, 5u);
        ASSERT_EQ(own.size(), bounded.size()) << "the budget changes the cost, not the result";
        for (size_t i = 0; i < own.size(); ++i) {
            EXPECT_EQ(own[i].pid, bounded[i].pid);
            EXPECT_EQ(own[i].cpuTicks, bounded[i].cpuTicks);
            EXPECT_EQ(own[i].memBytes, bounded[i].memBytes);
            EXPECT_EQ(own[i].diskWriteBytes, bounded[i].diskWriteBytes);
            EXPECT_EQ(own[i].wakeups, bounded[i].wakeups);
            EXPECT_EQ(own[i].name, bounded[i].name);
        }

        // With no process view the files are given back, and the next read reopens them.
        source.releaseKeptFiles();
        EXPECT_EQ(source.keptDescriptors(), 0u);
        EXPECT_EQ(openDescriptors() - before, static_cast<int>(small.keptDescriptors()) + 4);
        std::vector<ProcCounters> again;
        ASSERT_TRUE(source.read(again, nullptr));
        EXPECT_EQ(again.size(), own.size());
        EXPECT_GT(source.keptDescriptors(), 0u);
    }
    EXPECT_EQ(openDescriptors(), before);
}

// statm is read again only when stat shows the memory could have moved.
TEST(LinuxProcessSource, MemoryIsReReadWhenFaultsOrResidentSizeMove) {
    auto dir = copyFixture();
    LinuxProcessSource source(dir->path().toStdString());
    std::vector<ProcCounters> own;
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    const auto memOf = [&] {
        EXPECT_TRUE(source.read(own, nullptr));
        const ProcCounters* c = findOwn(own, 100);
        return c ? c->memBytes / page : 0;
    };
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 1, 1000, 100, 900));
    EXPECT_EQ(memOf(), 600u);
    test::writeFile(*dir, "100/statm", "5000 2000 400 200 0 700 0\n");
    EXPECT_EQ(memOf(), 600u) << "no fault and the same resident size: the memory is as it was";
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 1, 1000, 101, 900));
    EXPECT_EQ(memOf(), 1600u) << "a page fault";
    test::writeFile(*dir, "100/statm", "5000 1800 400 200 0 700 0\n");
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 1, 1000, 101, 850));
    EXPECT_EQ(memOf(), 1400u) << "pages reclaimed without a fault";
    test::writeFile(*dir, "100/statm", "5000 900 100 200 0 700 0\n");
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 1, 2000, 101, 850));
    EXPECT_EQ(memOf(), 800u) << "a new process under the pid";
}

TEST(LinuxProcessSource, IoCountersOfAProcessThatDidNotRunAreReadLateNeverLost) {
    auto dir = copyFixture();
    LinuxProcessSource source(dir->path().toStdString());
    std::vector<ProcCounters> own;
    const auto readOf = [&] {
        EXPECT_TRUE(source.read(own, nullptr));
        const ProcCounters* c = findOwn(own, 100);
        return c ? c->diskReadBytes : ~0ull;
    };
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 7, 1000));
    test::writeFile(*dir, "100/io", "read_bytes: 10\nwrite_bytes: 0\n");
    EXPECT_EQ(readOf(), 10u);

    // Bytes that came without a clock tick of CPU show by the pid's next turn at the latest.
    test::writeFile(*dir, "100/io", "read_bytes: 20\nwrite_bytes: 0\n");
    std::vector<uint64_t> seen;
    for (uint32_t i = 0; i < LinuxProcessSource::kIoRefresh; ++i)
        seen.push_back(readOf());
    EXPECT_EQ(seen.front(), 10u) << "the CPU time stood still: the counters were not read";
    EXPECT_EQ(seen.back(), 20u) << "read again within kIoRefresh reads";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    // CPU time moved: read at once.
    test::writeFile(*dir, "100/io", "read_bytes: 30\nwrite_bytes: 0\n");
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 8, 1000));
    EXPECT_EQ(readOf(), 30u);
    // A new process under the pid with the same CPU time: its own counters at once.
    test::writeFile(*dir, "100/io", "read_bytes: 3\nwrite_bytes: 0\n");
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 8, 5000));
    EXPECT_EQ(readOf(), 3u);
}

// Through the sampler: a pid reused by a new process with lower counters gives 0, and the
// new counters become the baseline.
TEST(LinuxProcessSource, ReusedPidStartsFromItsOwnBaseline) {
    auto dir = copyFixture();
    double now = 0;
    ProcessSampler sampler(
        std::make_unique<LinuxProcessSource>(dir->path().toStdString()),
        [] {
            return ProcessSampler::Switches{false, false};
        },
        {}, [&] { return now; });
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    const auto cpuOf = [](const std::vector<ProcInfo>& list, int32_t pid) {
        for (const ProcInfo& p : list)
            if (p.pid == pid) return p.cpu;
        return -1.0;
    };

    sampler.sample();
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 375 + static_cast<uint64_t>(tick) / 2, 1000));
    now = 1;
    EXPECT_NEAR(cpuOf(sampler.sample(), 100), 50.0, 1e-9);

    test::writeFile(*dir, "100/stat", statLine(100, "bash", 10, 9000));
    now = 2;
    EXPECT_EQ(cpuOf(sampler.sample(), 100), 0.0) << "lower counters of a new process";
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 10 + static_cast<uint64_t>(tick), 9000));
    now = 3;
    EXPECT_NEAR(cpuOf(sampler.sample(), 100), 100.0, 1e-9) << "measured from the new process's baseline";

    // A new process with higher counters than the old one: no bogus spike either.
    test::writeFile(*dir, "100/stat", statLine(100, "bash", 100000, 12000));
    now = 4;
    EXPECT_EQ(cpuOf(sampler.sample(), 100), 0.0);
}

// The live machine: a busy child shows the share of a core it really got between two
// ticks (all of one on an idle machine), and this process is listed with its own memory
// and name. The kernel's precise CPU clock of the child is the independent reference.
TEST(ProcessSamplerLive, BusyChildShowsItsShareOfACore) {
    test::ForkedChild spinner(+[] {
        volatile uint64_t spin = 0;
        for (;;)
            spin = spin + 1;
    });
    ASSERT_TRUE(spinner.started());
    const pid_t child = spinner.pid();
    clockid_t childClock;
    ASSERT_EQ(clock_getcpuclockid(child, &childClock), 0);
    const auto seconds = [](clockid_t clock) {
        timespec ts{};
        clock_gettime(clock, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    };
    ProcessSampler sampler(std::make_unique<LinuxProcessSource>(),
                           [] {
                               return ProcessSampler::Switches{true, true};
                           },
                           {});
    const double cpu0 = seconds(childClock), wall0 = seconds(CLOCK_MONOTONIC);
    sampler.sample();
    // The interval ends once the child has had half a second of CPU, however long a
    // crowded machine takes to give it that.
    ASSERT_TRUE(test::waitUntil([&] { return seconds(childClock) - cpu0 >= 0.5; }, std::chrono::seconds(30)));
    const std::vector<ProcInfo> list = sampler.sample();
    const double share = (seconds(childClock) - cpu0) / (seconds(CLOCK_MONOTONIC) - wall0) * 100.0;
    ::kill(child, SIGKILL);
    spinner.reap();

    const ProcInfo* busy = nullptr;
    const ProcInfo* self = nullptr;
    for (const ProcInfo& p : list) {
        if (p.pid == child) busy = &p;
        if (p.pid == getpid()) self = &p;
    }
    ASSERT_NE(busy, nullptr);
    // Clock ticks of 10 ms over at least half a second, and a few milliseconds between the
    // reference's readings and the sampler's, leave some room.
    EXPECT_NEAR(busy->cpu, share, 8.0);
    EXPECT_GT(busy->cpu, 0.0) << "a spinning process is busy even on a crowded machine";
    EXPECT_LT(busy->cpu, 103.0) << "one thread never exceeds one core";
    EXPECT_GE(busy->energyImpact, busy->cpu);
    EXPECT_GT(busy->memBytes, 0u);
    EXPECT_FALSE(busy->isSystem);
    ASSERT_NE(self, nullptr);
    EXPECT_GT(self->memBytes, 1u << 20) << "a Qt test program holds more than a megabyte of its own";
    EXPECT_EQ(self->name, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_GE(list[i - 1].cpu, list[i].cpu) << "sorted by CPU";
}

// Every refused process on this machine is a kernel thread or one whose io counters the
// kernel really refuses.
TEST(ProcessSamplerLive, RefusedProcessesAreRefusedByTheKernel) {
    LinuxProcessSource source;
    std::vector<ProcCounters> own;
    std::vector<RefusedProc> refused;
    ASSERT_TRUE(source.read(own, &refused));
    EXPECT_NE(findOwn(own, getpid()), nullptr);
    for (const RefusedProc& r : refused) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/io", r.pid);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(r.pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;  // gone meanwhile
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const bool kernelThread = fields.size() > 6 && (fields[6].toULongLong() & 0x00200000) != 0;
        if (kernelThread) continue;
        errno = 0;
        const int fd = ::open(path, O_RDONLY);
        char buf[512];
        const bool readable = fd >= 0 && ::read(fd, buf, sizeof buf) > 0;
        const int error = errno;
        if (fd >= 0) ::close(fd);
        EXPECT_FALSE(readable) << r.pid;
        EXPECT_TRUE(error == EACCES || error == EPERM || error == ESRCH || error == ENOENT) << r.pid;
    }
}
