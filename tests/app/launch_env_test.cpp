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
