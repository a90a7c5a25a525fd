#include "helperd/ClientPolicy.h"

#include <gtest/gtest.h>

namespace {

using Act = ClientPolicy::Act;
using Authority = ClientPolicy::Authority;
using Holder = ClientPolicy::BlockHolder;

TEST(ClientPolicy, DecidesByCallerBlockOwnerAndPolkitsAnswer) {
    constexpr uid_t user = 1000;
    struct Case {
        Act act;
        uid_t caller;
        Holder holder;
        Authority answer;
        bool asks;
        const char* reason; // nullptr: allowed
        const char* detail = "";
    };
    const char* notAllowed = ClientPolicy::notAllowedReason;
    const char* others = ClientPolicy::othersBlockReason;
    const Case cases[] = {
        // Root is never asked about and may do everything.
        {Act::run, 0, Holder::present, Authority::no, false, nullptr},
        {Act::keepBlock, 0, Holder::none, Authority::failed, false, nullptr},
        {Act::release, 0, Holder::present, Authority::no, false, nullptr},
        // A run: polkit decides; where none answers, as before polkit.
        {Act::run, user, Holder::none, Authority::yes, true, nullptr},
        {Act::run, user, Holder::none, Authority::no, true, notAllowed},
        {Act::run, user, Holder::none, Authority::failed, true, ClientPolicy::notAnsweredReason},
        {Act::run, user, Holder::none, Authority::unavailable, true, nullptr},
        {Act::run, user, Holder::caller, Authority::yes, true, nullptr},
        {Act::run, user, Holder::caller, Authority::no, true, notAllowed},
        // Another user's block protects them while they are at the computer, not after.
        {Act::run, user, Holder::present, Authority::yes, true, others},
        {Act::run, user, Holder::present, Authority::unavailable, true, others},
        {Act::run, user, Holder::away, Authority::yes, true, nullptr},
        {Act::run, user, Holder::away, Authority::no, true, notAllowed},
        // Keeping a block after one's run.
        {Act::keepBlock, user, Holder::none, Authority::yes, true, nullptr},
        {Act::keepBlock, user, Holder::none, Authority::no, true, notAllowed},
        // Lifting: one's own block is always one's to lift; someone else's only once they left.
        {Act::release, user, Holder::caller, Authority::no, false, nullptr},
        {Act::release, user, Holder::present, Authority::yes, true, others},
        {Act::release, user, Holder::away, Authority::yes, true, nullptr},
        {Act::release, user, Holder::away, Authority::unavailable, true, nullptr},
        {Act::release, user, Holder::away, Authority::no, true, notAllowed},
        // A process that could not be pinned, or has ended, is asked about for no one.
        {Act::run, user, Holder::none, Authority::unjudged, true, ClientPolicy::callerGoneReason},
        {Act::keepBlock, user, Holder::none, Authority::unjudged, true,
         ClientPolicy::callerGoneReason},
        {Act::release, user, Holder::away, Authority::unjudged, true,
         ClientPolicy::callerGoneReason},
        {Act::release, user, Holder::caller, Authority::unjudged, false, nullptr},
        {Act::run, 0, Holder::none, Authority::unjudged, false, nullptr},
        // Why a process was not at the seat goes to the log with polkit's no.
        {Act::run, user, Holder::none, Authority::no, true, notAllowed, "session c3 has no seat"},
    };
    for (const Case& c : cases) {
        const auto what = "act " + std::to_string(static_cast<int>(c.act)) + ", uid " +
                          std::to_string(c.caller) + ", holder " +
                          std::to_string(static_cast<int>(c.holder)) + ", answer " +
                          std::to_string(static_cast<int>(c.answer));
        EXPECT_EQ(ClientPolicy::asksAuthority(c.act, c.caller, c.holder), c.asks) << what;
        const auto verdict = ClientPolicy::decide(c.act, c.caller, c.answer, c.holder, c.detail);
        EXPECT_EQ(verdict.allowed, c.reason == nullptr) << what;
        EXPECT_EQ(verdict.reason, c.reason ? c.reason : "") << what;
        EXPECT_EQ(verdict.why.empty(), c.reason == nullptr) << what;
        EXPECT_NE(verdict.why.find(c.detail), std::string::npos) << what;
    }
}

TEST(ClientPolicy, AProcessOutsideAnActiveSeatSessionIsAskedAboutActionsOnlyARuleGrants) {
    EXPECT_STREQ(ClientPolicy::actionFor(Act::run, true), "org.quovant.helper.run");
    EXPECT_STREQ(ClientPolicy::actionFor(Act::run, false), "org.quovant.helper.run.any-session");
    for (Act act : {Act::keepBlock, Act::release}) {
        EXPECT_STREQ(ClientPolicy::actionFor(act, true), "org.quovant.helper.block");
        EXPECT_STREQ(ClientPolicy::actionFor(act, false), "org.quovant.helper.block.any-session");
    }
}

TEST(ClientPolicy, ServesRootAndRegularAccountsFromLoginDefs) {
    const struct {
        const char* loginDefs;
        uid_t first;
    } defs[] = {
        {"", 1000},
        {"# UID_MIN 5\nUID_MIN\t\t 2000\nUID_MAX 60000\n", 2000},
        {"UID_MIN 500 # old\n", 1000},
        {"UID_MINIMUM 7\nUID_MIN 0\nUID_MIN -3\nUID_MIN 99999999999\n", 1000},
        {"  UID_MIN 1500\r\n", 1500},
    };
    for (const auto& d : defs)
        EXPECT_EQ(ClientPolicy::firstRegularUid(d.loginDefs), d.first) << d.loginDefs;

    const struct {
        uid_t uid;
        bool served;
    } uids[] = {{0, true},      {1, false},     {999, false},  {1000, true},
                {59999, true},  {60001, true},  {60513, true}, {61184, false},
                {65519, false}, {65534, false}, {65536, true}, {static_cast<uid_t>(-1), false}};
    for (const auto& u : uids)
        EXPECT_EQ(ClientPolicy::mayConnect(u.uid, 1000), u.served) << u.uid;
}

} // namespace
