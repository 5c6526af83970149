#include "platform/linux/cpu_linux.h"
#include "platform/linux/file_util.h"
#include "samplers/cpu_sampler.h"

#include "support/test_util.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::platform;

TEST(LinuxCpuTicks, MapsKernelCategoriesToFour) {
    LinuxCpuTickSource source(test::fixture("proc/desktop"));
    std::vector<CpuCoreTicks> ticks;
    ASSERT_TRUE(source.read(ticks));
    ASSERT_EQ(ticks.size(), 2u) << "the aggregate line is not a core";
    // cpu1: user 1335 nice 50 system 200 idle 300000 iowait 700 irq 20 softirq 30 steal 40
    EXPECT_EQ(ticks[1].user, 1335u);
    EXPECT_EQ(ticks[1].nice, 50u);
    EXPECT_EQ(ticks[1].system, 200u + 20 + 30 + 40);
    EXPECT_EQ(ticks[1].idle, 300000u + 700);
}

TEST(LinuxCpuTicks, MissingOrMalformedStatFails) {
    std::vector<CpuCoreTicks> ticks;
    LinuxCpuTickSource missing("/nonexistent-proc-root");
    EXPECT_FALSE(missing.read(ticks));
    EXPECT_FALSE(LinuxCpuTickSource::parse("cpu0 1 2 x 4\n", ticks));
    EXPECT_FALSE(LinuxCpuTickSource::parse("cpu0 1 2\n", ticks)) << "fewer than four counters";
    EXPECT_FALSE(LinuxCpuTickSource::parse("", ticks));
    EXPECT_TRUE(LinuxCpuTickSource::parse("cpu0 1 2 3 4\ncpu1 5 6 7 8", ticks)) << "old kernels give four";
    EXPECT_EQ(ticks.size(), 2u);
}

TEST(LinuxCpuTicks, SamplerRePrimesWhenTheSetOfCoresChanges) {
    QTemporaryDir root;
    test::writeFile(root, "stat", "cpu0 100 0 100 1000\ncpu1 100 0 100 1000\n");
    CPUSampler cpu(std::make_unique<LinuxCpuTickSource>(root.path().toStdString()));
    EXPECT_EQ(cpu.sample().perCore.size(), 2u);
    test::writeFile(root, "stat", "cpu0 200 0 100 1100\n");  // cpu1 went offline
    const CpuSample s = cpu.sample();
    EXPECT_EQ(s.perCore, std::vector<double>{0.0}) << "re-primed";
    test::writeFile(root, "stat", "cpu0 300 0 100 1200\n");
    EXPECT_DOUBLE_EQ(cpu.sample().total, 50.0);

    // Same count, other cores: cpu1 went offline while cpu2, much busier, came online.
    test::writeFile(root, "stat", "cpu0 300 0 100 1200\ncpu1 100 0 100 1000\n");
    cpu.sample();
    test::writeFile(root, "stat", "cpu0 300 0 100 1300\ncpu2 90000 0 100 5000\n");
    EXPECT_EQ(cpu.sample().perCore, (std::vector<double>{0.0, 0.0})) << "re-primed, not cpu2 minus cpu1";
    test::writeFile(root, "stat", "cpu0 300 0 100 1400\ncpu2 90100 0 100 5100\n");
    EXPECT_EQ(cpu.sample().perCore, (std::vector<double>{0.0, 50.0}));
}

