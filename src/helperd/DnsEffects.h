#pragma once

#include "helperd/DnsRecordFile.h"
#include "helperd/ResolvConfFile.h"
#include "helperd/ResolvconfRun.h"
#include "helperd/ResolverFacts.h"
#include "helperd/SystemBus.h"
#include "helperd/TunnelDns.h"

#include <functional>
#include <optional>
#include <string>

// What TunnelDns's decisions do to the machine: systemd-resolved's link settings over the
// daemon's system bus, a resolvconf child, or /etc/resolv.conf replaced and put back; the
// record of each change kept on disk before the change is made and removed once it is
// undone. Every outcome comes back as a posted Done; the daemon's loop waits on the bus
// and on resolvconf's descriptor and deadline.
class DnsEffects : public TunnelDns::Ports {
public:
    struct Settings {
        SystemBus* bus = nullptr;
        std::string recordPath;
        ResolverFacts facts;
        std::string resolvConf = "/etc/resolv.conf";
        std::string resolvconfProgram = "/sbin/resolvconf";
        std::function<void(TunnelDns::Event)> post;
        std::function<void(uint64_t run, bool applied)> acknowledge;
    };

    explicit DnsEffects(Settings settings);

    // What a daemon that was killed left to undo.
    std::optional<DnsRecord> leftover() const;

    // resolvconf, while it runs: the loop calls resolvconfEnded() once fd() is readable or
    // the deadline has passed.
    const ResolvconfRun& resolvconf() const { return resolvconf_; }
    void resolvconfEnded();

    DnsPlan::Setup setup() override;
    void apply(uint64_t change, const std::string& device, const DnsPlan& plan) override;
    void revert(uint64_t change, const DnsRecord& record) override;
    void acknowledge(uint64_t run, bool applied) override;

private:
    void applyResolved(uint64_t change, const DnsRecord& record, const DnsPlan& plan);
    void done(uint64_t change, const std::string& error, std::optional<DnsRecord> record);
    // Once undone (or found not to be there), the record goes.
    void reverted(uint64_t change, const std::string& error);

    Settings settings_;
    DnsRecordFile records_;
    ResolvconfRun resolvconf_;
    // The change resolvconf runs for, and the record to hand back once it has.
    uint64_t resolvconfChange_ = 0;
    std::optional<DnsRecord> resolvconfRecord_;
};
