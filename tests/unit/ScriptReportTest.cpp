#include "helperd/ScriptReport.h"

#include <gtest/gtest.h>

namespace {

// The reports as "up:NAME=value,NAME=value;" in order, or "closed".
std::string render(const std::vector<std::string>& pieces) {
    ScriptReport channel;
    std::string out;
    for (const std::string& piece : pieces) {
        const auto reports = channel.feed(piece);
        if (!reports)
            return out + "closed";
        for (const auto& r : *reports) {
            out += r.up ? "up:" : "down:";
            for (const auto& [name, value] : r.environment)
                out += name + "=" + value + ",";
            out += ";";
        }
    }
    return out;
}

TEST(ScriptReport, KeepsOnlyWholeReportsOfAllowedNames) {
    const std::string big(ScriptReport::maxBytes, 'x');
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
        std::string reports;
    } const cases[] = {
        {"one up",
         {"dns_search_domain_1=a.example\nforeign_option_1=dhcp-option DNS 10.8.0.1\nup\n"},
         "up:dns_search_domain_1=a.example,foreign_option_1=dhcp-option DNS 10.8.0.1,;"},
        {"the device is the daemon's to know", {"dev=tun0\nup\n"}, "closed"},
        {"and so are the routes: the daemon reads the kernel's",
         {"redirect_gateway=1\nup\n"},
         "closed"},
        {"split anywhere, then down",
         {"dns_server_0_addr", "ess_1=fd00::1\nu", "p\ndown\n"},
         "up:dns_server_0_address_1=fd00::1,;down:;"},
        {"an unfinished report is none", {"foreign_option_1=x\n"}, ""},
        {"a value may hold '='", {"foreign_option_1=a=b\nup\n"}, "up:foreign_option_1=a=b,;"},
        {"a name not asked for", {"LD_PRELOAD=/tmp/x\nup\n"}, "closed"},
        {"a name in another shape", {"dns_server_0_Address_1=1\nup\n"}, "closed"},
        {"a line without a value", {"foreign_option_1\nup\n"}, "closed"},
        {"too long a line", {"foreign_option_1=" + big}, "closed"},
        {"too long a report in lines",
         {"foreign_option_1=" + big.substr(0, 40000) + "\n",
          "foreign_option_2=" + big.substr(0, 40000) + "\n"},
         "closed"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(render(c.pieces), c.reports) << c.what;
}

} // namespace
