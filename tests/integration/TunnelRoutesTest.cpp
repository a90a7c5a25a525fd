#include "helperd/TunnelRoutes.h"

#include "ChildProcess.h"

#include <algorithm>
#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

void run(const std::vector<std::string>& argv) {
    std::string out;
    ASSERT_EQ(runCommand(argv, &out), 0) << argv[0] << " " << argv[1] << ": " << out;
}

std::vector<std::string> texts(const std::vector<FullTunnel::Prefix>& routes) {
    std::vector<std::string> out;
    for (const auto& p : routes) {
        char text[64];
        ::inet_ntop(p.family, p.address.data(), text, sizeof text);
        out.push_back(std::string(text) + "/" + std::to_string(p.length));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The kernel's own table, in this test's network namespace: the routes of the main table
// through the tunnel, and none through another device or in another table.
TEST(TunnelRoutes, ReadsTheMainTablesRoutesThroughTheTunnel) {
    // veth pairs stand in for the tunnel and the LAN: routes are routes whatever the device.
    for (const std::string device : {"qvt0", "qvlan0"}) {
        run({"ip", "link", "add", device, "type", "veth", "peer", "name", device + "p"});
        run({"ip", "link", "set", device, "up"});
        run({"ip", "link", "set", device + "p", "up"});
    }
    run({"ip", "addr", "add", "10.8.0.2/24", "dev", "qvt0"});
    run({"ip", "addr", "add", "192.168.1.2/24", "dev", "qvlan0"});
    run({"ip", "route", "add", "default", "via", "192.168.1.1", "dev", "qvlan0"});
    for (const char* route : {"0.0.0.0/1", "128.0.0.0/1"})
        run({"ip", "route", "add", route, "via", "10.8.0.1", "dev", "qvt0"});
    for (const char* route : {"::/3", "2000::/4", "3000::/4", "fc00::/7"})
        run({"ip", "-6", "route", "add", route, "dev", "qvt0"});
    run({"ip", "route", "add", "10.50.0.0/16", "dev", "qvt0", "table", "100"});
    run({"ip", "route", "add", "10.60.0.0/16", "dev", "qvlan0"});

    const auto routes = TunnelRoutes::of("qvt0");
    ASSERT_TRUE(routes) << routes.why();
    const auto read = texts(routes.value());
    for (const char* expected :
         {"0.0.0.0/1", "128.0.0.0/1", "10.8.0.0/24", "::/3", "2000::/4", "3000::/4", "fc00::/7"})
        EXPECT_NE(std::find(read.begin(), read.end(), expected), read.end()) << expected;
    for (const char* other : {"0.0.0.0/0", "10.50.0.0/16", "10.60.0.0/16", "192.168.1.0/24"})
        EXPECT_EQ(std::find(read.begin(), read.end(), other), read.end()) << other;
    EXPECT_TRUE(FullTunnel::takesDefaultRoute(routes.value()));
    EXPECT_EQ(
        texts(TunnelRoutes::of("qvlan0").value()),
        (std::vector<std::string>{"0.0.0.0/0", "10.60.0.0/16", "192.168.1.0/24", "fe80::/64"}))
        << "the LAN's routes are the LAN's";
    EXPECT_FALSE(TunnelRoutes::of("qvt9"));
    for (const char* device : {"qvt0", "qvlan0"})
        run({"ip", "link", "del", device});
}

} // namespace
