#include "app/launch_env.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(LaunchRequests, OnlyTheExactValueOneOpensAWindow) {
    QProcessEnvironment env;
    EXPECT_EQ(parseLaunchRequests(env), LaunchRequests{}) << "nothing set";

    env.insert("VL_OPEN_DASHBOARD", "1");
    env.insert("VL_OPEN_STORAGE", "true");
    env.insert("VL_OPEN_SETTINGS", "1");
    EXPECT_EQ(parseLaunchRequests(env), (LaunchRequests{true, false, true, {}}));

    for (const char* value : {"true", "yes", " 1", "1 ", "01", "2", "", "TRUE"}) {
        QProcessEnvironment e;
        e.insert("VL_OPEN_DASHBOARD", value);
        e.insert("VL_OPEN_STORAGE", value);
        e.insert("VL_OPEN_SETTINGS", value);
        EXPECT_EQ(parseLaunchRequests(e), LaunchRequests{}) << '"' << value << '"';
    }
    QProcessEnvironment storage;
    storage.insert("VL_OPEN_STORAGE", "1");
    EXPECT_EQ(parseLaunchRequests(storage), (LaunchRequests{false, true, false, {}}));
}

TEST(LaunchRequests, AnAnalysisWindowIsNamedByItsMetric) {
    QProcessEnvironment env;
    env.insert("VL_OPEN_ANALYSIS", "network");
    EXPECT_EQ(parseLaunchRequests(env).openAnalysis, "network");
}

TEST(LaunchRequests, ADetailWindowIsNamedByAProcessIdAboveZero) {
    const struct {
        const char* value;
        int32_t pid;
    } cases[] = {
        {"1", 1},           {"4242", 4242},       {"2147483647", 2147483647},  // the largest pid type value
        {"0", 0},           {"-5", 0},            {"+5", 0},
        {" 5", 0},          {"5 ", 0},            {"5x", 0},
        {"", 0},            {"2147483648", 0},    {"\u0665", 0},  // out of range; an Arabic-Indic digit
    };
    for (const auto& c : cases) {
        QProcessEnvironment env;
        env.insert("VL_OPEN_DETAIL", QString::fromUtf8(c.value));
        EXPECT_EQ(parseLaunchRequests(env).openDetail, c.pid) << '"' << c.value << '"';
    }
    EXPECT_EQ(parseLaunchRequests(QProcessEnvironment()).openDetail, 0) << "unset";
}
