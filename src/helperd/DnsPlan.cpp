#include "helperd/DnsPlan.h"

#include <algorithm>

DnsPlan::Setup DnsPlan::setupFor(const Facts& facts) {
    const bool toResolved = facts.resolvConfTarget == "/run/systemd/resolve/stub-resolv.conf" ||
                            facts.resolvConfTarget == "/run/systemd/resolve/resolv.conf";
    if (toResolved)
        // resolved's file with resolved stopped: lookups fail with or without the tunnel,
        // and replacing its link would leave the machine so when resolved comes back.
        return facts.resolvedRunning ? Setup::resolved : Setup::none;
    // A file (or a link elsewhere): whatever resolved may run, it does not serve lookups.
    return facts.resolvconfInstalled ? Setup::resolvconf : Setup::file;
}

const char* DnsPlan::unusable(const PushedDns::Server& server, Setup setup) {
    if (setup != Setup::resolvconf && setup != Setup::file)
        return nullptr;
    if (server.overTls)
        return "resolv.conf cannot ask it over TLS";
    if (server.port != 0 && server.port != 53)
        return "resolv.conf cannot name its port";
    return nullptr;
}

std::optional<DnsPlan> DnsPlan::forPush(const PushedDns& pushed, Setup setup) {
    if (pushed.servers.empty() || setup == Setup::none)
        return std::nullopt;
    DnsPlan plan;
    plan.setup = setup;
    plan.servers = pushed.servers;
    if (setup == Setup::resolved) {
        if (pushed.defaultRoute)
            plan.domains.push_back({".", true});
        for (const auto* list : {&pushed.routingDomains, &pushed.searchDomains})
            for (const std::string& name : *list)
                if (std::find(plan.domains.begin(), plan.domains.end(), Domain{name, true}) ==
                    plan.domains.end())
                    plan.domains.push_back({name, true});
        plan.defaultRoute = pushed.defaultRoute;
        // One setting for the link: over TLS only when every server said so, else a global
        // DNSOverTLS=yes would send plain servers TLS they do not answer.
        plan.dnsOverTls = std::all_of(plan.servers.begin(), plan.servers.end(),
                                      [](const auto& s) { return s.overTls; });
        return plan;
    }
    plan.exclusive = setup == Setup::resolvconf && pushed.defaultRoute;
    std::erase_if(plan.servers, [&](const auto& s) { return unusable(s, setup) != nullptr; });
    if (plan.servers.empty())
        return std::nullopt;
    for (const auto& s : plan.servers)
        plan.resolvConf += "nameserver " + s.text + "\n";
    if (!pushed.searchDomains.empty()) {
        plan.resolvConf += "search";
        for (const std::string& name : pushed.searchDomains)
            plan.resolvConf += " " + name;
        plan.resolvConf += "\n";
    }
    return plan;
}
