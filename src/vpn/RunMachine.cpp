#include "vpn/RunMachine.h"

#include "helper/HelperConnection.h"
#include "platform/UserText.h"
#include "vpn/ManagementCommand.h"

#include <algorithm>
#include <iterator>
#include <utility>

RunMachine::RunMachine(RunEffects& effects, RunTiming timing,
                       std::function<Clock::time_point()> now)
    : effects_(effects), timing_(timing), now_(std::move(now)) {}

void RunMachine::handle(const RunEvent& event) {
    using Kind = RunEvent::Kind;
    const RunPhase phase = status_.phase;
    // The user's events and the settings' are the current run's; the others must say so.
    switch (event.kind) {
    case Kind::connect:
    case Kind::startRun:
    case Kind::reconnect:
    case Kind::disconnect:
    case Kind::quit:
    case Kind::networkChanged:
    case Kind::leakBlockOff:
        break;
    default:
        if (!run_ || event.run != run_->id)
            return; // an event of a run that has ended
    }

    switch (event.kind) {
    case Kind::connect:
        if (phase == RunPhase::idle)
            return connect(event.credentials);
        if (phase == RunPhase::blocked)
            return handle(RunEvent::of(Kind::reconnect));
        if (phase == RunPhase::stopping && !quitting_) {
            // Connects once the openvpn that is ending is gone.
            run_->connectAfter = event.credentials;
            return;
        }
        return effects_.log("a connection is already being made");
    case Kind::startRun:
        if (phase != RunPhase::idle && phase != RunPhase::blocked)
            return effects_.log("not starting openvpn: a connection is still being made or ended");
        // A run started through the block takes it over, and protects what it protected.
        return startRun(event.text, event.credentials, phase == RunPhase::blocked);
    case Kind::reconnect:
        if (phase == RunPhase::reconnecting && status_.stillReconnecting) {
            effects_.log("the user asked openvpn to start over");
            return effects_.send("signal SIGUSR1\n");
        }
        if (phase != RunPhase::blocked)
            return;
        // No login first: the account service is out of reach while the block holds, and
        // opening the way for it would let everything out meanwhile. The new run takes the
        // block over, and keeps protecting what the dropped one protected.
        effects_.log("reconnecting through the block");
        return startRun(run_->request.config, run_->credentials, true);
    case Kind::quit:
        quitting_ = true;
        if (phase == RunPhase::idle)
            return effects_.quitDone();
        [[fallthrough]];
    case Kind::disconnect:
        switch (phase) {
        case RunPhase::idle:
            return;
        case RunPhase::preparing:
            effects_.log("the login was cancelled");
            effects_.cancelProfile();
            return finish({});
        case RunPhase::blocked:
            effects_.log("the user disconnected: traffic outside the VPN is no longer blocked");
            effects_.releaseBlock(run_->id);
            return finish({});
        case RunPhase::stopping:
            run_->userStopped = true;
            run_->connectAfter.reset();
            return;
        default:
            return stop(true);
        }
    case Kind::leakBlockOff:
        if (phase == RunPhase::blocked) {
            effects_.log("the user switched the block off while it held");
            handle(RunEvent::of(Kind::disconnect));
        }
        return;
    case Kind::profileReady:
        if (phase == RunPhase::preparing)
            startRun(event.text, run_->credentials);
        return;
    case Kind::profileFailed:
        if (phase == RunPhase::preparing)
            finish(event.message);
        return;
    case Kind::helperStarted:
        run_->helperRetries = 0;
        if (phase != RunPhase::requesting)
            return; // a stop is on its way to the helper
        setPhase(RunPhase::attaching);
        return effects_.attach(run_->id);
    case Kind::attached:
        if (phase != RunPhase::attaching)
            return;
        run_->attached = true;
        setPhase(RunPhase::connecting);
        for (const char* command : {"state on\n", "bytecount 1\n", "log on\n"})
            effects_.send(command);
        effects_.send(run_->request.usernameCommand);
        effects_.send(run_->request.passwordCommand);
        effects_.startReading(run_->id);
        // openvpn takes the credentials and starts on the first server now; a run that is
        // never up must end, with the way open, even when no server ever answers.
        run_->connectingSince = now_();
        run_->connectDeadline = run_->connectingSince + connectWindow(run_->servers);
        return timer(RunTimer::connectLimit, connectWindow(run_->servers));
    case Kind::attachFailed:
        if (phase != RunPhase::attaching)
            return;
        // Nobody can steer it; its end ends the run.
        return endConnection(event.message);
    case Kind::helperEnded:
        if (run_->attached) {
            // openvpn's last lines (why it ended) may still be on their way from the
            // management connection, which closes as openvpn exits.
            run_->endPending = event;
            return timer(RunTimer::managementLoss, timing_.managementLoss);
        }
        return ended(event.status, event.message, event.flag);
    case Kind::helperFailed:
        return helperFailed(event.code, event.message);
    case Kind::stateLine:
        return stateLine(event);
    case Kind::passwordNotice:
        return passwordNotice(event.text);
    case Kind::connectProblem:
        return connectProblem(static_cast<ConnectAttempts::Problem>(event.code));
    case Kind::attempt:
        return attemptAt(event.text);
    case Kind::byteCount: {
        const bool shownChanged = stats_.byteCount(event.in, event.out, now_());
        status_.stats = stats_.snapshot();
        if (shownChanged)
            effects_.trafficChanged();
        return;
    }
    case Kind::managementClosed:
        run_->attached = false;
        if (run_->endPending)
            return endNow();
        // openvpn closes the connection as it exits, and the helper then says so at once;
        // one that lives on without its management client can be neither steered nor
        // stopped from here.
        if (phase != RunPhase::stopping && phase != RunPhase::blocked && run_->asked)
            timer(RunTimer::managementLoss, timing_.managementLoss);
        return;
    case Kind::networkChanged:
        return networkChanged(event.text, event.flag);
    case Kind::timeout:
        return timeout(event.timer);
    case Kind::blockLifted:
        if (phase == RunPhase::blocked) {
            effects_.log("traffic outside the VPN is no longer blocked: " + event.message.plain());
            finish(event.message);
        }
        return;
    case Kind::helperGone:
        if (phase == RunPhase::blocked) {
            effects_.log("the VPN helper went away: traffic outside the VPN is no longer blocked");
            finish(blockEndedWithHelper);
        }
        return;
    }
}

