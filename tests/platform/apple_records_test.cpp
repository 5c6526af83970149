// The decoding of the Apple kernel's process records, and the order in which the records of
// a process are asked, fed with recorded bytes.
#include "platform/apple_records.h"

#include "support/apple_records.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

using namespace velmora;
using namespace velmora::platform;
using test::RecordedProcess;

namespace {

constexpr uint32_t kRoot = 0;
constexpr uint32_t kWindowServerUser = 88;

// A usage record of `size` bytes: user 16, system 24, idle wakeups 32, interrupt wakeups
// 40, footprint 72, start 80, disk read 144, disk written 152, energy 336 (flavour 6).
std::string usageRecord(size_t size, uint64_t seed) {
    test::RecordBytes r(size);
    r.put<uint64_t>(16, seed + 1)
        .put<uint64_t>(24, seed + 2)
        .put<uint64_t>(32, seed + 3)
        .put<uint64_t>(40, seed + 4)
        .put<uint64_t>(72, seed + 5)
        .put<uint64_t>(80, seed + 6)
        .put<uint64_t>(144, seed + 7)
        .put<uint64_t>(152, seed + 8);
    if (size >= 344) r.put<uint64_t>(336, seed + 9);
    return r;
}

// Answers flavours from a table of records or errno values; logs the flavours asked.
struct FakeRusage : RusageCall {
    std::map<int, std::string> records;
    std::map<int, int> errors;
    std::vector<int> asked;
    int read(int32_t, int flavor, void* buffer) override {
        asked.push_back(flavor);
        if (const auto e = errors.find(flavor); e != errors.end()) return e->second;
        const auto& r = records.at(flavor);
        std::memcpy(buffer, r.data(), r.size());
        return 0;
    }
};

}  // namespace

TEST(AppleRecords, FullBsdRecordGivesEveryFact) {
    const auto f = decodeBsdInfo(
        test::bsdInfoRecord({"Google Chrome Helper (Renderer)", 501, 812, 3, 1700000000}, "Google Chrome H"));
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->name, "Google Chrome Helper (Renderer)") << "the long name before the command name";
    EXPECT_EQ(f->uid, 501u);
    EXPECT_EQ(f->ppid, 812);
    EXPECT_EQ(f->state, ProcRunState::sleeping);
    EXPECT_EQ(f->startEpochSec, 1700000000);

    const auto commOnly = decodeBsdInfo(test::bsdInfoRecord({"", 501}, "launchd"));
    ASSERT_TRUE(commOnly.has_value());
    EXPECT_EQ(commOnly->name, "launchd") << "an empty long name falls back to the command name";
}

TEST(AppleRecords, ShortRecordAndProcessTableEntry) {
    const auto brief =
        decodeShortBsdInfo(test::shortBsdInfoRecord({"WindowServer", kWindowServerUser, 1, 4}));
    ASSERT_TRUE(brief.has_value());
    EXPECT_EQ(brief->name, "WindowServer");
    EXPECT_EQ(brief->uid, kWindowServerUser);
    EXPECT_EQ(brief->ppid, 1);
    EXPECT_EQ(brief->state, ProcRunState::stopped);
    EXPECT_EQ(brief->startEpochSec, 0) << "the short record has no start time";

    const auto entry = decodeKinfoProc(test::kinfoRecord({"universalaccessd", kRoot, 1, 5, 1690000000}));
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, "universalaccessd") << "sixteen characters fill the field with its terminator";
    EXPECT_EQ(entry->uid, kRoot);
    EXPECT_EQ(entry->ppid, 1);
    EXPECT_EQ(entry->state, ProcRunState::zombie) << "the state is one byte here";
    EXPECT_EQ(entry->startEpochSec, 1690000000);
}

