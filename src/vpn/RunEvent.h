#pragma once

#include "platform/UniqueFd.h"
#include "platform/UserMessage.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// The time-outs of a run, each a posted event.
enum class RunTimer {
    start,           // the helper has not said that openvpn runs
    stopAnswer,      // openvpn has not ended after "signal SIGINT"
    killAnswer,      // the helper has not said that openvpn ended after it was asked to end it
    managementLoss,  // the management connection closed and openvpn was not reported ended
    helperRetry,     // the pause before a helper that went away is asked again
    connectLimit,    // the servers' time to be reached is over
    reconnectNotice, // the tunnel that was up has been remade for long
};

// The e-mail address, password and remember-me choice of one connect.
struct Credentials {
    std::string email;
    std::string password;
    bool remember = false;
};

// Something that happened to the connection: what the user did, and what the account
// service, the helper, openvpn's management interface, the network and the clock
// reported. Events from outside carry the id of the run they belong to; the run's owner
// drops those of a run that has ended.
struct RunEvent {
    enum class Kind {
        connect,          // the user: log in and connect (credentials)
        startRun,         // a run with the given profile (text) and credentials
        reconnect,        // the user: a new run through the block, with the last run's profile
        disconnect,       // the user: cancel, disconnect, or open the way the block holds shut
        quit,             // the application is ending: as disconnect, and the block goes too
        profileReady,     // the account service's profile is saved at `text`
        profileFailed,    // the login chain failed with `message`
        helperStarted,    // openvpn runs; `descriptor` is the connection to its management
        helperEnded,      // openvpn ended (`status`, reason `message`, `flag`: the block holds)
        helperFailed,     // no answer from the helper: `code`, description `message`
        attached,         // the management client has the run's connection
        attachFailed,     // the management interface could not be reached (`message`: why)
        stateLine,        // ">STATE:" word `text`, description `detail`, server address `extra`
        passwordNotice,   // ">PASSWORD:" payload `text`
        connectProblem,   // a log line told why the server is not reached (`code`: the Problem)
        attempt,          // a log line told that openvpn tries the server at `text`
        byteCount,        // ">BYTECOUNT:" `in`, `out`
        managementClosed, // the management connection closed
        networkChanged,   // the network under the tunnel changed (`text`; `flag`: a way out came)
        timeout,          // `timer` ran out
        helperGone,       // the helper connection of the run that holds the block broke
        blockLifted,      // someone else ended the block of the run (`message`: who)
        leakBlockOff,     // the user no longer wants traffic outside the tunnel blocked
    };

    Kind kind = Kind::disconnect;
    uint64_t run = 0;
    std::string text;
    std::string detail;
    std::string extra;
    UserMessage message; // what the user is told
    Credentials credentials;
    int32_t status = 0;
    int code = 0;
    bool flag = false;
    uint64_t in = 0;
    uint64_t out = 0;
    RunTimer timer = RunTimer::start;
    std::shared_ptr<UniqueFd> descriptor;

    static RunEvent of(Kind kind, uint64_t run = 0, std::string text = {}) {
        RunEvent event;
        event.kind = kind;
        event.run = run;
        event.text = std::move(text);
        return event;
    }
    static RunEvent told(Kind kind, uint64_t run, UserMessage message) {
        RunEvent event = of(kind, run);
        event.message = std::move(message);
        return event;
    }
};
