#include "helperd/NumericRemotes.h"

#include "helperd/ProfileChecker.h"

#include <gtest/gtest.h>

namespace {

const std::string head = "client\ndev tun\nnobind\nauth-user-pass\n";
const std::string tail = "<ca>\nremote not.a.directive 1\n</ca>\n";

TEST(NumericRemotes, OnlyNamesAreLookedUpEachOnceInTheProfilesOrder) {
    const std::string profile = head +
                                "remote b.example.com 1194\n"
                                "remote 192.0.2.7 1194\n"
                                "remote 2001:db8::7\n"
                                "# remote commented.example.com\n"
                                "remote 'a.example.com' 443 tcp\n"
                                "remote b.example.com 1195\n" +
                                tail;
    EXPECT_EQ(NumericRemotes::hostNames(profile),
              (std::vector<std::string>{"b.example.com", "a.example.com"}))
        << "addresses, comments and inline blocks are not names";
}

TEST(NumericRemotes, EachNameBecomesItsAddressesWithItsOwnPortAndProtocol) {
    const std::string profile = head +
                                "proto udp\n"
                                "remote b.example.com 1194\n"
                                "remote 192.0.2.7 1194\n"
                                "remote \"a.example.com\" 0443 tcp-client\n"
                                "remote c.example.com\n" +
                                tail;
    const NumericRemotes::Addresses addresses = {{"b.example.com", {"198.51.100.1", "2001:db8::1"}},
                                                 {"a.example.com", {"198.51.100.2"}},
                                                 {"c.example.com", {"198.51.100.3"}}};
    const auto rewritten = NumericRemotes::rewrite(profile, addresses);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(*rewritten, head +
                              "proto udp\n"
                              "remote 198.51.100.1 1194\n"
                              "remote 2001:db8::1 1194\n"
                              "remote 192.0.2.7 1194\n"
                              "remote 198.51.100.2 443 tcp-client\n"
                              "remote 198.51.100.3\n" +
                              tail);
    EXPECT_TRUE(ProfileChecker::check(*rewritten));
}

TEST(NumericRemotes, AFamilyOnlyProtocolKeepsItsFamilyAndNamesWithoutAddressesGo) {
    const std::string profile = head + "remote v4.example.com 1194 udp4\n"
                                       "remote v6.example.com 1194\n"
                                       "remote gone.example.com 1194\n"
                                       "proto udp6\n";
    const NumericRemotes::Addresses addresses = {
        {"v4.example.com", {"2001:db8::4", "198.51.100.4"}},
        {"v6.example.com", {"198.51.100.6", "2001:db8::6"}}};
    EXPECT_EQ(NumericRemotes::rewrite(profile, addresses),
              head + "remote 198.51.100.4 1194 udp4\nremote 2001:db8::6 1194\nproto udp6\n");
    EXPECT_FALSE(NumericRemotes::rewrite(head + "remote gone.example.com\n", addresses))
        << "no remote left";
    EXPECT_FALSE(NumericRemotes::rewrite(head + "remote v4.example.com 1194 udp6\n",
                                         {{"v4.example.com", {"198.51.100.4"}}}))
        << "no address of the family its protocol uses";
}

TEST(NumericRemotes, OnlyAddressesAndAtMostEightOfThemReachTheProfile) {
    NumericRemotes::Addresses addresses = {
        {"x.example.com", {"198.51.100.1\nscript-security 3", "up /bin/sh", "", "1.2.3.4 5"}}};
    EXPECT_FALSE(NumericRemotes::rewrite(head + "remote x.example.com\n", addresses));
    addresses["x.example.com"].clear();
    for (int i = 1; i <= 12; ++i)
        addresses["x.example.com"].push_back("198.51.100." + std::to_string(i));
    const auto rewritten = NumericRemotes::rewrite(head + "remote x.example.com\n", addresses);
    ASSERT_TRUE(rewritten);
    EXPECT_NE(rewritten->find("remote 198.51.100.8\n"), std::string::npos);
    EXPECT_EQ(rewritten->find("remote 198.51.100.9\n"), std::string::npos);
}

TEST(NumericRemotes, LookedUpAddressesAreWrittenAsTheAllowlistAcceptsThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"198.51.100.7", "198.51.100.7"},
        {"::ffff:198.51.100.7", "198.51.100.7"},
        {"::FFFF:c633:6407", "198.51.100.7"},
        {"::1", "0::1"},
        {"::", "0::"},
        {"2001:DB8:0:0::7", "2001:db8::7"},
        {"fe80::1%eth0", ""},
        {"example.com", ""},
        {"", ""},
    };
    for (const auto& [looked, written] : cases) {
        EXPECT_EQ(NumericRemotes::remoteAddress(looked).value_or(""), written) << looked;
        if (*written) {
            EXPECT_TRUE(ProfileChecker::check(head + "remote " + written + " 1194\n"))
                << written << " passes the allowlist";
        }
    }
}

TEST(NumericRemotes, TwentyThousandRemotesAreDedupedKeepingTheirOrder) {
    std::string profile = head;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = "h" + std::to_string((i * 7919) % 10007) + ".example.com";
        profile += "remote " + name + "\n";
        if (i < 10007)
            expected.push_back(name);
    }
    EXPECT_EQ(NumericRemotes::hostNames(profile), expected);
}

} // namespace