TEST(AppleRecords, WrongSizesAreRejected) {
    const std::string full = test::bsdInfoRecord({"x"});
    const std::string brief = test::shortBsdInfoRecord({"x"});
    const std::string entry = test::kinfoRecord({"x"});
    EXPECT_FALSE(decodeBsdInfo(full.substr(0, full.size() - 1)));
    EXPECT_FALSE(decodeBsdInfo(full + '\0'));
    EXPECT_FALSE(decodeBsdInfo(""));
    EXPECT_FALSE(decodeShortBsdInfo(brief.substr(0, brief.size() - 1)));
    EXPECT_FALSE(decodeShortBsdInfo(full)) << "a full record is not a short one";
    EXPECT_FALSE(decodeKinfoProc(entry.substr(0, entry.size() - 1)));
    EXPECT_FALSE(decodeKinfoProc(""));
}

TEST(AppleRecords, RunStates) {
    const struct {
        uint32_t status;
        ProcRunState state;
    } cases[] = {{0, ProcRunState::unknown},  {1, ProcRunState::idle},       {2, ProcRunState::running},
                 {3, ProcRunState::sleeping}, {4, ProcRunState::stopped},    {5, ProcRunState::zombie},
                 {6, ProcRunState::unknown},  {0x102, ProcRunState::unknown}};
    for (const auto& c : cases)
        EXPECT_EQ(appleRunState(c.status), c.state) << c.status;
}

TEST(AppleRecords, CutNamesAreCompletedFromTheExecutable) {
    const struct {
        const char* kernel;
        const char* path;
        const char* name;
    } cases[] = {
        {"universalaccess", "/System/Library/CoreServices/universalaccessd", "universalaccessd"},
        {"com.apple.Webkit", "/S/com.apple.WebKit.Networking", "com.apple.Webkit"},  // differs: not a cut
        {"launchd", "/sbin/launchd_helper", "launchd"},  // short names are never cut
        {"universalaccess", "", "universalaccess"},
        {"universalaccess", "universalaccessd", "universalaccessd"},
        {"universalaccess", "/x/universalaccess", "universalaccess"},
        {"universalaccess", "/x/universalaccessd/", "universalaccess"},
        {"", "/usr/libexec/x", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fullCommandName(c.kernel, c.path), c.name) << c.kernel << " " << c.path;
}

TEST(AppleRecords, OwnProcessesNeedOnlyTheFullRecord) {
    test::FakeAppleRecords records;
    records.full[700] = test::bsdInfoRecord({"Safari", 501, 1, 2, 1700000000});
    records.brief[700] = test::shortBsdInfoRecord({"wrong", 7});
    records.paths[700] = "/Applications/Safari.app/Contents/MacOS/Safari";
    const auto f = appleFacts(700, records);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->pid, 700);
    EXPECT_EQ(f->name, "Safari");
    EXPECT_EQ(f->uid, 501u);
    EXPECT_EQ(f->path, "/Applications/Safari.app/Contents/MacOS/Safari");
    EXPECT_EQ(records.calls, (std::vector<std::string>{"full", "path"}));
}

TEST(AppleRecords, OtherUsersProcessesFallBackInOrder) {
    struct Case {
        const char* what;
        bool brief, entry;
        std::vector<std::string> calls;
        const char* name;
        uint32_t uid;
        int64_t start;
    };
    const Case cases[] = {
        {"short record, start time from the entry",
         true,
         true,
         {"full", "short", "kinfo", "path"},
         "universalaccessd",
         kRoot,
         1690000000},
        {"short record alone", true, false, {"full", "short", "kinfo", "path"}, "universalaccessd", kRoot, 0},
        {"process-table entry alone",
         false,
         true,
         {"full", "short", "kinfo", "path"},
         "universalaccessd",
         kRoot,
         1690000000},
    };
    for (const Case& c : cases) {
        test::FakeAppleRecords records;
        const RecordedProcess p{"universalaccessd", kRoot, 1, 3, 1690000000};
        if (c.brief) records.brief[310] = test::shortBsdInfoRecord(p);
        if (c.entry) records.entries[310] = test::kinfoRecord({"universalaccessd", kRoot, 1, 3, 1690000000});
        records.paths[310] = "/System/Library/CoreServices/universalaccessd";
        const auto f = appleFacts(310, records);
        ASSERT_TRUE(f.has_value()) << c.what;
        EXPECT_EQ(records.calls, c.calls) << c.what;
        EXPECT_EQ(f->pid, 310) << c.what;
        EXPECT_EQ(f->name, c.name) << c.what;
        EXPECT_EQ(f->uid, c.uid) << c.what;
        EXPECT_EQ(f->ppid, 1) << c.what;
        EXPECT_EQ(f->state, ProcRunState::sleeping) << c.what;
        EXPECT_EQ(f->startEpochSec, c.start) << c.what;
        EXPECT_EQ(f->path, "/System/Library/CoreServices/universalaccessd") << c.what;
    }
}

