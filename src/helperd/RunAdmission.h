#pragma once

#include "helper/HelperWire.h"
#include "helperd/ClientTable.h"
#include "helperd/RunSupervisor.h"
#include "platform/Result.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>

// Whether a runOpenVPN request may go on, decided from what the daemon found out about
// it (whether the installed scripts are root's alone, the profile the caller handed
// over) and who holds the run slot (who may take the block over is ClientPolicy's). Pure:
// no file, no clock, no socket.
class RunAdmission {
public:
    struct Refusal {
        std::string why;    // for the log
        UserMessage reason; // for the client, which shows it to its user
    };
    struct Facts {
        // The scripts installed beside the helper, and whether they are root's alone.
        std::string upScript;
        std::string downScript;
        Result<void> scriptsTrusted = Result<void>::success();
        // The profile read from the descriptor that came with the request.
        Result<std::string> profile = Result<std::string>::failure("not read");
        std::optional<uid_t> runUid;
        // That run's user has left the computer: the run no longer keeps others from theirs.
        bool runOwnerAway = false;
    };
    using Decision = std::variant<RunSupervisor::Run, Refusal>;

    static Decision decide(const HelperRequest& request, const ClientTable::Caller& caller,
                           const Facts& facts);
};
