#pragma once

#include "helperd/CallerProcess.h"
#include "helperd/ClientPolicy.h"
#include "helperd/PolkitAuthority.h"

#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

// Finds out what polkit says to an act of the process that asked: none is asked about a
// process that was never pinned or has ended (`unjudged`); one in a local session active on
// its seat about the act's action, any other about the action only an administrator's rule
// grants (ClientPolicy::actionFor). The answer comes with what the log should say of it.
class AccessCheck {
public:
    using Done = std::function<void(ClientPolicy::Authority, const std::string& detail)>;

    explicit AccessCheck(PolkitAuthority& authority) : authority_(authority) {}
    // `done` runs once: at once where no one is asked, else with polkit's answer.
    void check(const std::shared_ptr<const CallerProcess>& process, uid_t uid,
               ClientPolicy::Act act, Done done);

private:
    PolkitAuthority& authority_;
};
