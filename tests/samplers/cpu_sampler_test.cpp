#include "samplers/cpu_sampler.h"

#include <gtest/gtest.h>

#include <QSet>

#include <map>

using namespace velmora;
using platform::CpuCoreTicks;

namespace {

class ScriptedTicks : public platform::CpuTickSource {
  public:
    std::vector<std::vector<CpuCoreTicks>> script;  // an empty entry means a failed read
    size_t next = 0;
    bool read(std::vector<CpuCoreTicks>& out) override {
        const auto& r = script.at(next++);
        if (r.empty()) return false;
        out = r;
        return true;
    }
};

class Facts : public platform::TopologyFacts {
  public:
    std::map<std::string, int64_t> ints;
    std::map<std::string, std::string> strings;
    int asked = 0;
    std::optional<int64_t> intValue(const std::string& n) override {
        ++asked;
        auto it = ints.find(n);
        return it == ints.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<std::string> stringValue(const std::string& n) override {
        auto it = strings.find(n);
        return it == strings.end() ? std::nullopt : std::optional(it->second);
    }
};

}  // namespace

TEST(CpuSampler, FirstCallPrimesWithZeros) {
    CPUSampler cpu;
    const std::vector<CpuCoreTicks> ticks(4, CpuCoreTicks{100, 50, 1000, 0});
    const CpuSample s = cpu.update(&ticks);
    EXPECT_EQ(s.total, 0);
    EXPECT_EQ(s.perCore, std::vector<double>(4, 0.0));
}

TEST(CpuSampler, BusyShareFromDeltasAndIdleCoresWithoutMovement) {
    CPUSampler cpu;
    std::vector<CpuCoreTicks> a = {{100, 100, 100, 100}, {0, 0, 0, 0}};
    std::vector<CpuCoreTicks> b = {{130, 110, 150, 110}, {0, 0, 0, 0}};
    cpu.update(&a);
    const CpuSample s = cpu.update(&b);
    ASSERT_EQ(s.perCore.size(), 2u);
    EXPECT_DOUBLE_EQ(s.perCore[0], 50.0);  // busy 30+10+10 of 100
    EXPECT_EQ(s.perCore[1], 0.0) << "no movement at all is 0, not a division error";
    EXPECT_DOUBLE_EQ(s.total, 25.0);
}

TEST(CpuSampler, WrappedCountersGiveTheSmallTrueDifference) {
    CPUSampler cpu;
    std::vector<CpuCoreTicks> a = {{0xFFFFFFF0u, 0, 0xFFFFFFFAu, 0}};
    std::vector<CpuCoreTicks> b = {{0x00000010u, 0, 0x00000006u, 0}};  // +32 user, +12 idle
    cpu.update(&a);
    const CpuSample s = cpu.update(&b);
    EXPECT_NEAR(s.perCore.at(0), 32.0 / 44.0 * 100.0, 1e-9);
}

TEST(CpuSampler, FailedReadKeepsThePreviousTicks) {
    auto source = std::make_unique<ScriptedTicks>();
    source->script = {{{10, 0, 10, 0}}, {}, {{20, 0, 20, 0}}};
    CPUSampler cpu(std::move(source));
    cpu.sample();
    const CpuSample failed = cpu.sample();
    EXPECT_EQ(failed.total, 0);
    EXPECT_TRUE(failed.perCore.empty());
    const CpuSample s = cpu.sample();
    EXPECT_DOUBLE_EQ(s.perCore.at(0), 50.0) << "deltas against the last good read";
}

TEST(CpuSampler, ChangedCoreCountPrimesAgain) {
    CPUSampler cpu;
    std::vector<CpuCoreTicks> two(2, CpuCoreTicks{10, 10, 10, 10});
    std::vector<CpuCoreTicks> three(3, CpuCoreTicks{20, 20, 20, 20});
    cpu.update(&two);
    const CpuSample s = cpu.update(&three);
    EXPECT_EQ(s.perCore, std::vector<double>(3, 0.0));
    std::vector<CpuCoreTicks> later(3, CpuCoreTicks{30, 20, 30, 20});
    EXPECT_DOUBLE_EQ(cpu.update(&later).total, 50.0);
}

TEST(CoreTopologyBuild, WalksLevelsFromTheHighestDown) {
    Facts f;
    f.ints = {{"hw.nperflevels", 2}, {"hw.perflevel0.logicalcpu", 4}, {"hw.perflevel1.logicalcpu", 4}};
    f.strings = {{"hw.perflevel0.name", "Performance"}, {"hw.perflevel1.name", "Efficiency"}};
    const CoreTopology t = CoreTopology::build(platform::coreLayoutFromFacts(f));
    ASSERT_EQ(t.kinds.size(), 8u);
    EXPECT_EQ(t.kinds[0], CoreKind::efficiency());
    EXPECT_EQ(t.kinds[7], CoreKind::performance());
    ASSERT_EQ(t.groups.size(), 2u);
    EXPECT_EQ(t.groups[0].kind, CoreKind::efficiency());
    EXPECT_EQ(t.groups[0].indices, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(t.groups[1].kind, CoreKind::performance());
    EXPECT_EQ(t.groups[1].indices, (std::vector<int>{4, 5, 6, 7}));
}

TEST(CoreTopologyBuild, KindsKeyASetAsTheyCompare) {
    // A grid of cores grouped by kind keys on the kind; a name only matters for `other`.
    CoreKind namedPerformance = CoreKind::performance();
    namedPerformance.name = QStringLiteral("P-cluster");
    const QSet<CoreKind> kinds{CoreKind::performance(), namedPerformance,     CoreKind::efficiency(),
                               CoreKind::other("A"),    CoreKind::other("A"), CoreKind::other("B")};
    EXPECT_EQ(kinds.size(), 4);
    EXPECT_TRUE(kinds.contains(CoreKind::other("B")));
    EXPECT_FALSE(kinds.contains(CoreKind::other("a")));
}

TEST(CoreTopologyBuild, UnknownNamesAndFallbacks) {
    Facts f;
    f.ints = {{"hw.nperflevels", 2}, {"hw.perflevel0.logicalcpu", 2}, {"hw.perflevel1.logicalcpu", 1}};
    f.strings = {{"hw.perflevel0.name", "Turbo PERF"}, {"hw.perflevel1.name", "Mid Cluster"}};
    CoreTopology t = CoreTopology::build(platform::coreLayoutFromFacts(f));
    ASSERT_EQ(t.kinds.size(), 3u);
    EXPECT_EQ(t.kinds[0], CoreKind::other("Mid Cluster")) << "the name is kept as read";
    EXPECT_NE(t.kinds[0], CoreKind::other("mid cluster"));
    EXPECT_EQ(t.kinds[1], CoreKind::performance()) << "matching ignores letter case";

    Facts single;
    single.ints = {{"hw.logicalcpu", 8}};
    t = CoreTopology::build(platform::coreLayoutFromFacts(single));
    ASSERT_EQ(t.kinds.size(), 8u);
    EXPECT_EQ(t.kinds[0], CoreKind::other(QStringLiteral("코어")));
    ASSERT_EQ(t.groups.size(), 1u);
    EXPECT_EQ(t.groups[0].indices.size(), 8u);

    Facts zeroCores;  // levels that report no cores fall back as well
    zeroCores.ints = {{"hw.nperflevels", 2}};
    t = CoreTopology::build(platform::coreLayoutFromFacts(zeroCores));
    EXPECT_EQ(t.kinds.size(), 1u);

    Facts absurd;  // a corrupt count never turns into a giant allocation
    absurd.ints = {{"hw.logicalcpu", int64_t(1) << 40}};
    EXPECT_LE(CoreTopology::build(platform::coreLayoutFromFacts(absurd)).kinds.size(), 8192u);
}

TEST(CoreLayoutFromFacts, LevelsBecomeClustersInLogicalOrder) {
    using Kind = platform::CoreCluster::Kind;
    Facts f;
    f.ints = {{"hw.nperflevels", 3},
              {"hw.logicalcpu", 10},
              {"hw.perflevel0.logicalcpu", 2},
              {"hw.perflevel1.logicalcpu", 4},
              {"hw.perflevel2.logicalcpu", 4}};
    f.strings = {{"hw.perflevel0.name", "Performance"}, {"hw.perflevel1.name", "EFFICIENCY"}};
    const platform::CoreLayout layout = platform::coreLayoutFromFacts(f);
    EXPECT_EQ(layout.logicalCores, 10);
    EXPECT_EQ(layout.clusters, (std::vector<platform::CoreCluster>{{Kind::other, "", 4},
                                                                   {Kind::efficiency, "EFFICIENCY", 4},
                                                                   {Kind::performance, "Performance", 2}}))
        << "the highest level first; a level without a name is an unnamed other cluster";

    Facts one;  // a single level tells no kinds apart
    one.ints = {{"hw.nperflevels", 1}, {"hw.perflevel0.logicalcpu", 8}};
    EXPECT_TRUE(platform::coreLayoutFromFacts(one).clusters.empty());
    EXPECT_FALSE(platform::coreLayoutFromFacts(one).logicalCores.has_value());

    Facts corrupt;  // a corrupt level count is not walked level by level
    corrupt.ints = {{"hw.nperflevels", int64_t(1) << 40}};
    EXPECT_LE(platform::coreLayoutFromFacts(corrupt).clusters.size(), 64u);
    EXPECT_LE(corrupt.asked, 2 + 64);
}

TEST(CoreTopologyBuild, FromATypedLayout) {
    using Kind = platform::CoreCluster::Kind;
    platform::CoreLayout layout;
    layout.clusters = {{Kind::performance, "P", 2},
                       {Kind::efficiency, "E", 3},
                       {Kind::other, "LP", 1},
                       {Kind::performance, {}, 1}};
    CoreTopology t = CoreTopology::build(layout);
    ASSERT_EQ(t.kinds.size(), 7u);
    ASSERT_EQ(t.groups.size(), 4u);
    EXPECT_EQ(t.groups[0].kind, CoreKind::performance());
    EXPECT_EQ(t.groups[1].indices, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(t.groups[2].kind, CoreKind::other("LP")) << "an other cluster keeps its name";
    EXPECT_EQ(t.groups[3].indices, std::vector<int>{6});

    layout.clusters = {{Kind::efficiency, {}, -3},
                       {Kind::performance, {}, int64_t(1) << 40},
                       {Kind::efficiency, {}, int64_t(1) << 40}};
    t = CoreTopology::build(layout);
    EXPECT_EQ(t.kinds.size(), 8192u) << "negative counts add nothing; all clusters together stay bounded";
    EXPECT_EQ(t.groups.size(), 1u);

    layout = {};
    layout.logicalCores = 6;
    t = CoreTopology::build(layout);
    EXPECT_EQ(t.kinds, std::vector<CoreKind>(6, CoreKind::other(QStringLiteral("코어"))));
    EXPECT_EQ(CoreTopology::build({}).kinds.size(), 1u) << "nothing known: one core";
}