TEST(AppleRecords, NoRecordMeansNoProcess) {
    test::FakeAppleRecords records;
    records.paths[42] = "/bin/zsh";
    EXPECT_FALSE(appleFacts(42, records).has_value());
    EXPECT_EQ(records.calls, (std::vector<std::string>{"full", "short", "kinfo"}))
        << "no path for a gone process";

    test::FakeAppleRecords malformed;
    malformed.full[42] = "short";
    malformed.brief[42] = std::string(63, '\0');
    malformed.entries[42] = test::kinfoRecord({"zsh", 501});
    const auto f = appleFacts(42, malformed);
    ASSERT_TRUE(f.has_value()) << "records of the wrong size count as refused";
    EXPECT_EQ(f->name, "zsh");
}

TEST(AppleRusage, RecordsOfBothFlavours) {
    ProcCounters c;
    ASSERT_TRUE(decodeRusage(usageRecord(160, 100), c));
    EXPECT_EQ(c.cpuTicks, 101u + 102u) << "user and system time";
    EXPECT_EQ(c.wakeups, 103u + 104u);
    EXPECT_EQ(c.memBytes, 105u);
    EXPECT_EQ(c.startTime, 106u);
    EXPECT_EQ(c.diskReadBytes, 107u);
    EXPECT_EQ(c.diskWriteBytes, 108u);
    EXPECT_FALSE(c.energyNJ.has_value()) << "flavour 2 has no energy counter";

    ASSERT_TRUE(decodeRusage(usageRecord(464, 200), c));
    EXPECT_EQ(c.cpuTicks, 201u + 202u);
    EXPECT_EQ(c.diskWriteBytes, 208u);
    EXPECT_EQ(c.energyNJ, 209u);

    ASSERT_TRUE(decodeRusage(usageRecord(160, 300), c));
    EXPECT_FALSE(c.energyNJ.has_value()) << "an earlier energy figure does not linger";

    ProcCounters untouched;
    untouched.memBytes = 7;
    EXPECT_FALSE(decodeRusage(usageRecord(159, 0), untouched));
    EXPECT_FALSE(decodeRusage(usageRecord(232, 0), untouched)) << "flavour 3's size is not read";
    EXPECT_EQ(untouched.memBytes, 7u);
}

TEST(AppleRusage, FlavourOrderAndRefusals) {
    struct Case {
        const char* what;
        bool newer;
        int v6Error;  // 0: answers
        int v2Error;
        bool ok;
        std::vector<int> asked;
        bool energy;
    };
    const Case cases[] = {
        {"newer system", true, 0, 0, true, {6}, true},
        {"older system", false, 0, 0, true, {2}, false},
        {"flavour 6 unknown", true, EINVAL, 0, true, {6, 2}, false},
        {"another user's process", true, EPERM, 0, false, {6}, false},
        {"refused by policy", true, EACCES, 0, false, {6}, false},
        {"gone", true, ESRCH, 0, false, {6}, false},
        {"older system, refused", false, 0, EPERM, false, {2}, false},
        {"both fail", true, ENOTSUP, ESRCH, false, {6, 2}, false},
    };
    for (const Case& c : cases) {
        FakeRusage call;
        call.records[6] = usageRecord(464, 10);
        call.records[2] = usageRecord(160, 20);
        if (c.v6Error) call.errors[6] = c.v6Error;
        if (c.v2Error) call.errors[2] = c.v2Error;
        ProcCounters out;
        EXPECT_EQ(readRusage(55, c.newer, call, out), c.ok) << c.what;
        EXPECT_EQ(call.asked, c.asked) << c.what;
        EXPECT_EQ(out.energyNJ.has_value(), c.energy) << c.what;
    }
}
