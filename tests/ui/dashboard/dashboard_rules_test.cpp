#include "ui/dashboard/dashboard_rules.h"

#include "core/localizer.h"
#include "samplers/cpu_sampler.h"
#include "ui/common/system_colors.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora;
using namespace velmora::DashboardRules;

namespace {

enum class Shade { green, yellow, orange, red, grey };

Shade shadeOf(const QColor& c) {
    if (c == SystemColor::green()) return Shade::green;
    if (c == SystemColor::yellow()) return Shade::yellow;
    if (c == SystemColor::orange()) return Shade::orange;
    if (c == SystemColor::red()) return Shade::red;
    return Shade::grey;
}

}  // namespace

TEST(DashboardRules, LoadAndTemperatureColoursChangeAtTheirThresholds) {
    struct Case {
        double value;
        Shade load, hottest;
    };
    const Case cases[] = {
        {0, Shade::green, Shade::green},       {48.9, Shade::green, Shade::green},
        {49, Shade::yellow, Shade::green},     {55.9, Shade::yellow, Shade::green},
        {56, Shade::yellow, Shade::yellow},    {69.9, Shade::yellow, Shade::yellow},
        {70, Shade::orange, Shade::yellow},    {79.9, Shade::orange, Shade::yellow},
        {80, Shade::orange, Shade::orange},    {89.9, Shade::orange, Shade::orange},
        {90, Shade::red, Shade::orange},       {94.9, Shade::red, Shade::orange},
        {95, Shade::red, Shade::red},          {NAN, Shade::green, Shade::green},
        {INFINITY, Shade::green, Shade::green},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shadeOf(loadColor(c.value)), c.load) << c.value;
        if (std::isfinite(c.value)) {
            EXPECT_EQ(shadeOf(chipColor(c.value)), c.load) << c.value;
        }
        EXPECT_EQ(shadeOf(hottestColor(c.value)), c.hottest) << c.value;
    }
    EXPECT_EQ(shadeOf(chipColor(std::nullopt)), Shade::grey);
    EXPECT_EQ(shadeOf(chipColor(NAN)), Shade::grey) << "a broken reading counts as absent";
}

TEST(DashboardRules, DiskBadgeIsColouredFrom90And95Percent) {
    const std::pair<double, std::optional<Shade>> cases[] = {
        {0, std::nullopt},   {89.9, std::nullopt}, {90, Shade::orange}, {94.9, Shade::orange},
        {95, Shade::red},    {100, Shade::red},    {NAN, std::nullopt},
    };
    for (const auto& [percent, shade] : cases) {
        const auto color = diskBadgeColor(percent);
        ASSERT_EQ(color.has_value(), shade.has_value()) << percent;
        if (color) {
            EXPECT_EQ(shadeOf(*color), *shade) << percent;
        }
    }
}

TEST(DashboardRules, FanRatioPeriodAndColour) {
    struct Case {
        FanInfo fan;
        double ratio;
        bool stopped;
        int periodMs;
        Shade shade;
    };
    const Case cases[] = {
        {{.rpm = 0, .target = 0, .minRPM = 1000, .maxRPM = 5000}, 0, true, 2200, Shade::green},
        {{.rpm = 0, .target = 1200, .minRPM = 1000, .maxRPM = 5000}, 0, false, 2200, Shade::green},
        {{.rpm = 0.5, .target = 0.5, .minRPM = 0, .maxRPM = 0}, 0.02, true, 2200, Shade::green},
        {{.rpm = 2000, .target = 2000}, 0.02, false, 2200, Shade::green},  // range unknown
        {{.rpm = 2360, .minRPM = 1000, .maxRPM = 5000}, 0.34, false, 1200, Shade::green},
        {{.rpm = 2400, .minRPM = 1000, .maxRPM = 5000}, 0.35, false, 1200, Shade::yellow},
        {{.rpm = 3000, .minRPM = 1000, .maxRPM = 5000}, 0.5, false, 1200, Shade::orange},
        {{.rpm = 3680, .minRPM = 1000, .maxRPM = 5000}, 0.67, false, 600, Shade::orange},
        {{.rpm = 4400, .minRPM = 1000, .maxRPM = 5000}, 0.85, false, 600, Shade::red},
        {{.rpm = 9000, .minRPM = 1000, .maxRPM = 5000}, 1, false, 600, Shade::red},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fan.rpm);
        const double ratio = fanRatio(c.fan);
        EXPECT_NEAR(ratio, c.ratio, 1e-9);
        EXPECT_EQ(fanStopped(c.fan), c.stopped);
        EXPECT_EQ(fanPeriodMs(ratio), c.periodMs);
        EXPECT_EQ(shadeOf(fanColor(ratio)), c.shade);
    }
}

TEST(DashboardRules, CoreClustersFollowTheTopology) {
    Localizer loc({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); });
    CoreTopology hybrid;
    hybrid.groups = {{CoreKind::efficiency(), {0, 1}}, {CoreKind::performance(), {2, 3, 4, 5}}};
    CoreTopology single;
    single.groups = {{CoreKind::unnamed(), {0, 1, 2}}};
    CoreTopology named;  // a kind the system named itself keeps that name
    named.groups = {{CoreKind::other(QStringLiteral("Gold")), {0}}, {CoreKind::other(QString()), {1}}};

    struct Case {
        const char* what;
        const CoreTopology* topology;
        std::vector<double> perCore;
        std::vector<std::pair<QString, double>> clusters;  // title, average
        std::vector<size_t> sizes;
    };
    const Case cases[] = {
        {"hybrid", &hybrid, {10, 20, 50, 70, 90, 30},
         {{"Efficiency cores", 15}, {"Performance cores", 60}}, {2, 4}},
        {"one kind", &single, {100, 0, 50}, {{"Cores", 50}}, {3}},
        {"more cores than the topology knew", &single, {10, 10, 10, 40}, {{"Cores", 10}, {"Cores", 40}}, {3, 1}},
        {"kinds with a name and without", &named, {10, 30}, {{"Gold", 10}, {"Cores", 30}}, {1, 1}},
        {"fewer cores: empty clusters are left out", &hybrid, {80, 40}, {{"Efficiency cores", 60}}, {2}},
        {"no per-core figures", &hybrid, {}, {}, {}},
        {"a broken figure reads as idle", &single, {NAN, 30, 30}, {{"Cores", 20}}, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = coreClusters(*c.topology, c.perCore, loc);
        ASSERT_EQ(got.size(), c.clusters.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].title, c.clusters[i].first);
            EXPECT_NEAR(got[i].average, c.clusters[i].second, 1e-9);
            EXPECT_EQ(got[i].loads.size(), c.sizes[i]);
        }
    }
}
