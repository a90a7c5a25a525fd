#include "platform/Result.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

TEST(Result, HoldsEitherTheValueOrWhyNot) {
    const auto found = Result<int>::success(7);
    EXPECT_TRUE(found.ok());
    EXPECT_TRUE(found);
    EXPECT_EQ(found.value(), 7);

    const auto missing = Result<int>::failure("no such thing");
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.why(), "no such thing");

    // A text that is the value is not taken for a text that is the reason.
    EXPECT_TRUE(Result<std::string>::success("why").ok());
    EXPECT_EQ(Result<std::string>::failure("why").why(), "why");
}

TEST(Result, HandsAMoveOnlyValueOver) {
    auto made = Result<std::unique_ptr<int>>::success(std::make_unique<int>(3));
    const std::unique_ptr<int> taken = std::move(made).value();
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, 3);
}

TEST(Result, VoidCarriesOnlyTheOutcomeAndAStructuredReason) {
    struct Refusal {
        size_t line;
        const char* reason;
    };
    EXPECT_TRUE(Result<void>::success());
    const auto refused = Result<void, Refusal>::failure({4, "not allowed"});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.why().line, 4u);
    EXPECT_STREQ(refused.why().reason, "not allowed");
}

TEST(ResultDeathTest, MisuseEndsTheProcessInEveryBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH((void)Result<int>::failure("gone").value(), "value\\(\\) of a failure");
    EXPECT_DEATH((void)Result<int>::success(1).why(), "why\\(\\) of a success");
    EXPECT_DEATH((void)Result<void>::success().why(), "why\\(\\) of a success");
}

} // namespace
