#include "helperd/ProfileChecker.h"

#include <gtest/gtest.h>

namespace {

const std::string pem =
    "-----BEGIN CERTIFICATE-----\nMIIBszCCAVmgAwIBAgIUQ+/abc=\n-----END CERTIFICATE-----\n";

// What an account service hands out: everything here must pass.
const std::string goodProfile = "# Quovant NL-1\r\n"
                                "client\r\n"
                                "dev tun\n"
                                "proto udp\n"
                                "remote nl1.quovant.example 1194 udp\n"
                                "remote 192.0.2.10 443 tcp-client\n"
                                "remote-random\n"
                                "resolv-retry infinite\n"
                                "nobind\n"
                                "persist-key\n"
                                "persist-tun\n"
                                "auth-user-pass\n"
                                "auth-nocache\n"
                                "remote-cert-tls server\n"
                                "verify-x509-name \"C=NL, O=Quovant, CN=nl1\" subject\n"
                                "tls-version-min 1.2 or-highest\n"
                                "data-ciphers AES-256-GCM:AES-128-GCM:CHACHA20-POLY1305\n"
                                "auth SHA256\n"
                                "key-direction 1\n"
                                "tls-auth [inline] 1\n"
                                "keepalive 10 60\n"
                                "redirect-gateway def1 bypass-dhcp\n"
                                "dhcp-option DNS 10.8.0.1\n"
                                "pull-filter ignore \"route-gateway\"\n"
                                "route 10.10.0.0 255.255.0.0 vpn_gateway\n"
                                "route-ipv6 2001:db8::/32\n"
                                "  ; an indented comment\n"
                                "verb 3\n"
                                "<ca>\n" +
                                pem +
                                "</ca>\n"
                                "<tls-auth>\n-----BEGIN OpenVPN Static key V1-----\n0123abcd\n"
                                "-----END OpenVPN Static key V1-----\n</tls-auth>\n";

TEST(ProfileChecker, AcceptsAnOrdinaryClientProfile) {
    const ProfileVerdict verdict = ProfileChecker::check(goodProfile);
    EXPECT_TRUE(verdict.accepted) << verdict.describe();
}

TEST(ProfileChecker, RefusesWhatCouldRunCodeOrTouchFiles) {
    struct Case {
        const char* why;
        std::string line;
    };
    const Case cases[] = {
        {"up script", "up /tmp/x.sh"},
        {"down script", "down /tmp/x.sh"},
        {"route-up", "route-up /bin/sh"},
        {"ipchange", "ipchange /bin/sh"},
        {"learn-address", "learn-address /bin/sh"},
        {"tls-verify", "tls-verify /bin/sh"},
        {"auth-user-pass-verify", "auth-user-pass-verify /bin/sh via-env"},
        {"client-connect", "client-connect /bin/sh"},
        {"iproute", "iproute /tmp/ip"},
        {"plugin", "plugin /tmp/evil.so"},
        {"engine", "engine dynamic"},
        {"providers", "providers legacy default"},
        {"pkcs11-providers", "pkcs11-providers /tmp/p11.so"},
        {"script-security", "script-security 3"},
        {"management moved", "management 0.0.0.0 1338"},
        {"management client user", "management-client-user nobody"},
        {"log file", "log /etc/passwd"},
        {"log-append", "log-append /root/.bashrc"},
        {"status file", "status /etc/shadow"},
        {"writepid", "writepid /etc/ld.so.preload"},
        {"cd", "cd /"},
        {"chroot", "chroot /tmp"},
        {"daemon", "daemon"},
        {"config include", "config /tmp/other.ovpn"},
        {"setenv", "setenv opt up /tmp/x"},
        {"setenv-safe", "setenv-safe X y"},
        {"ignore-unknown-option", "ignore-unknown-option up"},
        {"user drop", "user nobody"},
        {"auth-user-pass from a file", "auth-user-pass /etc/shadow"},
        {"ca from a file", "ca /etc/ssl/private/key.pem"},
        {"tls-auth from a file", "tls-auth /root/ta.key 1"},
        {"secret", "secret /root/static.key"},
        {"askpass", "askpass /root/pass"},
        {"tmp-dir", "tmp-dir /root"},
        {"leading dashes", "--up /tmp/x.sh"},
        {"quoted name", "\"up\" /tmp/x.sh"},
        {"single-quoted name", "'up' /tmp/x.sh"},
        {"upper case", "UP /tmp/x.sh"},
        {"quote inside a word", "u\"p\" /tmp/x.sh"},
        {"backslash escape", "remote a\\ up 1194"},
        {"dev named by a path", "dev /dev/net/tun"},
        {"remote with a path", "remote /tmp/sock 1194"},
        {"remote with an option", "remote -x 1194"},
        {"verb out of range", "verb 99"},
        {"too many arguments", "nobind yes"},
        {"tab-separated hidden directive", "client\tup"},
        {"control character", std::string("remote a\x01 1194")},
        {"non-ASCII directive", "r\xC3\xA9mote a 1194"},
        {"overlong line", "remote " + std::string(300, 'a') + " 1194"},
        {"overlong comment that openvpn would read in two pieces",
         "#" + std::string(253, 'x') + " up /bin/sh"},
        {"inline line that openvpn would cut before a closing tag",
         "<ca>\n" + std::string(254, 'A') + "</ca>\nup /bin/sh\n</ca>"},
        {"unbalanced quote", "verify-x509-name \"CN=x subject"},
        {"inline auth-user-pass", "<auth-user-pass>\nme\npw\n</auth-user-pass>"},
        {"unknown inline block", "<up>\n/bin/sh\n</up>"},
        {"directive smuggled inside a block", "<ca>\n" + pem + "</ca> up /bin/sh\n</ca>"},
        {"block that never closes", "<ca>\n" + pem},
        {"tag with text after it", "<ca> up\n" + pem + "</ca>"},
        {"closing tag without opening", "</ca>"},
    };
    for (const auto& c : cases) {
        const ProfileVerdict verdict =
            ProfileChecker::check("client\ndev tun\n" + c.line + "\nverb 3\n");
        EXPECT_FALSE(verdict.accepted) << c.why << ": " << c.line;
        EXPECT_GE(verdict.line, 3u) << c.why;
    }
}

TEST(ProfileChecker, RefusesTheProfileAsAWhole) {
    EXPECT_FALSE(ProfileChecker::check("\xEF\xBB\xBF"
                                       "client\n")
                     .accepted)
        << "byte order mark";
    EXPECT_FALSE(ProfileChecker::check(std::string("client\n\0up /x\n", 14)).accepted)
        << "NUL byte";
    EXPECT_FALSE(
        ProfileChecker::check(std::string(ProfileChecker::maxProfileBytes + 1, '#')).accepted);
}

TEST(ProfileChecker, RefusalNamesTheDirectiveAndLineButNotSecrets) {
    const ProfileVerdict verdict = ProfileChecker::check("client\nplugin /tmp/s3cret-token.so\n");
    EXPECT_EQ(verdict.directive, "plugin");
    EXPECT_EQ(verdict.line, 2u);
    EXPECT_EQ(verdict.describe().find("s3cret"), std::string::npos) << verdict.describe();
}

} // namespace
