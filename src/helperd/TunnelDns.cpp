#include "helperd/TunnelDns.h"

#include "helperd/DaemonLog.h"
#include "platform/Overloaded.h"

const char* TunnelDns::phaseName(Phase phase) {
    switch (phase) {
    case Phase::idle:
        return "idle";
    case Phase::applying:
        return "applying";
    case Phase::applied:
        return "applied";
    case Phase::reverting:
        return "reverting";
    }
    return "?";
}

void TunnelDns::handle(Event event) {
    std::visit(Overloaded{
                   [&](Leftover& e) {
                       if (changed_)
                           return;
                       DaemonLog::line("undoing the DNS changes of a run the helper did not end");
                       changed_ = std::move(e.record);
                       changedFor_.reset();
                   },
                   [&](Up& e) { up(std::move(e)); },
                   [&](Down& e) {
                       if (wanted_ && wanted_->run == e.run)
                           wanted_.reset();
                       if (waiting_ == e.run)
                           waiting_.reset();
                   },
                   [&](Done& e) { done(std::move(e)); },
               },
               event);
    converge();
}

void TunnelDns::up(Up up) {
    PushedDns pushed = PushedDns::fromEnvironment(up.environment);
    for (const std::string& ignored : pushed.ignored)
        DaemonLog::line("ignoring what the VPN server pushed: " + ignored);
    pushed.defaultRoute = FullTunnel::takesDefaultRoute(up.routes);
    if (waiting_ && *waiting_ != up.run)
        ports_.acknowledge(*waiting_, false);
    waiting_.reset();
    const DnsPlan::Setup setup = ports_.setup();
    for (const auto& s : pushed.servers)
        if (const char* why = DnsPlan::unusable(s, setup))
            DaemonLog::line("leaving out the DNS server " + s.text + ": " + why);
    auto plan = DnsPlan::forPush(pushed, setup);
    if (!plan) {
        // Whatever an earlier report applied goes.
        wanted_.reset();
        // Servers pushed that this machine's way cannot use: names would leak past the
        // tunnel or fail while the run says it is connected, so the run fails instead. With
        // none pushed (or no way to change DNS at all) nothing is to be done.
        const bool cannot = !pushed.servers.empty() && setup != DnsPlan::Setup::none;
        if (cannot)
            DaemonLog::line("none of the VPN's DNS servers can be used here");
        return ports_.acknowledge(up.run, !cannot);
    }
    DaemonLog::line(pushed.defaultRoute
                        ? "the tunnel takes the default route: every name goes to its DNS servers"
                        : "a split tunnel: only its domains go to its DNS servers");
    wanted_ = Wish{up.run, std::move(up.device), std::move(*plan)};
    waiting_ = up.run;
    // A second report of the same run replaces the first.
    if (changedFor_ == up.run)
        changedFor_.reset();
}

void TunnelDns::done(Done done) {
    if (done.change != change_ || (phase_ != Phase::applying && phase_ != Phase::reverting))
        return;
    if (phase_ == Phase::reverting) {
        if (!done.error.empty())
            DaemonLog::line("could not undo the tunnel's DNS: " + done.error);
        changed_.reset();
        changedFor_.reset();
        phase_ = Phase::idle;
        return;
    }
    changed_ = std::move(done.record);
    const bool applied = done.error.empty();
    if (applied) {
        changedFor_ = applying_;
    } else {
        DaemonLog::line("could not apply the tunnel's DNS: " + done.error);
        // What it changed goes back; the run is not tried again.
        changedFor_.reset();
        if (wanted_ && wanted_->run == applying_)
            wanted_.reset();
    }
    phase_ = changed_ ? Phase::applied : Phase::idle;
    if (waiting_ == applying_) {
        waiting_.reset();
        ports_.acknowledge(applying_, applied);
    }
}

void TunnelDns::converge() {
    if (phase_ == Phase::applying || phase_ == Phase::reverting)
        return;
    if (changed_ && !(wanted_ && changedFor_ == wanted_->run)) {
        phase_ = Phase::reverting;
        return ports_.revert(++change_, *changed_);
    }
    if (!changed_ && wanted_) {
        phase_ = Phase::applying;
        applying_ = wanted_->run;
        return ports_.apply(++change_, wanted_->device, wanted_->plan);
    }
    phase_ = changed_ ? Phase::applied : Phase::idle;
}
