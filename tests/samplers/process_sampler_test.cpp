#include "samplers/process_sampler.h"
#include "samplers/samplers.h"

#include <QDateTime>
#include <QDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
using platform::ProcCounters;
using platform::RefusedProc;

namespace {

// Hands the sampler one scripted reading per call.
class ScriptedSource : public platform::ProcessSource {
  public:
    struct Reading {
        bool ok = true;
        std::vector<ProcCounters> own;
        std::vector<RefusedProc> refused;
    };
    platform::TimeBase base{1, 1};
    std::vector<Reading> script;
    size_t next = 0;
    int refusedAsked = 0;

    platform::TimeBase timeBase() override { return base; }
    bool read(std::vector<ProcCounters>& own, std::vector<RefusedProc>* refused) override {
        const Reading& r = script.at(next++);
        own = r.own;
        if (refused) {
            ++refusedAsked;
            *refused = r.refused;
        }
        return r.ok;
    }
    QString processName(int32_t pid) override { return QStringLiteral("name-%1").arg(pid); }
    std::optional<uint64_t> clockNow;
    std::optional<uint64_t> startClockNow() override { return clockNow; }
};

ProcCounters proc(int32_t pid, uint64_t cpuTicks, uint64_t mem = 0) {
    ProcCounters c;
    c.pid = pid;
    c.name = QStringLiteral("p%1").arg(pid);
    c.cpuTicks = cpuTicks;
    c.memBytes = mem;
    return c;
}

struct Rig {
    ScriptedSource* source = nullptr;
    double now = 100;
    ProcessSampler::Switches switches{false, false};
    std::vector<std::pair<int32_t, uint64_t>> gpu;  // what the GPU walk reports
    int gpuWalks = 0;
    std::unique_ptr<ProcessSampler> sampler;

    explicit Rig(platform::TimeBase base = {1, 1}) {
        auto s = std::make_unique<ScriptedSource>();
        s->base = base;
        source = s.get();
        sampler = std::make_unique<ProcessSampler>(
            std::move(s), [this] { return switches; },
            [this](int32_t* pids, uint64_t* times, int capacity) {
                ++gpuWalks;
                int n = 0;
                for (const auto& [pid, t] : gpu) {
                    if (n == capacity) break;
                    pids[n] = pid;
                    times[n++] = t;
                }
                return gpu.empty() ? -1 : n;
            },
            [this] { return now; });
    }
    void add(std::vector<ProcCounters> own, std::vector<RefusedProc> refused = {}) {
        source->script.push_back({true, std::move(own), std::move(refused)});
    }
    void addFailure() { source->script.push_back({false, {}, {}}); }
};

const ProcInfo& row(const std::vector<ProcInfo>& list, int32_t pid) {
    for (const ProcInfo& p : list)
        if (p.pid == pid) return p;
    static const ProcInfo none{.pid = -1, .name = {}};
    ADD_FAILURE() << "no row for pid " << pid;
    return none;
}

}  // namespace

TEST(ProcessSampler, FirstCallHasMemoryAndNamesButNoRates) {
    Rig rig;
    ProcCounters c = proc(7, 5000000000ull, 123456);
    c.diskReadBytes = 1000;
    c.wakeups = 99;
    c.energyNJ = 5000;
    rig.switches.collectGPU = true;
    rig.gpu = {{7, 1000}};
    rig.add({c});
    const std::vector<ProcInfo> list = rig.sampler->sample();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (ProcInfo{.pid = 7, .name = "p7", .memBytes = 123456, .diskReadTotal = 1000}))
        << "totals need no interval";
}