void RunMachine::connect(const Credentials& credentials) {
    run_ = Run{};
    run_->id = nextId_++;
    run_->credentials = credentials;
    status_.failure.clear();
    setPhase(RunPhase::preparing);
    effects_.fetchProfile(run_->id, credentials);
}

void RunMachine::startRun(std::string config, Credentials credentials, bool everConnected) {
    // Refused before anything goes to the helper or openvpn, so a bad value can neither
    // start a tunnel nor be spliced into a management command.
    const auto usernameCommand = ManagementCommand::username(credentials.email);
    const auto passwordCommand = ManagementCommand::password(credentials.password);
    const auto scripts = effects_.scripts();
    UserMessage refusal;
    if (config.empty())
        refusal = USER_TEXT("Messages", "The VPN profile or the credentials are missing.");
    else if (!usernameCommand || !passwordCommand)
        refusal =
            USER_TEXT("Messages", "The e-mail address or the password holds a control character.");
    else if (!scripts)
        refusal = USER_TEXT("Messages", "The VPN helper's scripts are missing.");
    if (!refusal.empty()) {
        effects_.log("cannot start openvpn: " + refusal.plain());
        if (status_.phase == RunPhase::blocked) {
            // The block holds on; the user can still disconnect.
            status_.failure = refusal;
            ++status_.failureCount;
            return effects_.statusChanged(false);
        }
        if (!run_) {
            run_ = Run{};
            run_->id = nextId_++;
        }
        return finish(refusal);
    }
    const std::optional<Credentials> connectAfter = run_ ? run_->connectAfter : std::nullopt;
    run_ = Run{};
    run_->id = nextId_++;
    run_->credentials = credentials;
    run_->servers = effects_.servers(config);
    run_->request = {std::move(config), scripts->first,   scripts->second,
                     *usernameCommand,  *passwordCommand, leakBlock};
    run_->everConnected = everConnected;
    run_->connectAfter = connectAfter;
    status_.failure.clear();
    ask();
}