TEST(SysfsCoreLayout, IntelHybridGivesPerformanceThenEfficiency) {
    using Kind = CoreCluster::Kind;
    const CoreLayout layout = readSysfsCoreLayout(test::fixture("sys/intel_hybrid"));
    EXPECT_EQ(layout.logicalCores, 6);
    EXPECT_EQ(layout.clusters,
              (std::vector<CoreCluster>{{Kind::performance, {}, 4}, {Kind::efficiency, {}, 2}}));
    const CoreTopology t = CoreTopology::build(layout);
    ASSERT_EQ(t.kinds.size(), 6u);
    ASSERT_EQ(t.groups.size(), 2u);
    EXPECT_EQ(t.groups[0].kind, CoreKind::performance());
    EXPECT_EQ(t.groups[0].indices, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(t.groups[1].kind, CoreKind::efficiency());
    EXPECT_EQ(t.groups[1].indices, (std::vector<int>{4, 5}));
}

TEST(SysfsCoreLayout, ArmClustersByCapacity) {
    const CoreTopology t = CoreTopology::build(readSysfsCoreLayout(test::fixture("sys/arm_biglittle")));
    ASSERT_EQ(t.groups.size(), 2u);
    EXPECT_EQ(t.groups[0].kind, CoreKind::efficiency());
    EXPECT_EQ(t.groups[0].indices, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(t.groups[1].kind, CoreKind::performance());

    // Three tiers: the middle tier joins the biggest cores; only the smallest are efficiency.
    QTemporaryDir root;
    test::writeFile(root, "devices/system/cpu/online", "0-7\n");
    const int capacity[] = {160, 160, 160, 160, 512, 512, 512, 1024};
    for (int cpu = 0; cpu < 8; ++cpu)
        test::writeFile(root, QString("devices/system/cpu/cpu%1/cpu_capacity").arg(cpu),
                        QByteArray::number(capacity[cpu]) + "\n");
    using Kind = CoreCluster::Kind;
    EXPECT_EQ(readSysfsCoreLayout(root.path().toStdString()).clusters,
              (std::vector<CoreCluster>{{Kind::efficiency, {}, 4}, {Kind::performance, {}, 4}}));

    // A core without a capacity file leaves the machine without clusters.
    ASSERT_TRUE(QFile::remove(root.filePath("devices/system/cpu/cpu7/cpu_capacity")));
    const CoreLayout unknown = readSysfsCoreLayout(root.path().toStdString());
    EXPECT_TRUE(unknown.clusters.empty());
    EXPECT_EQ(unknown.logicalCores, 8);
}

TEST(SysfsCoreLayout, SingleLevelInterleavedClustersAndNoCpuFolder) {
    const CoreLayout single = readSysfsCoreLayout(test::fixture("sys/single_level"));
    EXPECT_TRUE(single.clusters.empty());
    CoreTopology t = CoreTopology::build(single);
    ASSERT_EQ(t.kinds.size(), 4u);
    EXPECT_EQ(t.groups.size(), 1u);
    EXPECT_EQ(t.kinds[0], CoreKind::other(QStringLiteral("코어")));

    QTemporaryDir root;  // clusters that are not one block each still map core by core
    test::writeFile(root, "devices/system/cpu/online", "0-6\n");
    test::writeFile(root, "devices/cpu_core/cpus", "0-1,4-5\n");
    test::writeFile(root, "devices/cpu_atom/cpus", "2-3\n");  // cpu6 is in neither list
    t = CoreTopology::build(readSysfsCoreLayout(root.path().toStdString()));
    ASSERT_EQ(t.groups.size(), 4u);
    EXPECT_EQ(t.groups[0].kind, CoreKind::performance());
    EXPECT_EQ(t.groups[1].kind, CoreKind::efficiency());
    EXPECT_EQ(t.groups[2].indices, (std::vector<int>{4, 5}));
    EXPECT_EQ(t.groups[3].kind, CoreKind::other(""));

    const CoreLayout none = readSysfsCoreLayout("/nonexistent-sys-root");
    EXPECT_TRUE(none.clusters.empty());
    EXPECT_FALSE(none.logicalCores.has_value());
}

TEST(LinuxFileUtil, CpuListsAndIntegers) {
    using namespace linux_fs;
    EXPECT_EQ(parseCpuList("0-3,8,10-11\n"), (std::vector<int>{0, 1, 2, 3, 8, 10, 11}));
    EXPECT_EQ(parseCpuList(""), std::vector<int>{});
    EXPECT_FALSE(parseCpuList("3-1"));
    EXPECT_FALSE(parseCpuList("0-2000000000")) << "absurd ranges are rejected, not expanded";
    EXPECT_FALSE(parseCpuList("a-b"));
    EXPECT_EQ(parseInt(" -42\n"), -42);
    EXPECT_FALSE(parseInt("42abc"));
    EXPECT_FALSE(parseInt(""));
    EXPECT_EQ(parseUInt("+7"), 7u);
    EXPECT_FALSE(parseUInt("-7"));
}

TEST(LinuxFileUtil, ReadFileStopsAtTheLimit) {
    QTemporaryDir root;
    test::writeFile(root, "big", QByteArray(100000, 'x'));
    std::string buf;
    ASSERT_TRUE(linux_fs::readFile(root.filePath("big").toStdString(), buf, 5000));
    EXPECT_EQ(buf.size(), 5000u);
    ASSERT_TRUE(linux_fs::readFile(root.filePath("big").toStdString(), buf));
    EXPECT_EQ(buf.size(), 100000u);
    EXPECT_FALSE(linux_fs::readFile(root.filePath("absent").toStdString(), buf));
    EXPECT_TRUE(buf.empty());
}

TEST(LinuxFileUtil, PinnedFileReadsWholeContentAsItChanges) {
    QTemporaryDir root;
    test::writeFile(root, "stat", QByteArray(10000, 'a') + "end");
    linux_fs::PinnedFile file(root.filePath("stat").toStdString());
    std::string buf;
    ASSERT_TRUE(file.read(buf));
    EXPECT_EQ(buf.size(), 10003u) << "grows past its first buffer";
    EXPECT_EQ(buf.substr(buf.size() - 3), "end");

    test::writeFile(root, "stat", "short");  // rewritten in place, as the kernel's files are
    ASSERT_TRUE(file.read(buf));
    EXPECT_EQ(buf, "short");
    test::writeFile(root, "stat", QByteArray(20000, 'b'));
    ASSERT_TRUE(file.read(buf));
    EXPECT_EQ(buf.size(), 20000u);

    // A proc file much larger than a page comes in whole: the same as reading to the end.
    std::string pinned, whole;
    pinned.reserve(1 << 20);
    whole.reserve(1 << 20);
    linux_fs::PinnedFile self("/proc/self/maps");
    ASSERT_TRUE(self.read(pinned, 1 << 20));
    ASSERT_TRUE(linux_fs::readFile("/proc/self/maps", whole, 1 << 20));
    EXPECT_GT(pinned.size(), 8192u);
    EXPECT_EQ(pinned, whole);
}
