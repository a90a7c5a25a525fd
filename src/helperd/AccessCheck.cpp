#include "helperd/AccessCheck.h"

#include "helperd/LoginSessions.h"

void AccessCheck::check(const std::shared_ptr<const CallerProcess>& process, uid_t uid,
                        ClientPolicy::Act act, Done done) {
    using Authority = ClientPolicy::Authority;
    // The subject is the process that asked, or nobody.
    if (!process)
        return done(Authority::unjudged, "it was never pinned");
    if (auto gone = process->gone())
        return done(Authority::unjudged, *gone);
    // Its own session counts, not its user's; what logind said is the caller's only if the
    // process still lives after the asking.
    const auto notAtSeat = LoginSessions::notAtSeat(process->pid(), uid);
    if (auto gone = process->gone())
        return done(Authority::unjudged, *gone);
    authority_.check({process->pid(), process->startTime(), uid, process->pidfd()},
                     ClientPolicy::actionFor(act, !notAtSeat),
                     [done = std::move(done), detail = notAtSeat.value_or("")](Authority answer) {
                         done(answer, detail);
                     });
}