void RunMachine::ask() {
    run_->asked = true;
    run_->attached = false;
    setPhase(RunPhase::requesting);
    effects_.askHelper(run_->id, run_->request);
    // A helper that takes the request and then hangs must not leave the window waiting.
    timer(RunTimer::start, timing_.start);
}

void RunMachine::stop(bool userAsked) {
    Run& run = *run_;
    run.stopAsked = true;
    run.userStopped = run.userStopped || userAsked;
    setPhase(RunPhase::stopping);
    if (!run.asked)
        return ended(0, {}, false); // waiting to ask a helper that went away: nothing runs
    if (run.attached) {
        effects_.send("signal SIGINT\n");
        return timer(RunTimer::stopAnswer, timing_.stopAnswer);
    }
    effects_.kill(run.id, !run.userStopped && run.everConnected);
    timer(RunTimer::killAnswer, timing_.killAnswer);
}

void RunMachine::endConnection(const UserMessage& failure) {
    effects_.log("ending the VPN connection: " + failure.plain());
    fail(failure);
    stop(false);
}

void RunMachine::ended(int32_t status, const UserMessage& reason, bool blocking) {
    Run& run = *run_;
    run.endPending.reset();
    if ((reason == HelperProtocol::helperStoppedReason ||
         reason == HelperProtocol::helperStoppingReason) &&
        retryThroughHelper())
        return;
    run.asked = false;
    run.attached = false;
    // What the application itself found out (a wrong password, a time-out) says more than
    // the helper's end of the run; a stop the user asked for is no failure unless it did
    // not go as asked.
    UserMessage failure = !run.failure.empty() ? run.failure
                          : run.userStopped    ? UserMessage()
                                               : reason;
    // openvpn that gives up by itself (connect-retry-max) after servers failed says why.
    if (failure.empty() && !run.stopAsked && !run.everConnected && run.serversTried > 0)
        failure = ConnectAttempts::failure(run.problem);
    if (failure.empty() && !run.stopAsked)
        failure = {USER_TEXT("Messages",
                             "The VPN connection ended unexpectedly (openvpn exit status %1)."),
                   {std::to_string(status)}};
    stats_.stateStored(ConnectionState::noProcess, now_());
    storeWord(ConnectionState::noProcess);
    // Blocks protect only what was protected: a connection that was never up (a wrong
    // password, a server out of reach) ends with the way open and says why; so does one
    // whose user switched the block off while it ran.
    if (blocking && !run.userStopped && run.everConnected && leakBlock.enabled && !quitting_) {
        effects_.log("the connection dropped; traffic outside the VPN stays blocked: " +
                     failure.plain());
        status_.failure = failure;
        ++status_.failureCount;
        run.connectAfter.reset();
        effects_.watchBlock(run.id);
        return setPhase(RunPhase::blocked);
    }
    if (blocking || run.userStopped)
        effects_.releaseBlock(run.id);
    finish(failure);
}

void RunMachine::endNow() {
    // A copy: ending the run lets go of what it kept.
    const RunEvent end = *std::exchange(run_->endPending, std::nullopt);
    ended(end.status, end.message, end.flag);
}

bool RunMachine::retryThroughHelper() {
    Run& run = *run_;
    if (!automaticReconnect || run.stopAsked || quitting_ ||
        run.helperRetries >= std::size(helperRetryPauses))
        return false;
    const auto pause = helperRetryPauses[run.helperRetries++];
    effects_.log("the VPN helper went away; asking it again in " + std::to_string(pause.count()) +
                 " ms (attempt " + std::to_string(run.helperRetries) + " of " +
                 std::to_string(std::size(helperRetryPauses)) + ")");
    // A new id: whatever the old openvpn still reports is of a run that has ended.
    run.id = nextId_++;
    run.asked = false;
    run.attached = false;
    // Not a word of openvpn's, which is gone: the window must not go on showing a tunnel,
    // nor the end of one, while a new run is on its way.
    storeWord("RECONNECTING");
    setPhase(RunPhase::requesting);
    timer(RunTimer::helperRetry, pause);
    return true;
}

