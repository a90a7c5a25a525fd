#include "helperd/GuardRules.h"

#include "helperd/TunnelDevice.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(GuardRules, TheTableIsOwnedAndDropsByDefaultInItsOwnTableOnly) {
    const std::string commands = GuardRules::create(0x51760d2d);
    EXPECT_NE(commands.find("add table inet quovant_guard { flags owner; }"), std::string::npos);
    EXPECT_EQ(count(commands, "policy drop;"), 2u) << "output and forward";
    EXPECT_NE(commands.find("meta mark 0x51760d2d accept"), std::string::npos);
    EXPECT_EQ(commands.find("flush ruleset"), std::string::npos);
    std::string line;
    for (size_t start = 0, end; (end = commands.find('\n', start)) != std::string::npos;
         start = end + 1) {
        line = commands.substr(start, end - start);
        EXPECT_NE(line.find(" inet quovant_guard"), std::string::npos)
            << "every command names our table: " << line;
        EXPECT_EQ(line.find("delete"), std::string::npos) << line;
    }
    EXPECT_NE(GuardRules::create(1).find("meta mark 0x00000001 accept"), std::string::npos);
    EXPECT_EQ(GuardRules::remove(), "delete table inet quovant_guard\n");
}

TEST(GuardRules, OnlyPlainInterfaceNamesReachARule) {
    for (const std::string name :
         {"tun0", "tun15", "tap3", "wg-home", "vpn.0", "a", "abcdefghijklmno"})
        EXPECT_EQ(GuardRules::allowTunnel(name), "flush set inet quovant_guard tunnels\n"
                                                 "add element inet quovant_guard tunnels { \"" +
                                                     name + "\" }\n")
            << name;
    const std::vector<std::string> hostile = {
        "",
        ".",
        "..",
        "abcdefghijklmnop", // 16 bytes: longer than the kernel allows
        "tun0\"",
        "tun0\" }\nflush ruleset\n",
        "tun0 } ; delete table inet filter",
        "tun*",
        "tun0\n",
        "tun 0",
        "tun0\t",
        "lo\\",
        "@tunnels",
        "$var",
        "{lo}",
        "tun/0",
        "t\xc3\xbcn0",
        std::string("tun\0x", 5),
        "tun#0",
        "tun'0",
        "tun;0",
    };
    for (const auto& name : hostile) {
        EXPECT_FALSE(GuardRules::plainInterfaceName(name)) << name;
        EXPECT_FALSE(GuardRules::allowTunnel(name)) << name;
    }
}

TEST(TunnelDevice, TheTypeFollowsTheProfileAndOnlyItsDirectives) {
    EXPECT_EQ(TunnelDevice::typeOf("client\ndev tun\n"), "tun");
    EXPECT_EQ(TunnelDevice::typeOf("client\ndev tap\n"), "tap");
    EXPECT_EQ(TunnelDevice::typeOf("client\r\ndev tap3\r\n"), "tap");
    EXPECT_EQ(TunnelDevice::typeOf("dev \"tap\"\n"), "tap");
    EXPECT_EQ(TunnelDevice::typeOf("dev tun\ndev-type tap\n"), "tap");
    EXPECT_EQ(TunnelDevice::typeOf("dev-type tun\ndev tap0\n"), "tun") << "dev-type decides";
    EXPECT_EQ(TunnelDevice::typeOf("dev tap\ndev tun\n"), "tun") << "the last one counts";
    EXPECT_EQ(TunnelDevice::typeOf("client\n"), "tun");
    EXPECT_EQ(TunnelDevice::typeOf("# dev tap\n;dev tap\n"), "tun") << "comments";
    EXPECT_EQ(TunnelDevice::typeOf("dev tun\n<ca>\ndev tap\n</ca>\n"), "tun")
        << "an inline block is not read";
    EXPECT_EQ(TunnelDevice::typeOf("dev tun\"; flush ruleset\n"), "tun")
        << "only two fixed words come out";
}

TEST(TunnelDevice, TheChosenNameIsFreeAndPlain) {
    for (const std::string type : {"tun", "tap"}) {
        const auto name = TunnelDevice::freeName(type);
        ASSERT_TRUE(name);
        EXPECT_TRUE(name->starts_with(type));
        EXPECT_TRUE(GuardRules::plainInterfaceName(*name)) << *name;
        EXPECT_FALSE(std::filesystem::exists("/sys/class/net/" + *name)) << *name;
    }
}

} // namespace