TEST(ProcessSampler, TheTablesSlowFactsPassThroughAndStartsBecomeWallTimes) {
    Rig rig({10000000, 1});  // 10 ms ticks
    ProcCounters c = proc(7, 0, 1);
    c.startTime = 99000;
    c.ppid = 3;
    c.threads = 12;
    c.nice = -4;
    c.state = 'S';
    c.diskWriteBytes = 77;
    ProcCounters unknown = proc(8, 0, 1);
    unknown.startTime = 0;
    ProcCounters future = proc(9, 0, 1);
    future.startTime = 100001;  // later than the clock: no start time rather than a wrong one
    RefusedProc r{.pid = 40, .startTime = 90000, .name = "sys", .cpuPercent = 5.0};
    r.ppid = 1;
    r.threads = 3;
    r.nice = 10;
    r.state = 'R';
    rig.source->clockNow = 100000;
    rig.switches.showSystem = true;
    rig.add({c, unknown, future}, {r});
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const std::vector<ProcInfo> list = rig.sampler->sample();
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    const ProcInfo& p = row(list, 7);
    EXPECT_EQ(p.ppid, 3);
    EXPECT_EQ(p.threads, 12);
    EXPECT_EQ(p.nice, -4);
    EXPECT_EQ(p.state, 'S');
    EXPECT_EQ(p.diskWriteTotal, 77u);
    EXPECT_GE(p.startedSec, before - 10);
    EXPECT_LE(p.startedSec, after - 10);
    EXPECT_EQ(row(list, 8).startedSec, 0);
    EXPECT_EQ(row(list, 9).startedSec, 0);
    const ProcInfo& sys = row(list, 40);
    EXPECT_EQ(std::tuple(sys.ppid, sys.threads, sys.nice, sys.state), std::tuple(1, 3, 10, 'R'));
    EXPECT_GE(sys.startedSec, before - 100);
    EXPECT_LE(sys.startedSec, after - 100);
}

TEST(ProcessSampler, RatesFromTheTimeBaseAndTheInterval) {
    Rig rig({125, 3});  // 24 000 000 ticks per second
    ProcCounters a = proc(10, 0);
    ProcCounters b = proc(10, 24000000);
    b.diskWriteBytes = 10000000;
    b.diskReadBytes = 3000;
    rig.add({a});
    rig.add({b});
    rig.sampler->sample();
    rig.now += 2;
    const ProcInfo p = rig.sampler->sample().at(0);
    EXPECT_DOUBLE_EQ(p.cpu, 50.0) << "1 s of CPU over 2 s";
    EXPECT_DOUBLE_EQ(p.diskWriteBps, 5000000.0);
    EXPECT_DOUBLE_EQ(p.diskReadBps, 1500.0);
}

TEST(ProcessSampler, EnergyWithAndWithoutEnergyCounters) {
    Rig rig;  // ticks are nanoseconds
    const auto pair = [](int32_t pid, uint64_t cpu0, uint64_t cpu1, uint64_t wk0, uint64_t wk1,
                         std::optional<uint64_t> e0, std::optional<uint64_t> e1) {
        ProcCounters a = proc(pid, cpu0), b = proc(pid, cpu1);
        a.wakeups = wk0;
        b.wakeups = wk1;
        a.energyNJ = e0;
        b.energyNJ = e1;
        return std::pair{a, b};
    };
    auto [w1, w2] = pair(1, 0, 30000000, 0, 1000, {}, {});            // 3 % CPU, 1000 wakeups/s
    auto [m1, m2] = pair(2, 0, 30000000, 0, 200, {}, {});             // wake term 10
    auto [e1, e2] = pair(3, 0, 30000000, 0, 1000, 0, 5000000000ull);  // 5 J in 1 s
    auto [h1, h2] = pair(4, 0, 0, 0, 0, 0, 2000000000000ull);         // far above the cap
    auto [d1, d2] = pair(5, 0, 0, 0, 0, 9000, 100);                   // counter fell
    auto [n1, n2] = pair(6, 0, 0, 0, 0, std::nullopt, 5000);          // no previous energy
    rig.add({w1, m1, e1, h1, d1, n1});
    rig.add({w2, m2, e2, h2, d2, n2});
    rig.sampler->sample();
    rig.now += 1;
    const std::vector<ProcInfo> list = rig.sampler->sample();
    EXPECT_DOUBLE_EQ(row(list, 1).energyImpact, 43.0) << "3 + min(50, 40)";
    EXPECT_DOUBLE_EQ(row(list, 2).energyImpact, 13.0) << "3 + 10";
    EXPECT_DOUBLE_EQ(row(list, 3).energyImpact, 50.0) << "the wake term is not used with counters";
    EXPECT_DOUBLE_EQ(row(list, 4).energyImpact, 999.0);
    EXPECT_EQ(row(list, 5).energyImpact, 0.0);
    EXPECT_EQ(row(list, 6).energyImpact, 0.0);
}