void RunMachine::finish(const UserMessage& failure) {
    std::optional<Credentials> connectAfter = run_ ? run_->connectAfter : std::nullopt;
    run_.reset();
    if (status_.state != ConnectionState::noProcess)
        storeWord(ConnectionState::noProcess);
    if (!failure.empty()) {
        effects_.log("connecting failed: " + failure.plain());
        status_.failure = failure;
        ++status_.failureCount;
        if (status_.phase == RunPhase::idle)
            effects_.statusChanged(false);
    }
    setPhase(RunPhase::idle);
    if (quitting_)
        return effects_.quitDone();
    if (connectAfter)
        connect(*connectAfter);
}

void RunMachine::fail(const UserMessage& failure) {
    if (run_ && run_->failure.empty())
        run_->failure = failure;
}

void RunMachine::stateLine(const RunEvent& event) {
    const std::string& word = event.text;
    // openvpn repeats these while re-applying its settings on a live tunnel; they do not
    // mean the tunnel went down.
    if (status_.state == ConnectionState::connected &&
        (word == ConnectionState::assignIP || word == ConnectionState::addRoutes))
        return;
    const std::string before = status_.state;
    stats_.stateAddress(event.extra);
    stats_.stateStored(word, now_());
    status_.stats = stats_.snapshot();
    if (status_.phase == RunPhase::connecting || status_.phase == RunPhase::reconnecting)
        status_.progress = ConnectAttempts::progress(word, run_->problem);
    storeWord(word);
    if (word == ConnectionState::exiting && event.detail == "auth-failure")
        fail(wrongVpnCredentials);
    if (status_.phase == RunPhase::connecting)
        attempt(event, before);
    switch (ConnectionState::phaseOf(word)) {
    case ConnectionState::Phase::connected:
        if (status_.phase == RunPhase::connecting || status_.phase == RunPhase::reconnecting) {
            run_->everConnected = true;
            run_->problem = ConnectAttempts::Problem::none;
            setPhase(RunPhase::connected);
        }
        break;
    case ConnectionState::Phase::connecting:
        if (status_.phase != RunPhase::connected)
            break;
        // openvpn starts over by itself after a drop; the user may have chosen not to.
        if (word == "RECONNECTING" && !automaticReconnect)
            return endConnection(USER_TEXT("Messages", "The VPN connection dropped and automatic "
                                                       "reconnecting is off, so it was ended."));
        run_->reconnectingSince = now_();
        status_.progress = ConnectAttempts::progress(word, run_->problem);
        setPhase(RunPhase::reconnecting);
        timer(RunTimer::reconnectNotice, timing_.reconnectNotice);
        break;
    default:
        break; // openvpn's end is told by the helper; an unknown word changes no phase
    }
}

void RunMachine::attempt(const RunEvent& event, const std::string& before) {
    Run& run = *run_;
    const std::string& word = event.text;
    if (before == "RECONNECTING" && word != before)
        run.problem = ConnectAttempts::Problem::none; // a new attempt, on the next server
    // AUTH: the server answered. Past it, the handshake is done ("Peer Connection
    // Initiated") and openvpn asks for the tunnel's settings, which a server may never send.
    if (word == "AUTH")
        run.handshaking = true;
    for (const char* pastTheHandshake :
         {"GET_CONFIG", ConnectionState::assignIP, ConnectionState::addRoutes})
        if (word == pastTheHandshake)
            run.handshaking = false;
    if (word != "RECONNECTING")
        return;
    const bool handshaking = std::exchange(run.handshaking, false);
    if (run.restartsAsked > 0) {
        --run.restartsAsked; // this run's own restart: the same server again
        return;
    }
    // A name that could not be looked up ("RESOLVE: Cannot resolve host address") makes
    // openvpn start over before it tries any server, and it goes on looking the name up:
    // no server was tried, and only the time limit ends such a run.
    if (before == "RESOLVE")
        return;
    // openvpn restarts once it has given up on a server, and goes on to the next. Its
    // handshake window ran out on a server that answered: the handshake failed; on one
    // that never answered, the server was simply not reached.
    if (event.detail == "tls-error" && handshaking) {
        run.problem = ConnectAttempts::Problem::tlsFailed;
        status_.progress = ConnectAttempts::progress(word, run.problem);
    }
    // Where openvpn names the servers it tries, it has tried every one once it comes back
    // to one; where it does not, once it has given up as often as the profile has servers.
    if (++run.serversTried >= run.servers && run.attempted.empty())
        everyServerTried();
}

