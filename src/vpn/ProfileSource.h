#pragma once

#include "platform/UserMessage.h"
#include "vpn/RunEvent.h"

#include <functional>
#include <optional>
#include <string>

// Where a connect gets its profile: the account service's login chain in the
// application. Main thread.
class ProfileSource {
public:
    // The saved profile's path, or why there is none (the message the user is shown).
    struct Outcome {
        std::optional<std::string> profilePath;
        UserMessage failure;
    };
    using Completion = std::function<void(const Outcome&)>;

    virtual ~ProfileSource() = default;
    // Runs the chain; `completion` runs once on the main thread, unless cancelled first.
    virtual void fetch(const Credentials& credentials, Completion completion) = 0;
    // Ends the chain under way: its requests stop and its completion never runs.
    virtual void cancel() = 0;
};
