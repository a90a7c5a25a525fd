#include "helperd/LeakGuard.h"

#include "helperd/GuardRules.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A guard whose nftables batches are noted, and refused while they contain `refused`.
struct Recorded {
    std::vector<std::string> batches;
    std::vector<std::string> refused;
    LeakGuard guard{[this](const std::string& commands) {
        batches.push_back(commands);
        for (const auto& text : refused)
            if (commands.find(text) != std::string::npos)
                return Result<void>::failure("refused: " + text);
        return Result<void>::success();
    }};
};

const std::string shutOut = GuardRules::allowLocalNetwork(false);

TEST(LeakGuard, ALocalNetworkThatCannotBeShutOutGetsAFreshTableInOneTransaction) {
    Recorded nft;
    ASSERT_TRUE(nft.guard.engage());
    ASSERT_TRUE(nft.guard.allowTunnel("tun3"));
    ASSERT_TRUE(nft.guard.allowLocalNetwork(true));

    nft.refused = {shutOut};
    nft.batches.clear();
    EXPECT_TRUE(nft.guard.allowLocalNetwork(false));
    ASSERT_EQ(nft.batches.size(), 2u);
    // The old table goes and the new one, without the ranges and with the run's tunnel,
    // comes in the same batch: nothing passes in between.
    const std::string& anew = nft.batches[1];
    EXPECT_EQ(anew.rfind(GuardRules::remove(), 0), 0u) << anew;
    EXPECT_NE(anew.find(GuardRules::create(LeakGuard::transportMark)), std::string::npos);
    EXPECT_NE(anew.find(*GuardRules::allowTunnel("tun3")), std::string::npos);
    EXPECT_EQ(anew.find("add element inet quovant_guard local"), std::string::npos) << anew;
    EXPECT_TRUE(nft.guard.engaged());
    EXPECT_EQ(nft.guard.tunnel(), "tun3");
}

TEST(LeakGuard, FailsWhenNeitherShuttingOutNorMakingTheTableAnewWorks) {
    Recorded nft;
    ASSERT_TRUE(nft.guard.engage());
    ASSERT_TRUE(nft.guard.allowLocalNetwork(true));
    nft.refused = {shutOut, GuardRules::remove()};
    const Result<void> shut = nft.guard.allowLocalNetwork(false);
    ASSERT_FALSE(shut);
    EXPECT_NE(shut.why().find("could not be made anew"), std::string::npos) << shut.why();

    // Ranges that cannot be let through are simply not let through: nothing to make anew.
    nft.refused = {"add element"};
    nft.batches.clear();
    EXPECT_FALSE(nft.guard.allowLocalNetwork(true));
    EXPECT_EQ(nft.batches.size(), 1u);
}

} // namespace
