#include "inspect/proc_inspector.h"
#include "inspect/open_files_fetcher.h"

#include "core/localizer.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// A door the fake's calls wait at while it is shut.
class Gate {
  public:
    void shut() {
        std::lock_guard lock(m_);
        open_ = false;
    }
    void open() {
        {
            std::lock_guard lock(m_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void pass() {
        std::unique_lock lock(m_);
        ++waiting_;
        cv_.wait(lock, [&] { return open_; });
        --waiting_;
    }
    int waiting() {
        std::lock_guard lock(m_);
        return waiting_;
    }

  private:
    int waiting_ = 0;
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = true;
};

// Answers tagged with the pid they were asked for, and counts the calls.
struct FakeState {
    Gate all;
    Gate mem;
    Gate files;
    std::mutex m;
    std::map<std::string, std::map<int32_t, int>> calls;
    std::set<int32_t> vanished;
    std::set<int32_t> withoutSockets;

    void count(const char* what, int32_t pid) {
        std::lock_guard lock(m);
        ++calls[what][pid];
    }
    int callsOf(const char* what, int32_t pid) {
        std::lock_guard lock(m);
        return calls[what][pid];
    }
};

class FakeCollector : public ProcessCollector {
  public:
    explicit FakeCollector(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
    std::optional<ProcessStaticInfo> fetchStatic(int32_t pid) override {
        s_->all.pass();
        s_->count("static", pid);
        ProcessStaticInfo info;
        info.pid = pid;
        info.name = QStringLiteral("proc%1").arg(pid);
        info.statusKey = "psSleeping";
        return info;
    }
    std::optional<ProcessLiveInfo> fetchLive(int32_t pid) override {
        s_->all.pass();
        s_->count("live", pid);
        std::lock_guard lock(s_->m);
        if (s_->vanished.contains(pid)) return std::nullopt;
        return ProcessLiveInfo{pid, 0, 0, 0};
    }
    std::optional<MemoryFootprint> memory(int32_t pid) override {
        s_->all.pass();
        s_->mem.pass();
        s_->count("mem", pid);
        return MemoryFootprint{static_cast<uint64_t>(pid), {}};
    }
    std::vector<NetConnection> connections(int32_t pid) override {
        s_->all.pass();
        s_->count("conns", pid);
        std::lock_guard lock(s_->m);
        if (s_->withoutSockets.contains(pid)) return {};
        NetConnection c;
        c.localAddr = QString::number(pid);
        return {c};
    }
    std::optional<OpenFilesResult> openFiles(int32_t pid) override {
        s_->all.pass();
        s_->files.pass();
        s_->count("files", pid);
        OpenFilesResult r;
        r.totalCount = pid;
        return r;
    }

  private:
    std::shared_ptr<FakeState> s_;
};

struct OpenOnExit {
    std::shared_ptr<FakeState> state;
    ~OpenOnExit() {
        state->all.open();
        state->mem.open();
        state->files.open();
    }
};

bool showsEverything(const ProcInspector& in, int32_t pid) {
    return in.staticInfo() && in.staticInfo()->pid == pid && in.live() && in.live()->threads == pid &&
           in.mem() && in.mem()->totalBytes == static_cast<uint64_t>(pid) && !in.conns().empty() &&
           in.conns().front().localAddr == QString::number(pid) && in.files() &&
           in.files()->totalCount == pid;
}

}  // namespace

TEST(ProcInspector, SelectLoadsEverythingOnceAndSameSelectionDoesNothing) {
    auto state = std::make_shared<FakeState>();
    ProcInspector in(std::make_unique<FakeCollector>(state), std::make_unique<FakeCollector>(state), 1h);
    in.select(0);
    EXPECT_FALSE(in.following()) << "pid 0 on a fresh inspector is already selected";

    in.select(100);
    EXPECT_TRUE(in.following());
    ASSERT_TRUE(test::waitUntil([&] { return showsEverything(in, 100); }));
    EXPECT_EQ(in.staticInfo()->statusText, L("psSleeping")) << "localized on arrival";
    EXPECT_FALSE(in.memLoading() || in.connsLoading() || in.filesLoading());

    in.select(100);
    in.stop();
    EXPECT_FALSE(in.following());
    in.select(100);
    EXPECT_FALSE(in.following()) << "the same pid after stop() does nothing either";
    EXPECT_TRUE(showsEverything(in, 100)) << "stop() keeps what was gathered";

    in.select(200);  // everything for 100 was queued before this
    ASSERT_TRUE(test::waitUntil([&] { return showsEverything(in, 200); }));
    for (const char* what : {"static", "live", "mem", "conns", "files"})
        EXPECT_EQ(state->callsOf(what, 100), 1) << what;
}

TEST(ProcInspector, ResultsForASupersededPidAreDropped) {
    auto state = std::make_shared<FakeState>();
    ProcInspector in(std::make_unique<FakeCollector>(state), std::make_unique<FakeCollector>(state), 1h);
    OpenOnExit guard{state};
    state->all.shut();
    in.select(100);
    in.select(200);
    EXPECT_FALSE(in.staticInfo().has_value()) << "a new selection clears what was shown";
    std::vector<int32_t> seen;
    QObject::connect(&in, &ProcInspector::changed, [&] {
        if (in.staticInfo()) seen.push_back(in.staticInfo()->pid);
        if (in.live()) seen.push_back(in.live()->threads);
        if (in.mem()) seen.push_back(static_cast<int32_t>(in.mem()->totalBytes));
        if (in.files()) seen.push_back(in.files()->totalCount);
    });
    state->all.open();
    ASSERT_TRUE(test::waitUntil([&] { return showsEverything(in, 200); }));
    EXPECT_EQ(state->callsOf("static", 100), 1) << "the old pid's work still ran";
    for (int32_t pid : seen)
        EXPECT_EQ(pid, 200) << "but its results never showed";
}

TEST(ProcInspector, RefreshesLiveEveryTickAndTheCostlyPartsEveryThird) {
    auto state = std::make_shared<FakeState>();
    ProcInspector in(std::make_unique<FakeCollector>(state), std::make_unique<FakeCollector>(state), 5ms);
    in.select(100);
    ASSERT_TRUE(test::waitUntil([&] { return in.tickCount() >= 7; }));
    const int ticks = in.tickCount();
    in.stop();
    EXPECT_EQ(in.tickCount(), 0);
    EXPECT_TRUE(test::waitUntil([&] {
        return state->callsOf("live", 100) == 1 + ticks && state->callsOf("conns", 100) == 1 + ticks &&
               state->callsOf("mem", 100) == 1 + ticks / 3 && state->callsOf("files", 100) == 1 + ticks / 3;
    })) << "after "
        << ticks << " ticks: live " << state->callsOf("live", 100) << ", mem " << state->callsOf("mem", 100);
    EXPECT_EQ(state->callsOf("static", 100), 1) << "fixed facts load once per selection";
}

TEST(ProcInspector, LoadingFlagsOnlyWhileNothingIsShown) {
    auto state = std::make_shared<FakeState>();
    ProcInspector in(std::make_unique<FakeCollector>(state), std::make_unique<FakeCollector>(state), 20ms);
    OpenOnExit guard{state};  // a failed assertion must not leave the worker waiting
    state->mem.shut();
    in.select(100);
    EXPECT_TRUE(in.memLoading());
    EXPECT_TRUE(in.connsLoading());
    EXPECT_TRUE(in.filesLoading());
    // The footprint holds up the serial worker; what was queued before it still arrives.
    ASSERT_TRUE(test::waitUntil([&] { return in.staticInfo() && in.live(); }));
    EXPECT_TRUE(in.memLoading());
    EXPECT_TRUE(in.connsLoading());
    state->mem.open();
    ASSERT_TRUE(test::waitUntil([&] { return showsEverything(in, 100); }));
    EXPECT_FALSE(in.memLoading() || in.connsLoading() || in.filesLoading());

    // The refresh at the third tick hangs in the footprint, with data on screen.
    state->mem.shut();
    ASSERT_TRUE(test::waitUntil([&] { return state->callsOf("conns", 100) >= 4; }));
    EXPECT_EQ(state->callsOf("mem", 100), 1);
    EXPECT_FALSE(in.memLoading());
    EXPECT_FALSE(in.filesLoading());
    EXPECT_TRUE(in.mem().has_value());
    in.stop();
}

TEST(ProcInspector, ASlowOpenFileScanDoesNotHoldUpTheLiveRefresh) {
    auto state = std::make_shared<FakeState>();
    ProcInspector in(std::make_unique<FakeCollector>(state), std::make_unique<FakeCollector>(state), 10ms);
    OpenOnExit guard{state};
    state->files.shut();
    in.select(100);
    ASSERT_TRUE(test::waitUntil([&] { return state->callsOf("live", 100) >= 4; }))
        << "live counters keep coming while the scan hangs";
    EXPECT_TRUE(in.filesLoading());
    EXPECT_TRUE(in.mem().has_value() && in.live().has_value());
    state->files.open();
    ASSERT_TRUE(test::waitUntil([&] { return showsEverything(in, 100); }));
    EXPECT_FALSE(in.filesLoading());
    in.stop();
}

TEST(ProcInspector, AnEmptyConnectionListShowsLoadingOnEachRefresh) {
    auto state = std::make_shared<FakeState>();
    state->withoutSockets.insert(100);
    // Long enough for the first answer to arrive before the first refresh, even under a
    // thread checker; the refresh would raise the flag again.
    ProcInspector in(std::make_unique<FakeCollector>(state), std::make_unique<FakeCollector>(state), 500ms);
    OpenOnExit guard{state};
    in.select(100);
    ASSERT_TRUE(test::waitUntil([&] { return state->callsOf("conns", 100) == 1 && !in.connsLoading(); }));
    state->all.shut();
    ASSERT_TRUE(test::waitUntil([&] { return in.tickCount() >= 1; }));
    EXPECT_TRUE(in.connsLoading()) << "the list is still empty";
    in.stop();
}

TEST(ProcInspector, AVanishedProcessLosesItsLiveCountersButKeepsItsFacts) {
    auto state = std::make_shared<FakeState>();
    ProcInspector in(std::make_unique<FakeCollector>(state), std::make_unique<FakeCollector>(state), 10ms);
    in.select(100);
    ASSERT_TRUE(test::waitUntil([&] { return showsEverything(in, 100); }));
    {
        std::lock_guard lock(state->m);
        state->vanished.insert(100);
        state->withoutSockets.insert(100);
    }
    ASSERT_TRUE(test::waitUntil([&] { return !in.live().has_value() && in.conns().empty(); }));
    EXPECT_TRUE(in.staticInfo().has_value());
    in.stop();
}

TEST(ProcInspector, GoingAwayWithWorkInFlightIsSafe) {
    auto state = std::make_shared<FakeState>();
    auto in = std::make_unique<ProcInspector>(std::make_unique<FakeCollector>(state),
                                              std::make_unique<FakeCollector>(state), 1ms);
    state->all.shut();
    in->select(100);
    // The worker's first call and the open-file scan, each on its own thread.
    ASSERT_TRUE(test::waitUntil([&] { return state->all.waiting() == 2; })) << "both calls are under way";
    state->all.open();
    in.reset();  // waits for the calls under way; what they post is never delivered
    test::waitUntil([] { return false; }, 30ms);
    EXPECT_EQ(state->callsOf("static", 100), 1);
    EXPECT_GE(state->callsOf("files", 100), 1);
}

TEST(OpenFilesFetcher, CompletesOnTheGuiThreadAndNotAfterItIsGone) {
    auto state = std::make_shared<FakeState>();
    OpenFilesFetcher fetcher(std::make_unique<FakeCollector>(state));
    std::optional<OpenFilesResult> got;
    QThread* on = nullptr;
    fetcher.fetch(321, [&](std::optional<OpenFilesResult> r) {
        got = std::move(r);
        on = QThread::currentThread();
    });
    ASSERT_TRUE(test::waitUntil([&] { return got.has_value(); }));
    EXPECT_EQ(got->totalCount, 321);
    EXPECT_EQ(on, QThread::currentThread());

    bool called = false;
    {
        OpenFilesFetcher doomed(std::make_unique<FakeCollector>(state));
        doomed.fetch(322, [&](std::optional<OpenFilesResult>) { called = true; });
    }  // gone before its answer could be delivered
    test::waitUntil([] { return false; }, 30ms);
    EXPECT_FALSE(called);
}
