#include "vpn/ManagementCommand.h"

#include <gtest/gtest.h>

namespace {

TEST(ManagementCommand, CredentialsGoOutAsOneQuotedParameter) {
    EXPECT_EQ(ManagementCommand::username("me@example.com"),
              "username 'Auth' \"me@example.com\"\n");
    EXPECT_EQ(ManagementCommand::password("a b"), "password 'Auth' \"a b\"\n");
    EXPECT_EQ(ManagementCommand::password("q\"uo'te"), "password 'Auth' \"q\\\"uo'te\"\n");
    EXPECT_EQ(ManagementCommand::password("back\\slash\\"),
              "password 'Auth' \"back\\\\slash\\\\\"\n");
    EXPECT_EQ(ManagementCommand::password(" ñ 密 "), "password 'Auth' \" ñ 密 \"\n");
    EXPECT_EQ(ManagementCommand::password(""), "password 'Auth' \"\"\n");
}

TEST(ManagementCommand, ControlCharactersAreRefused) {
    for (const std::string& bad : std::vector<std::string>{
             "a\nsignal SIGTERM", "a\rb", std::string("a\0b", 3), "tab\there", "del\x7f"})
        EXPECT_FALSE(ManagementCommand::password(bad)) << bad;
    EXPECT_FALSE(ManagementCommand::username("x\n"));
}

} // namespace
