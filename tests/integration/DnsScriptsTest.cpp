#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

// Runs client.up then client.down as openvpn would, in a mount namespace whose /etc
// and /run are private: the scripts may rewrite resolv.conf there without touching
// the machine's. With neither systemd-resolved nor resolvconf inside, they take the
// resolv.conf route.
struct Sandbox {
    TempDir dir{"quovant-dns"};

    // Environment assignments for openvpn's variables; returns the script's exit code.
    int run(const std::string& script, const std::vector<std::string>& environment,
            const std::string& after = "") {
        std::string body = "set -e\n"
                           "mount -t tmpfs tmpfs /etc\n"
                           "mount -t tmpfs tmpfs /run\n"
                           "cp '" +
                           (dir / "resolv.conf").string() +
                           "' /etc/resolv.conf 2>/dev/null || true\n"
                           "cp -a '" +
                           (dir / "state").string() +
                           "/.' /run/ 2>/dev/null || true\n"
                           "set +e\n"
                           "env ";
        for (const auto& e : environment)
            body += "'" + e + "' ";
        body += "'" + HelperDaemon::libexecDir() + "/" + script +
                "' tun0 1500 0 10.8.0.2 255.255.255.0 init\n"
                "status=$?\n"
                "cp /etc/resolv.conf '" +
                (dir / "resolv.conf").string() + "' 2>/dev/null || rm -f '" +
                (dir / "resolv.conf").string() +
                "'\n"
                "rm -rf '" +
                (dir / "state").string() + "'; mkdir -p '" + (dir / "state").string() +
                "'\n"
                "cp -a /run/. '" +
                (dir / "state").string() + "/'\n" + after + "exit $status\n";
        return runCommand({"unshare", "--mount", "--propagation", "private", "sh", "-c", body});
    }
};

TEST(DnsScripts, UpAppliesPushedServersAndDownRestoresTheOriginal) {
    Sandbox box;
    const std::string original = "nameserver 192.0.2.53\nsearch corp.example\n";
    box.dir.write("resolv.conf", original);
    ASSERT_EQ(box.run("client.up", {"dev=tun0", "foreign_option_1=dhcp-option DNS 10.214.0.1",
                                    "foreign_option_2=dhcp-option DOMAIN vpn.example",
                                    "foreign_option_3=dhcp-option DNS6 fd00::53"}),
              0);
    const std::string applied = readFile(box.dir / "resolv.conf");
    EXPECT_NE(applied.find("nameserver 10.214.0.1\n"), std::string::npos) << applied;
    EXPECT_NE(applied.find("nameserver fd00::53\n"), std::string::npos) << applied;
    EXPECT_NE(applied.find("search vpn.example\n"), std::string::npos) << applied;
    ASSERT_EQ(box.run("client.down", {"dev=tun0"}), 0);
    EXPECT_EQ(readFile(box.dir / "resolv.conf"), original);
}

TEST(DnsScripts, HostileValuesAreNeitherRunNorWritten) {
    Sandbox box;
    box.dir.write("resolv.conf", "nameserver 192.0.2.53\n");
    const std::string marker = (box.dir / "pwned").string();
    ASSERT_EQ(box.run("client.up",
                      {"dev=tun0", "foreign_option_1=dhcp-option DNS 10.0.0.1;touch " + marker,
                       "foreign_option_2=dhcp-option DNS $(touch " + marker + ")",
                       "foreign_option_3=dhcp-option DOMAIN `touch " + marker + "`",
                       "foreign_option_4=dhcp-option DOMAIN evil.example\nnameserver 6.6.6.6",
                       "foreign_option_5=dhcp-option DNS *",
                       "foreign_option_6=dhcp-option DNS 10.214.0.1"}),
              0);
    EXPECT_FALSE(std::filesystem::exists(marker));
    const std::string applied = readFile(box.dir / "resolv.conf");
    EXPECT_EQ(applied.find("6.6.6.6"), std::string::npos) << applied;
    EXPECT_EQ(applied.find("evil"), std::string::npos) << applied;
    EXPECT_NE(applied.find("nameserver 10.214.0.1\n"), std::string::npos) << applied;

    EXPECT_NE(
        box.run("client.up", {"dev=tun0;rm -rf /", "foreign_option_1=dhcp-option DNS 10.0.0.1"}), 0)
        << "a device name outside the pattern is refused";
}

TEST(DnsScripts, NothingPushedChangesNothing) {
    Sandbox box;
    box.dir.write("resolv.conf", "nameserver 192.0.2.53\n");
    ASSERT_EQ(box.run("client.up", {"dev=tun0", "foreign_option_1=dhcp-option WINS 10.0.0.9"}), 0);
    EXPECT_EQ(readFile(box.dir / "resolv.conf"), "nameserver 192.0.2.53\n");
    ASSERT_EQ(box.run("client.down", {"dev=tun0"}), 0);
    EXPECT_EQ(readFile(box.dir / "resolv.conf"), "nameserver 192.0.2.53\n");
}

} // namespace
