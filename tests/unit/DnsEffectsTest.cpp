#include "helperd/DnsEffects.h"

#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>

namespace fs = std::filesystem;

namespace {

// Each way of changing DNS that needs no system bus, applied to the loopback link and
// undone: what is posted, what is on disk meanwhile, and that nothing is left.
TEST(DnsEffects, KeepsTheRecordWhileAChangeStandsAndPutsBackWhatWasThere) {
    const TempDir dir;
    const std::string seen = (dir / "seen").string();
    const fs::path program = dir.write(
        "resolvconf", "#!/bin/sh\nprintf '%s ' \"$@\" >>'" + seen + "'\ncat >>'" + seen + "'\n",
        fs::perms::owner_all);
    PushedDns pushed =
        PushedDns::fromEnvironment({{"foreign_option_1", "dhcp-option DNS 10.8.0.1"},
                                    {"foreign_option_2", "dhcp-option DOMAIN corp.example"}});
    const std::string original = "nameserver 192.0.2.53\n";

    for (const auto setup : {DnsPlan::Setup::file, DnsPlan::Setup::resolvconf}) {
        SCOPED_TRACE(setup == DnsPlan::Setup::file ? "file" : "resolvconf");
        fs::remove(seen);
        dir.write("resolv.conf", original);
        std::vector<TunnelDns::Event> posted;
        DnsEffects::Settings settings;
        settings.recordPath = (dir / "record").string();
        settings.resolvConf = (dir / "resolv.conf").string();
        settings.resolvconfProgram = program.string();
        settings.facts.resolvconf = settings.facts.resolvconfSbin = program.string();
        settings.post = [&](TunnelDns::Event event) { posted.push_back(std::move(event)); };
        DnsEffects effects(settings);
        // resolvconf runs as a child the loop waits for.
        const auto settle = [&] {
            if (!effects.resolvconf().running())
                return;
            pollfd ended{effects.resolvconf().fd(), POLLIN, 0};
            ASSERT_EQ(::poll(&ended, 1, 5000), 1);
            effects.resolvconfEnded();
        };
        const auto plan = DnsPlan::forPush(pushed, setup);
        ASSERT_TRUE(plan);

        effects.apply(1, "no-such-link", *plan);
        ASSERT_EQ(posted.size(), 1u);
        const auto& refused = std::get<TunnelDns::Done>(posted[0]);
        EXPECT_NE(refused.error, "");
        EXPECT_FALSE(refused.record) << "nothing changed, nothing to undo";
        EXPECT_FALSE(fs::exists(dir / "record"));

        posted.clear();
        effects.apply(2, "lo", *plan);
        settle();
        ASSERT_EQ(posted.size(), 1u);
        const auto applied = std::get<TunnelDns::Done>(posted[0]);
        EXPECT_EQ(applied.change, 2u);
        EXPECT_EQ(applied.error, "");
        ASSERT_TRUE(applied.record);
        EXPECT_EQ(applied.record->ifname, "lo");
        EXPECT_EQ(DnsEffects(settings).leftover(), applied.record) << "what a killed daemon finds";
        if (setup == DnsPlan::Setup::file) {
            EXPECT_EQ(readFile(dir / "resolv.conf"), plan->resolvConf);
        } else {
            EXPECT_EQ(readFile(seen), "-a lo.openvpn " + plan->resolvConf);
        }

        posted.clear();
        effects.revert(3, *applied.record);
        settle();
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(std::get<TunnelDns::Done>(posted[0]).error, "");
        EXPECT_EQ(readFile(dir / "resolv.conf"), original);
        EXPECT_FALSE(fs::exists(dir / "record"));
        EXPECT_FALSE(DnsEffects(settings).leftover());
        if (setup == DnsPlan::Setup::resolvconf) {
            EXPECT_EQ(readFile(seen), "-a lo.openvpn " + plan->resolvConf + "-d lo.openvpn -f ");
        }
    }
}

} // namespace
