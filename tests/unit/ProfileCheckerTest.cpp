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

// The smallest profile the checker runs; the cases below add one line after it.
const std::string minimalClient = "client\ndev tun\nremote 192.0.2.1 1194\nnobind\n";
const size_t added = 5; // the line number of the first line added to minimalClient

TEST(ProfileChecker, AcceptsOrdinaryClientProfiles) {
    const std::string variants[] = {
        goodProfile,
        minimalClient,
        "tls-client\npull\nremote vpn.example\n",
        "client\nremote vpn.example\nrport 1195\n",
        "client\nremote vpn.example\nport 1195\nnobind\n",
        "client\nremote vpn.example\nnobind\nport 1195\n",
        minimalClient + "<ca>\n" + pem + "</ca>\n",
        minimalClient + "ca [inline]\n<ca>\n" + pem + "</ca>\nca [inline]\n<ca>\n" + pem +
            "</ca>\n",
        minimalClient + "tls-cipher DEFAULT:-aNULL:-eNULL:ECDHE-ECDSA-AES256-GCM-SHA384\n",
        minimalClient + "tls-ciphersuites TLS_AES_256_GCM_SHA384:TLS-CHACHA20-POLY1305-SHA256\n",
        minimalClient +
            "data-ciphers AES-256-GCM:CHACHA20-POLY1305\ncipher AES-256-CBC\nauth SHA512\n",
    };
    for (const auto& profile : variants) {
        const ProfileVerdict verdict = ProfileChecker::check(profile);
        EXPECT_TRUE(verdict) << verdict.why().describe() << "\n" << profile;
    }
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
        const ProfileVerdict verdict = ProfileChecker::check(minimalClient + c.line + "\nverb 3\n");
        EXPECT_FALSE(verdict) << c.why << ": " << c.line;
        if (!verdict) {
            EXPECT_GE(verdict.why().line, added) << c.why;
        }
    }
}

TEST(ProfileChecker, RefusesTheProfileAsAWhole) {
    EXPECT_FALSE(ProfileChecker::check("\xEF\xBB\xBF"
                                       "client\n"))
        << "byte order mark";
    EXPECT_FALSE(ProfileChecker::check(std::string("client\n\0up /x\n", 14))) << "NUL byte";
    EXPECT_FALSE(ProfileChecker::check(std::string(ProfileChecker::maxProfileBytes + 1, '#')));
}

TEST(ProfileChecker, RunsOnlyClientsWithCryptoOnAndNoPortOfTheirOwn) {
    struct Case {
        const char* why;
        std::string profile;
        size_t line; // where the refusal points, 0 for the profile as a whole
    };
    const std::string pemBlock = "<ca>\n" + pem + "</ca>\n";
    const Case cases[] = {
        // Not a client of a remote server: openvpn would run point-to-point or wait for a peer.
        {"empty", "", 0},
        {"comments only", "# nothing\n\n; here\n", 0},
        {"point-to-point", "dev tun\nproto udp\nremote 192.0.2.1\nnobind\n", 0},
        {"tls-client without pull", "tls-client\nremote 192.0.2.1\n", 0},
        {"pull without tls-client", "pull\nremote 192.0.2.1\n", 0},
        {"no remote", "client\ndev tun\nnobind\n", 0},
        {"only an inline block", pemBlock, 0},
        // A local port of the profile's choosing.
        {"listening on port 53", "dev tun\nproto udp\nport 53\n", 3},
        {"port without nobind", "client\nremote 192.0.2.1\nport 53\n", 3},
        {"lport", minimalClient + "lport 53", added},
        {"local", minimalClient + "local 0.0.0.0", added},
        {"bind", minimalClient + "bind", added},
        {"tcp server", minimalClient + "proto tcp-server", added},
        {"port-share", minimalClient + "port-share 127.0.0.1 443", added},
        // Encryption or authentication switched off.
        {"cipher none", minimalClient + "cipher none", added},
        {"cipher NONE", minimalClient + "cipher NONE", added},
        {"none among data-ciphers", minimalClient + "data-ciphers AES-256-GCM:none", added},
        {"data-ciphers-fallback none", minimalClient + "data-ciphers-fallback none", added},
        {"ncp-ciphers none", minimalClient + "ncp-ciphers None:AES-128-GCM", added},
        {"auth none", minimalClient + "auth none", added},
        {"tls-cipher eNULL", minimalClient + "tls-cipher DEFAULT:eNULL", added},
        {"tls-cipher aNULL", minimalClient + "tls-cipher aNULL", added},
        {"tls-cipher ADH", minimalClient + "tls-cipher ADH-AES256-SHA", added},
        {"tls-cipher AECDH", minimalClient + "tls-cipher AECDH-AES128-SHA", added},
        {"tls-cipher anon", minimalClient + "tls-cipher TLS-DH-anon-WITH-AES-128-CBC-SHA", added},
        {"tls-cipher complement", minimalClient + "tls-cipher ALL:COMPLEMENTOFALL", added},
        {"integrity-only TLS 1.3", minimalClient + "tls-ciphersuites TLS_SHA256_SHA256", added},
        {"insecure cert profile", minimalClient + "tls-cert-profile insecure", added},
        {"static key", minimalClient + "secret [inline]", added},
        {"ncp-disable", minimalClient + "ncp-disable", added},
        {"no-replay", minimalClient + "no-replay", added},
        // An [inline] argument without its block after it: openvpn opens a file "[inline]".
        {"ca [inline] without a block", minimalClient + "ca [inline]", added},
        {"ca [inline] after its block", minimalClient + pemBlock + "ca [inline]", added + 5},
        {"tls-auth [inline] with another block",
         minimalClient + "tls-auth [inline] 1\n<tls-crypt>\nAAAA\n</tls-crypt>", added},
    };
    for (const auto& c : cases) {
        const ProfileVerdict verdict = ProfileChecker::check(c.profile);
        EXPECT_FALSE(verdict) << c.why;
        if (!verdict) {
            EXPECT_EQ(verdict.why().line, c.line) << c.why << ": " << verdict.why().describe();
        }
    }
}

TEST(ProfileChecker, RefusalNamesLineAndKnownDirectiveButNeverProfileText) {
    struct Case {
        std::string added; // after minimalClient
        const char* described;
    };
    const Case cases[] = {
        {"<password hunter2", "line 5: malformed inline block tag"},
        {"<ca> hunter2", "line 5: malformed inline block tag"},
        {"<hunter2>\nx\n</hunter2>", "line 5: inline block not allowed"},
        {"hunter2 x", "line 5: directive not allowed"},
        {"plugin /tmp/hunter2.so", "line 5: directive not allowed"},
        {"\"hunter2\" x", "line 5: quoted directive name"},
        {"verify-x509-name 'hunter2", "line 5: unbalanced quote"},
        {"remote hunter2/x 1194", "line 5: remote: argument 1 not allowed"},
        {"<ca>\n<hunter2\n</ca>", "line 6: ca: unexpected text inside its inline block"},
        {"ca [inline]", "line 5: ca: no inline block follows"},
        {"port 53\nbind", "line 6: directive not allowed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProfileChecker::check(minimalClient + c.added + "\n").why().describe(),
                  c.described);
    EXPECT_EQ(ProfileChecker::check("client\nremote 192.0.2.1\nport 53\n").why().describe(),
              "line 3: port: sets the local port too; allowed only with nobind");
    EXPECT_EQ(ProfileChecker::check("# hunter2\n").why().describe(), "profile has no directives");
}

} // namespace
