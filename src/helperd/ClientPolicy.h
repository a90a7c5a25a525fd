#pragma once

#include "platform/UserText.h"

#include <string>
#include <string_view>
#include <sys/types.h>

// Who may do what to the machine's network through the helper. Connecting is for root and
// the regular accounts (not system accounts such as nobody or service users). Changing the
// network (a run, a block kept after a run, lifting someone else's block) is for whom
// polkit allows it, normally the user at the computer in its active session; root always.
// Pure: the daemon finds out the facts (polkit's answer, whether a block's owner is still
// at the computer) and asks here.
class ClientPolicy {
public:
    static constexpr uid_t defaultFirstRegularUid = 1000;
    static constexpr const char* runAction = "org.quovant.helper.run";
    static constexpr const char* blockAction = "org.quovant.helper.block";
    // The same acts asked from outside a local session active on its seat (SSH, a session
    // switched away from, cron). Their defaults allow no one: polkit says yes to them only
    // where an administrator's rule grants them, which is how the daemon tells such a grant
    // from the yes of allow_active, which polkit takes from any of the user's sessions.
    static constexpr const char* runAnySessionAction = "org.quovant.helper.run.any-session";
    static constexpr const char* blockAnySessionAction = "org.quovant.helper.block.any-session";

    static constexpr const char* notAllowedReason = USER_TEXT(
        "Messages",
        "You may not change this computer's network: that is for the user at the computer, in "
        "its active session, or for an administrator.");
    static constexpr const char* notAnsweredReason = USER_TEXT(
        "Messages",
        "The VPN helper could not find out in time whether you may change this computer's "
        "network.");
    static constexpr const char* callerGoneReason =
        USER_TEXT("Messages", "The VPN helper could not tell which program asked: the one that "
                              "connected had ended.");
    static constexpr const char* othersBlockReason = USER_TEXT(
        "Messages",
        "Another user's VPN connection dropped and still blocks traffic outside the VPN on this "
        "computer.");

    // UID_MIN of login.defs text; the default where it names none (or nonsense).
    static uid_t firstRegularUid(std::string_view loginDefs);
    // Of /etc/login.defs.
    static uid_t firstRegularUid();
    static bool mayConnect(uid_t uid, uid_t firstRegular);
    // Ending or replacing a running openvpn is for the user who started it, or root.
    static bool mayControl(uid_t caller, uid_t owner) { return caller == 0 || caller == owner; }

    // polkit's answer: `unavailable` where no authority answers at all (no system bus, no
    // polkit), `failed` where it did not answer in time or could not decide (or said the
    // process was replaced); `unjudged` where it was not asked, as the process that connected
    // could not be pinned or has ended.
    enum class Authority { yes, no, unavailable, failed, unjudged };
    // Whose block of traffic outside the tunnel holds, seen from the caller: none, the
    // caller's own (any process of that user), or another user's who is still at the
    // computer or who is not (gone from the active session).
    enum class BlockHolder { none, caller, present, away };
    enum class Act { run, keepBlock, release };
    struct Verdict {
        bool allowed = true;
        std::string why;    // for the log
        std::string reason; // for the client
    };

    // Whether the act needs polkit's answer at all: root never does, and lifting one's own
    // block only gives the network back.
    static bool asksAuthority(Act act, uid_t caller, BlockHolder holder);
    // The polkit action to ask about, by whether the asking process sits in a local session
    // active on its seat.
    static const char* actionFor(Act act, bool atSeat);
    // `detail`, for the log: why the process was not judged, or why it is not at the seat.
    static Verdict decide(Act act, uid_t caller, Authority answer, BlockHolder holder,
                          const std::string& detail = {});
};