TEST(ProcessSampler, GpuShareSummedClampedAndSwitchedOff) {
    Rig rig;
    rig.switches.collectGPU = true;
    rig.add({proc(1, 0), proc(2, 0), proc(3, 0)});
    rig.add({proc(1, 0), proc(2, 0), proc(3, 0)});
    rig.gpu = {{1, 0}, {2, 1000}, {2, 500}, {3, 0}};
    rig.sampler->sample();
    EXPECT_EQ(*rig.sampler->gpuTimes().find(2), 1500u) << "two clients of one process are summed";
    rig.gpu = {{1, 3000000000ull}, {2, 1500 + 500000000}, {3, 0}};
    rig.now += 2;
    const std::vector<ProcInfo> list = rig.sampler->sample();
    EXPECT_EQ(row(list, 1).gpuPercent, 100.0) << "3 s over 2 s is clamped";
    EXPECT_DOUBLE_EQ(row(list, 2).gpuPercent, 25.0);
    EXPECT_EQ(row(list, 3).gpuPercent, 0.0);

    rig.switches.collectGPU = false;
    const int walks = rig.gpuWalks;
    rig.add({proc(1, 0)});
    rig.now += 1;
    EXPECT_EQ(rig.sampler->sample().at(0).gpuPercent, 0.0);
    EXPECT_EQ(rig.gpuWalks, walks) << "the walk is not run while the setting is off";

    rig.gpu.clear();  // the walk fails
    EXPECT_TRUE(rig.sampler->gpuTimes().empty());
}

TEST(ProcessSampler, GpuWalkClaimingMoreThanItsRoomIsCapped) {
    auto source = std::make_unique<ScriptedSource>();
    ProcessSampler sampler(
        std::move(source), [] { return ProcessSampler::Switches{}; },
        [](int32_t* pids, uint64_t* times, int capacity) {
            for (int i = 0; i < capacity; ++i)
                pids[i] = i, times[i] = 1;
            return capacity * 4;
        });
    EXPECT_EQ(sampler.gpuTimes().size(), static_cast<size_t>(ProcessSampler::kGpuCapacity));
}

TEST(ProcessSampler, SortedByCpuKeepingListingOrderForTies) {
    Rig rig;
    rig.add({proc(5, 0), proc(6, 0), proc(7, 0), proc(8, 0)});
    rig.add({proc(5, 10), proc(6, 50), proc(7, 10), proc(8, 10)});
    rig.sampler->sample();
    rig.now += 1;
    std::vector<int32_t> order;
    for (const ProcInfo& p : rig.sampler->sample())
        order.push_back(p.pid);
    EXPECT_EQ(order, (std::vector<int32_t>{6, 5, 7, 8}));
}

TEST(ProcessSampler, FallenCountersGiveZeroAndBecomeTheBaseline) {
    Rig rig;
    rig.add({proc(9, 5000000000ull)});
    rig.add({proc(9, 1000)});  // pid reused, the system gives no start time
    rig.add({proc(9, 1000 + 500000000)});
    rig.sampler->sample();
    rig.now += 1;
    EXPECT_EQ(rig.sampler->sample().at(0).cpu, 0.0);
    rig.now += 1;
    EXPECT_DOUBLE_EQ(rig.sampler->sample().at(0).cpu, 50.0);
}

TEST(ProcessSampler, NewStartTimeIsMeasuredFromItsOwnStartNotTheOldProcesssCounters) {
    Rig rig;
    ProcCounters old = proc(9, 400000000ull);
    old.startTime = 1;
    ProcCounters reborn = proc(9, 500000000ull);
    reborn.startTime = 2;
    rig.add({old});
    rig.add({reborn});
    rig.sampler->sample();
    rig.now += 1;
    EXPECT_DOUBLE_EQ(rig.sampler->sample().at(0).cpu, 50.0) << "0.5 s since its start, not 0.1 s since the old one's";
}