void RunMachine::attemptAt(const std::string& server) {
    if (status_.phase != RunPhase::connecting)
        return;
    Run& run = *run_;
    const bool again =
        std::find(run.attempted.begin(), run.attempted.end(), server) != run.attempted.end();
    if (!again) {
        // A profile too long to remember the servers of ends on the profile's count alone.
        if (run.attempted.size() < 256)
            run.attempted.push_back(server);
        // openvpn tries each address of a name in turn, with its whole window, and starts on
        // the next only once the last one's is over: each new address is a server more.
        if (run.addresses < countedAddresses) {
            ++run.addresses;
            run.connectDeadline =
                std::max({run.connectDeadline,
                          run.connectingSince + connectWindow(std::max(run.servers, run.addresses)),
                          now_() + timing_.serverWindow + timing_.nextServer});
        }
        return;
    }
    if (run.serversTried >= run.servers)
        everyServerTried();
}

std::chrono::milliseconds RunMachine::connectWindow(size_t servers) const {
    return timing_.serverWindow * static_cast<int>(servers);
}

void RunMachine::everyServerTried() {
    effects_.log("openvpn has tried every server of the profile");
    endConnection(ConnectAttempts::failure(run_->problem));
}

void RunMachine::connectProblem(ConnectAttempts::Problem problem) {
    const RunPhase phase = status_.phase;
    if (phase != RunPhase::connecting && phase != RunPhase::reconnecting)
        return;
    run_->problem = problem;
    status_.progress = ConnectAttempts::progress(status_.state, problem);
    effects_.statusChanged(false);
}

void RunMachine::passwordNotice(const std::string& payload) {
    if (payload.starts_with("Verification Failed: 'Auth'")) {
        fail(wrongVpnCredentials);
    } else if (payload.starts_with("Need 'Auth' username/password") &&
               run_->credentialPrompts++ > 0) {
        // The opening commands answer the first prompt. openvpn asks again after a
        // reconnect when the profile tells it not to keep the credentials.
        effects_.send(run_->request.usernameCommand);
        effects_.send(run_->request.passwordCommand);
    }
}

void RunMachine::networkChanged(const std::string& what, bool appeared) {
    const RunPhase phase = status_.phase;
    if (!run_ || !run_->attached ||
        (phase != RunPhase::connecting && phase != RunPhase::connected &&
         phase != RunPhase::reconnecting))
        return;
    // While openvpn makes its connection it moves routes itself; a change that brings no
    // new way out then is its own, or gives it nothing to start over for.
    if (!appeared && phase != RunPhase::connected)
        return effects_.log(what + ": left to openvpn, which is connecting");
    if (!automaticReconnect)
        return endConnection(
            {USER_TEXT("Messages",
                       "The VPN connection was ended: %1, and automatic reconnecting is off."),
             {what}});
    effects_.log(what + ": restarting the tunnel");
    effects_.send("signal SIGUSR1\n");
    if (phase == RunPhase::connecting) {
        // The restart tries the same server again, which is no sign of having gone round.
        ++run_->restartsAsked;
        run_->attempted.clear();
    }
}

