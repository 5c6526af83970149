// The samplers on the machine the tests run on: only what holds everywhere.
#include "platform/linux/file_util.h"
#include "samplers/samplers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace velmora;

namespace {

bool percent(double v) {
    return v >= 0 && v <= 100;
}

// A "Key:   123 kB" line of a /proc status file, in kB.
uint64_t kilobytes(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return 0;
    std::string_view rest = std::string_view(text).substr(at + key.size());
    rest = rest.substr(0, rest.find("kB"));
    return platform::linux_fs::parseUInt(rest).value_or(0);
}

}  // namespace

TEST(SystemLive, TwoTicksKeepTheInvariants) {
    Samplers samplers({});
    const auto never = [] { return false; };
    samplers.tick(never);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Snapshot s = samplers.tick(never);

    std::string meminfo;
    ASSERT_TRUE(platform::linux_fs::readFile("/proc/meminfo", meminfo));
    EXPECT_EQ(s.memTotal, kilobytes(meminfo, "MemTotal:") * 1024) << "memTotal is MemTotal";
    EXPECT_GT(s.memUsed, 0u);
    EXPECT_LE(s.memUsed, s.memTotal);
    EXPECT_LE(s.memCompressed, s.memUsed);
    EXPECT_TRUE(percent(s.memPercent));
    EXPECT_GT(s.diskTotal, 0u);
    EXPECT_LE(s.diskUsed, s.diskTotal);
    EXPECT_TRUE(percent(s.diskPercent));
    EXPECT_TRUE(percent(s.gpuPercent));
    for (double rate : {s.diskReadBps, s.diskWriteBps, s.netInBps, s.netOutBps})
        EXPECT_GE(rate, 0);
    for (const FanInfo& f : s.fans)
        EXPECT_GE(f.rpm, 0);
    for (const auto& t : {s.cpuTempC, s.gpuTempC, s.hottestC}) {
        if (t) {
            EXPECT_TRUE(*t > 0 && *t < 130);
        }
    }
    EXPECT_EQ(s.cpuTempC.has_value(), s.hottestC.has_value())
        << "the hottest stands in for a missing CPU sensor";
    if (s.battery.present) {
        EXPECT_GE(s.battery.percent, 0);
    } else {
        EXPECT_EQ(s.battery, BatteryInfo{});
    }
}

TEST(SystemLive, APinnedProcFileGivesFreshContent) {
    platform::linux_fs::PinnedFile status("/proc/self/status");
    std::string before, after;
    ASSERT_TRUE(status.read(before));
    std::vector<char> block(64 << 20);
    std::memset(block.data(), 1, block.size());  // touch it so it counts as resident
    ASSERT_TRUE(status.read(after));
    EXPECT_GT(kilobytes(after, "VmRSS:"), kilobytes(before, "VmRSS:") + 32 * 1024);
    EXPECT_EQ(block[12345], 1);
}