// A process that started within the interval is charged all its counters (they began at 0
// when it was created); one that is merely new to the list, having started before the last
// pass, has no baseline and reads 0.
TEST(ProcessSampler, ProcessesStartedWithinTheIntervalAreChargedSinceTheirStart) {
    struct Case {
        uint64_t start;  // the previous pass's newest start time is 100
        double cpu;
        double writeBps;
    };
    const Case cases[] = {{99, 0, 0}, {100, 0, 0}, {101, 12.5, 2000}, {0, 0, 0}};
    for (const Case& c : cases) {
        Rig rig;
        ProcCounters older = proc(5, 1000);
        older.startTime = 100;
        ProcCounters fresh = proc(6, 250000000ull);  // 0.25 s of CPU
        fresh.startTime = c.start;
        fresh.diskWriteBytes = 4000;
        rig.add({older});
        rig.add({older, fresh});
        rig.sampler->sample();
        rig.now += 2;
        const auto list = rig.sampler->sample();
        EXPECT_DOUBLE_EQ(row(list, 6).cpu, c.cpu) << c.start;  // 0.25 s over 2 s
        EXPECT_DOUBLE_EQ(row(list, 6).diskWriteBps, c.writeBps) << c.start;
    }
}

// Children that end between two passes reach their parent's reaped-children time; the part
// their own rows showed before is not counted twice.
TEST(ProcessSampler, EndedChildrenAreCreditedToTheirParentOnce) {
    struct Case {
        const char* what;
        uint64_t childTicksAfter;  // the parent's reaped-children time, ns; 0 before
        bool seenChildGone;        // a child seen last pass (1 s own, 0.5 s of its children) ended
        double childrenCpu;
    };
    const Case cases[] = {
        {"unseen children only", 300000000ull, false, 30},
        {"a seen child's earlier time taken off", 1800000000ull, true, 30},
        {"no more than the seen child showed", 1500000000ull, true, 0},
        {"less than it showed: never negative", 1000000000ull, true, 0},
        {"nothing reaped", 0, false, 0},
    };
    for (const Case& c : cases) {
        Rig rig;
        ProcCounters parent = proc(10, 0);
        parent.startTime = 1;
        ProcCounters child = proc(11, 1000000000ull);
        child.startTime = 2;
        child.ppid = 10;
        child.childTicks = 500000000ull;
        ProcCounters other = proc(12, 0);  // another parent's child ends too: not ours
        other.startTime = 3;
        other.ppid = 99;
        rig.add(c.seenChildGone ? std::vector<ProcCounters>{parent, child, other}
                                : std::vector<ProcCounters>{parent, other});
        ProcCounters later = parent;
        later.childTicks = c.childTicksAfter;
        rig.add({later});
        rig.sampler->sample();
        rig.now += 1;
        const auto list = rig.sampler->sample();
        EXPECT_NEAR(row(list, 10).childrenCpu, c.childrenCpu, 1e-9) << c.what;
        EXPECT_EQ(row(list, 10).cpu, 0.0) << c.what << ": its own CPU stays its own";
    }
}

TEST(ProcessSampler, VanishedPidsDropOutOfTheBaseline) {
    Rig rig;
    rig.add({proc(1, 0), proc(2, 0)});
    rig.add({proc(1, 0)});
    rig.add({proc(1, 0), proc(2, 2000000000ull)});
    rig.sampler->sample();
    rig.now += 1;
    rig.sampler->sample();
    rig.now += 1;
    EXPECT_EQ(row(rig.sampler->sample(), 2).cpu, 0.0) << "a pid that returns has no baseline";
}

// A failed listing leaves the previous counters and their time stamp together, so the
// next good call measures over the interval its counters really span.
TEST(ProcessSampler, FailedListingReturnsNothingAndKeepsTheBaseline) {
    Rig rig;
    rig.add({proc(1, 0)});
    rig.addFailure();
    rig.add({proc(1, 1000000000)});
    rig.sampler->sample();
    rig.now += 1;
    EXPECT_TRUE(rig.sampler->sample().empty());
    rig.now += 1;
    EXPECT_DOUBLE_EQ(rig.sampler->sample().at(0).cpu, 50.0) << "1 s of CPU over the 2 s since the last read";
}