void RunMachine::timeout(RunTimer which) {
    const RunPhase phase = status_.phase;
    switch (which) {
    case RunTimer::start:
        if (phase == RunPhase::requesting && run_->asked)
            endConnection(helperTooSlow);
        return;
    case RunTimer::stopAnswer:
        if (phase == RunPhase::stopping && run_->asked) {
            effects_.log("openvpn did not stop when asked; asking the helper to end it");
            effects_.kill(run_->id, !run_->userStopped && run_->everConnected);
            timer(RunTimer::killAnswer, timing_.killAnswer);
        }
        return;
    case RunTimer::killAnswer:
        if (phase == RunPhase::stopping && run_->asked) {
            effects_.log("the helper did not say that openvpn ended; giving up on it");
            fail(helperSilent);
            // Whether the block outlives the run is not known: as after a drop, a guarded
            // connection that was up stays blocked with both ways out, any other is released.
            ended(HelperProtocol::refusedStatus, {}, run_->request.block.enabled);
        }
        return;
    case RunTimer::managementLoss:
        if (run_->endPending)
            return endNow();
        if (phase != RunPhase::stopping && phase != RunPhase::blocked && run_->asked &&
            !run_->attached)
            endConnection(managementBroke);
        return;
    case RunTimer::helperRetry:
        if (phase == RunPhase::requesting && !run_->asked)
            ask();
        return;
    case RunTimer::connectLimit:
        if (phase == RunPhase::connecting) {
            // New addresses may have moved the end since the timer was started, and the
            // main loop's timers may fire a little early.
            if (const auto left = run_->connectDeadline - now_(); left > Clock::duration::zero())
                return timer(RunTimer::connectLimit,
                             std::chrono::ceil<std::chrono::milliseconds>(left));
            effects_.log("no VPN server was reached in time");
            // The server answered and the handshake has not finished within the window.
            if (run_->handshaking && run_->problem == ConnectAttempts::Problem::none)
                run_->problem = ConnectAttempts::Problem::tlsFailed;
            endConnection(ConnectAttempts::failure(run_->problem));
        }
        return;
    case RunTimer::reconnectNotice: {
        // Once per drop, for a run whose block holds while it is remade.
        if (phase != RunPhase::reconnecting || status_.stillReconnecting ||
            !run_->request.block.enabled)
            return;
        // The main loop's timers may fire a little early, and the drop may have come back
        // and gone again since this one was started: the rest of the time is waited out.
        const auto waited = now_() - run_->reconnectingSince;
        if (waited < timing_.reconnectNotice)
            return timer(RunTimer::reconnectNotice, std::chrono::ceil<std::chrono::milliseconds>(
                                                        timing_.reconnectNotice - waited));
        effects_.log("the tunnel is still being remade; the block holds meanwhile");
        status_.stillReconnecting = true;
        return effects_.statusChanged(false);
    }
    }
}

void RunMachine::helperFailed(int code, const UserMessage& description) {
    effects_.log("the VPN helper failed: " + description.plain());
    // A connection that broke (rather than one never made) is a helper restarting; while
    // it restarts, there may be no connection to be had for a moment.
    const bool restarting = code == HelperError::interrupted ||
                            (code == HelperError::invalid && run_->helperRetries > 0);
    if (restarting && retryThroughHelper())
        return;
    ended(HelperProtocol::refusedStatus,
          code == HelperError::busy
              ? description
              : UserMessage(USER_TEXT("Messages", "The VPN helper could not be reached (%1)."),
                            {description}),
          false);
}

void RunMachine::storeWord(const std::string& word) {
    status_.state = word;
    status_.stats = stats_.snapshot();
    effects_.statusChanged(true);
}

void RunMachine::setPhase(RunPhase phase) {
    if (phase == status_.phase)
        return;
    status_.phase = phase;
    if (phase != RunPhase::connecting && phase != RunPhase::reconnecting)
        status_.progress.clear();
    if (phase != RunPhase::reconnecting)
        status_.stillReconnecting = false;
    status_.stats = stats_.snapshot();
    effects_.statusChanged(false);
}

void RunMachine::timer(RunTimer which, std::chrono::milliseconds after) {
    effects_.startTimer(run_->id, which, after);
}
