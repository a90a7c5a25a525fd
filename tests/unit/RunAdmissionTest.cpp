#include "helperd/RunAdmission.h"

#include <gtest/gtest.h>

namespace {

const std::string good =
    "client\ndev tun\nnobind\nauth-user-pass\nremote vpn.example.com 1194\nremote 192.0.2.1\n";

RunAdmission::Facts facts(std::optional<uid_t> runUid = {}) {
    RunAdmission::Facts f;
    f.upScript = "/usr/libexec/quovant/client.up";
    f.downScript = "/usr/libexec/quovant/client.down";
    f.profile = Result<std::string>::success(good);
    f.runUid = runUid;
    return f;
}

HelperRequest request(bool guarded = true) {
    HelperRequest r;
    r.id = 7;
    r.operation = HelperRequest::Operation::runOpenVPN;
    r.clientUp = "/usr/libexec/quovant/client.up";
    r.clientDown = "/usr/libexec/quovant/client.down";
    r.blockLeaks = guarded;
    return r;
}

TEST(RunAdmission, RefusesWithAReasonForTheLogAndOneForTheUser) {
    const ClientTable::Caller alice{3, 1000, 1000, 42, nullptr};
    struct Case {
        const char* what;
        HelperRequest request;
        RunAdmission::Facts facts;
        std::string reason; // empty: admitted
    };
    auto swapped = request();
    std::swap(swapped.clientUp, swapped.clientDown);
    auto untrusted = facts();
    untrusted.scriptsTrusted = Result<void>::failure("client.up is writable by others");
    auto unread = facts();
    unread.profile = Result<std::string>::failure("profile is a symbolic link");
    auto away = facts(1001);
    away.runOwnerAway = true;
    auto refused = facts();
    refused.profile = Result<std::string>::success(good + "up /bin/sh\n");
    const Case cases[] = {
        {"a run of the user's own", request(), facts(), ""},
        {"the user's own run", request(), facts(1000), ""},
        {"root's run", request(), facts(0), "Another user's VPN connection is running"},
        {"scripts not the installed ones", swapped, facts(),
         "The VPN scripts are not the ones installed with the VPN helper."},
        {"scripts others may change", request(), untrusted,
         "The VPN helper's scripts may be changed by someone other than root."},
        {"profile not readable", request(), unread,
         "The VPN profile could not be used: profile is a symbolic link."},
        {"profile outside the allowlist", request(), refused, "The VPN profile was refused ("},
        {"another user's run", request(), facts(1001), "Another user's VPN connection is running"},
        {"another user's run, who has left the computer", request(), away, ""},
    };
    for (const Case& c : cases) {
        const auto decision = RunAdmission::decide(c.request, alice, c.facts);
        if (c.reason.empty()) {
            const auto* run = std::get_if<RunSupervisor::Run>(&decision);
            ASSERT_NE(run, nullptr) << c.what;
            EXPECT_EQ(run->owner.client, 3u);
            EXPECT_EQ(run->owner.requestId, 7u);
            EXPECT_EQ(run->launch.profile, good);
            EXPECT_EQ(run->names, std::vector<std::string>{"vpn.example.com"})
                << "a guarded run's names to look up";
            continue;
        }
        const auto* refusal = std::get_if<RunAdmission::Refusal>(&decision);
        ASSERT_NE(refusal, nullptr) << c.what;
        EXPECT_EQ(refusal->reason.plain().rfind(c.reason, 0), 0u)
            << c.what << ": " << refusal->reason;
        // What is translated holds none of the refusal's details: they are its parts.
        EXPECT_EQ(refusal->reason.text().find("symbolic link"), std::string::npos) << c.what;
        EXPECT_FALSE(refusal->why.empty()) << c.what;
    }
    // Root may replace anyone's run.
    const ClientTable::Caller root{4, 0, 0, 1, nullptr};
    EXPECT_TRUE(std::holds_alternative<RunSupervisor::Run>(
        RunAdmission::decide(request(), root, facts(1000))));
}

} // namespace