TEST(ProcessSampler, SystemRowsFromARecentFigure) {
    Rig rig;
    rig.switches.showSystem = true;
    rig.add({proc(1, 0, 100)},
            {RefusedProc{.pid = 1, .name = "dup", .cpuPercent = 90.0},
             RefusedProc{.pid = 50, .name = "root idle", .cpuPercent = 0.0, .residentBytes = 1},
             RefusedProc{.pid = 51, .name = "at threshold", .cpuPercent = 0.05},
             RefusedProc{.pid = 52, .name = "windowserver", .cpuPercent = 0.1, .residentBytes = 2097152}});
    const std::vector<ProcInfo> list = rig.sampler->sample();
    ASSERT_EQ(list.size(), 2u) << "idle rows and pids already listed are left out";
    EXPECT_EQ(
        list[0],
        (ProcInfo{.pid = 52, .name = "windowserver", .cpu = 0.1, .memBytes = 2097152, .isSystem = true}));
    EXPECT_EQ(list[1].pid, 1);
    EXPECT_FALSE(list[1].isSystem);
}

TEST(ProcessSampler, SystemRowsFromTickDeltas) {
    Rig rig;
    rig.switches.showSystem = true;
    const auto refused = [](int32_t pid, uint64_t ticks, uint64_t start = 0) {
        return RefusedProc{.pid = pid,
                           .startTime = start,
                           .name = "sys",
                           .cpuPercent = std::nullopt,
                           .cpuTicks = ticks,
                           .residentBytes = 4096};
    };
    rig.add({proc(1, 0)}, {refused(40, 0), refused(41, 0), refused(42, 0, 1)});
    rig.add({proc(1, 0)}, {refused(40, 250000000), refused(41, 400000), refused(42, 900000000, 2)});
    EXPECT_EQ(rig.sampler->sample().size(), 1u) << "no baseline yet: every refused row is at 0";
    rig.now += 1;
    const std::vector<ProcInfo> list = rig.sampler->sample();
    ASSERT_EQ(list.size(), 2u) << "0.04 % and a reused pid stay out";
    EXPECT_EQ(list[0], (ProcInfo{.pid = 40, .name = "sys", .cpu = 25.0, .memBytes = 4096, .isSystem = true}));
    EXPECT_EQ(list[1].pid, 1) << "own rows first among equal loads";
}

TEST(ProcessSampler, SystemRowsSwitchedOffAskNothingAndForgetTheirBaseline) {
    Rig rig;
    const RefusedProc a{.pid = 40, .name = "sys", .cpuPercent = std::nullopt, .cpuTicks = 0};
    const RefusedProc b{.pid = 40, .name = "sys", .cpuPercent = std::nullopt, .cpuTicks = 3000000000ull};
    rig.switches.showSystem = true;
    rig.add({proc(1, 0)}, {a});
    rig.add({proc(1, 0)}, {b});
    rig.add({proc(1, 0)}, {b});
    rig.sampler->sample();
    rig.switches.showSystem = false;
    rig.now += 1;
    EXPECT_EQ(rig.sampler->sample().size(), 1u);
    EXPECT_EQ(rig.source->refusedAsked, 1);
    rig.switches.showSystem = true;
    rig.now += 1;
    EXPECT_EQ(rig.sampler->sample().size(), 1u)
        << "the baseline from before the pause would spread 3 s of CPU over one interval";
}

TEST(ProcessSampler, PidZeroIsNeverListed) {
    Rig rig;
    rig.switches.showSystem = true;
    rig.add({proc(0, 0), proc(3, 0)}, {RefusedProc{.pid = 0, .name = "kernel", .cpuPercent = 50.0}});
    const std::vector<ProcInfo> list = rig.sampler->sample();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].pid, 3);
}

// Whether a pass measured its rates over an interval: the views show "measuring" until one has.
TEST(ProcessSampler, MeasuredOnlyWithABaselineAndAListing) {
    Rig rig;
    struct Step {
        bool listed;
        bool measured;
        const char* why;
    };
    const Step steps[] = {
        {true, false, "a first call has nothing to measure against"},
        {true, true, "the second measures over the interval"},
        {false, false, "a failed listing measures nothing"},
        {true, true, "the baseline from before the failure still holds"},
    };
    for (const Step& step : steps) {
        if (step.listed)
            rig.add({proc(1, 0)});
        else
            rig.addFailure();
    }
    for (const Step& step : steps) {
        rig.sampler->sample();
        rig.now += 1;
        EXPECT_EQ(rig.sampler->lastSampleMeasured(), step.measured) << step.why;
    }
}

