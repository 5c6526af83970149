#include "engine/process_demand.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace velmora;

TEST(ProcessDemand, ActiveWhileAnyTokenLivesAndReportsOnlySwitches) {
    std::vector<bool> heard;
    ProcessDemand demand([&](bool active) { heard.push_back(active); });
    EXPECT_FALSE(demand.active());
    {
        ProcessDemand::Token a = demand.acquire();
        ProcessDemand::Token b = demand.acquire();
        EXPECT_TRUE(demand.active());
        EXPECT_EQ(demand.holders(), 2);
        a.release();
        a.release();  // twice is once
        EXPECT_TRUE(demand.active());
        EXPECT_EQ(demand.holders(), 1);
    }
    EXPECT_FALSE(demand.active());
    EXPECT_EQ(heard, (std::vector<bool>{true, false})) << "one call per switch, not per token";
}

TEST(ProcessDemand, MovedTokensReleaseOnce) {
    ProcessDemand demand({});
    ProcessDemand::Token a = demand.acquire();
    ProcessDemand::Token b = std::move(a);
    EXPECT_FALSE(a.held());
    EXPECT_TRUE(b.held());
    EXPECT_EQ(demand.holders(), 1);
    ProcessDemand::Token c = demand.acquire();
    c = std::move(b);  // the token c held is given back, b's moves over
    EXPECT_EQ(demand.holders(), 1);
    c = ProcessDemand::Token();
    EXPECT_FALSE(demand.active());
}

TEST(ProcessDemand, TokensMayOutliveTheDemand) {
    std::optional<ProcessDemand::Token> token;
    {
        ProcessDemand demand({});
        token.emplace(demand.acquire());
    }
    EXPECT_FALSE(token->held());
    token.reset();  // releasing into a demand that is gone does nothing
}
