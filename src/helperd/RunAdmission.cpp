#include "helperd/RunAdmission.h"

#include "helperd/ClientPolicy.h"
#include "helperd/NumericRemotes.h"
#include "helperd/ProfileChecker.h"
#include "platform/UserText.h"

RunAdmission::Decision RunAdmission::decide(const HelperRequest& request,
                                            const ClientTable::Caller& caller, const Facts& facts) {
    if (request.clientUp != facts.upScript || request.clientDown != facts.downScript)
        return Refusal{
            "scripts are not the ones installed beside the helper",
            USER_TEXT("Messages",
                      "The VPN scripts are not the ones installed with the VPN helper.")};
    if (!facts.scriptsTrusted)
        return Refusal{
            facts.scriptsTrusted.why(),
            USER_TEXT("Messages",
                      "The VPN helper's scripts may be changed by someone other than root.")};
    if (!facts.profile)
        return Refusal{facts.profile.why(),
                       {USER_TEXT("Messages", "The VPN profile could not be used: %1."),
                        {facts.profile.why()}}};
    const ProfileVerdict verdict = ProfileChecker::check(facts.profile.value());
    if (!verdict)
        return Refusal{"profile " + verdict.why().describe(),
                       {USER_TEXT("Messages", "The VPN profile was refused (%1)."),
                        {verdict.why().describe()}}};
    if (facts.runUid && !ClientPolicy::mayControl(caller.uid, *facts.runUid) && !facts.runOwnerAway)
        return Refusal{
            "a run of uid " + std::to_string(*facts.runUid) + " is going on",
            USER_TEXT("Messages", "Another user's VPN connection is running on this computer.")};

    RunSupervisor::Run run;
    run.owner = {caller.id, request.id, caller.uid};
    run.launch.profile = facts.profile.value();
    run.launch.upScript = facts.upScript;
    run.launch.downScript = facts.downScript;
    run.blockLeaks = request.blockLeaks;
    run.allowLocalNetwork = request.allowLocalNetwork;
    if (run.blockLeaks)
        run.names = NumericRemotes::hostNames(run.launch.profile);
    return run;
}