// After a pause, priming puts the baseline at the start of the new interval: what the process
// did while no one watched stays out of the first figures.
TEST(ProcessSampler, PrimingStartsTheIntervalAfresh) {
    Rig rig;
    rig.add({proc(1, 0)});
    rig.add({proc(1, 100000000000ull)});  // 100 s of CPU during a long pause
    rig.add({proc(1, 100500000000ull)});  // then half a core for 1 s
    rig.sampler->sample();
    rig.now += 600;
    rig.sampler->prime();
    EXPECT_FALSE(rig.sampler->lastSampleMeasured());
    rig.now += 1;
    const ProcInfo p = rig.sampler->sample().at(0);
    EXPECT_DOUBLE_EQ(p.cpu, 50.0);
    EXPECT_TRUE(rig.sampler->lastSampleMeasured());
}

// A priming pass that cannot list the processes leaves no baseline behind; the old one would
// spread the whole pause over the next interval.
TEST(ProcessSampler, FailedPrimingLeavesNoStaleBaseline) {
    Rig rig;
    rig.add({proc(1, 0)});
    rig.addFailure();
    rig.add({proc(1, 100000000000ull)});
    rig.add({proc(1, 100500000000ull)});
    rig.sampler->sample();
    rig.now += 600;
    rig.sampler->prime();
    rig.now += 1;
    EXPECT_DOUBLE_EQ(rig.sampler->sample().at(0).cpu, 0.0);
    EXPECT_FALSE(rig.sampler->lastSampleMeasured()) << "this pass becomes the baseline";
    rig.now += 1;
    EXPECT_DOUBLE_EQ(rig.sampler->sample().at(0).cpu, 50.0);
    EXPECT_TRUE(rig.sampler->lastSampleMeasured());
}

TEST(SamplersTick, ProcessesOnlyWhileAViewShowsThem) {
    int asked = 0;
    Samplers samplers([&] {
        ++asked;
        return ProcessSampler::Switches{.collectGPU = false, .showSystem = false};
    });
    EXPECT_TRUE(samplers.tick([] { return false; }).processes.empty());
    const Snapshot s = samplers.tick([] { return true; });
    EXPECT_GT(asked, 0) << "the injected switches decide, not a settings store";
    bool self = false;
    for (const ProcInfo& p : s.processes)
        self |= p.pid == getpid();
    EXPECT_TRUE(self) << "this test process is among the sampled ones";
}

#ifdef __linux__
// Reads a background period apart keep the reader's files open; a pause longer than the
// window lets them go.
TEST(SamplersTick, KeptFilesOutliveShortPausesOnly) {
    const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(); };
    Samplers samplers([] { return ProcessSampler::Switches{.collectGPU = false, .showSystem = false}; });
    auto now = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    samplers.steadyNow = [&] { return now; };
    const auto before = openFiles();
    samplers.tick([] { return true; });
    const auto reading = openFiles();
    ASSERT_GT(reading, before) << "the reader keeps each process's files open";
    struct Step {
        std::chrono::milliseconds after;  // since the read
        bool kept;
    };
    for (const Step& step : {Step{std::chrono::seconds(10), true}, Step{Samplers::kKeepFilesFor, true},
                             Step{Samplers::kKeepFilesFor + std::chrono::milliseconds(1), false}}) {
        now = std::chrono::steady_clock::time_point(std::chrono::hours(1)) + step.after;
        samplers.tick([] { return false; });
        if (step.kept) {
            EXPECT_EQ(openFiles(), reading) << step.after.count() << " ms";
        } else {
            EXPECT_LT(openFiles(), reading) << step.after.count() << " ms";
        }
    }
}
#endif

TEST(SamplersTick, PrimingMakesTheFirstProcessListMeasured) {
    const auto quiet = [] { return ProcessSampler::Switches{.collectGPU = false, .showSystem = false}; };
    Samplers unprimed(quiet), primed(quiet);
    EXPECT_FALSE(unprimed.tick([] { return true; }).processesMeasured);
    primed.primeProcesses();
    const Snapshot s = primed.tick([] { return true; });
    EXPECT_FALSE(s.processes.empty());
    EXPECT_TRUE(s.processesMeasured);
}
