#include "helperd/DnsEffects.h"

#include "helperd/DaemonLog.h"
#include "helperd/ResolvedLink.h"

#include <net/if.h>

DnsEffects::DnsEffects(Settings settings)
    : settings_(std::move(settings)), records_(settings_.recordPath),
      resolvconf_(settings_.resolvconfProgram) {}

std::optional<DnsRecord> DnsEffects::leftover() const {
    auto loaded = records_.load();
    if (!loaded) {
        DaemonLog::line("cannot read the record of DNS changes: " + loaded.why());
        return std::nullopt;
    }
    return loaded.value();
}

DnsPlan::Setup DnsEffects::setup() {
    return DnsPlan::setupFor(settings_.facts.read());
}

void DnsEffects::done(uint64_t change, const std::string& error, std::optional<DnsRecord> record) {
    settings_.post(TunnelDns::Done{change, error, std::move(record)});
}

void DnsEffects::apply(uint64_t change, const std::string& device, const DnsPlan& plan) {
    DnsRecord record;
    record.setup = plan.setup;
    record.ifname = device;
    record.ifindex = static_cast<int>(::if_nametoindex(device.c_str()));
    if (!DnsRecord::deviceName(device) || record.ifindex <= 0)
        return done(change, "the tunnel " + device + " is not there", std::nullopt);
    if (plan.setup == DnsPlan::Setup::file) {
        const ResolvConfFile file(settings_.resolvConf);
        auto original = file.read();
        if (!original)
            return done(change, original.why(), std::nullopt);
        record.original = original.value();
        record.written = plan.resolvConf;
    }
    // Written down first: whatever happens next, the daemon knows what to undo.
    if (const auto saved = records_.save(record); !saved)
        return done(change, "cannot keep the record of DNS changes: " + saved.why(), std::nullopt);
    switch (plan.setup) {
    case DnsPlan::Setup::resolved:
        return applyResolved(change, record, plan);
    case DnsPlan::Setup::resolvconf:
        if (const auto started = resolvconf_.start(
                ResolvconfRun::add(device, plan.exclusive && settings_.facts.openresolv()),
                plan.resolvConf);
            !started)
            return done(change, "resolvconf: " + started.why(), record);
        resolvconfChange_ = change;
        resolvconfRecord_ = record;
        return;
    case DnsPlan::Setup::file: {
        const auto replaced = ResolvConfFile(settings_.resolvConf).replace(plan.resolvConf);
        return done(change, replaced ? "" : replaced.why(), record);
    }
    case DnsPlan::Setup::none:
        break;
    }
    done(change, "no way to change DNS on this computer", record);
}

void DnsEffects::applyResolved(uint64_t change, const DnsRecord& record, const DnsPlan& plan) {
    std::string why;
    sd_bus* bus = settings_.bus->get(why);
    if (!bus)
        return done(change, why, record);
    ResolvedLink::apply(bus, record.ifindex, plan,
                        [this, change, record](const std::string& error) {
                            done(change, error.empty() ? "" : "systemd-resolved: " + error, record);
                        });
}

void DnsEffects::revert(uint64_t change, const DnsRecord& record) {
    switch (record.setup) {
    case DnsPlan::Setup::resolved: {
        // A link that is gone took its settings with it; an index that now names another
        // link is not ours to revert.
        char name[IF_NAMESIZE] = {};
        if (!::if_indextoname(static_cast<unsigned>(record.ifindex), name) || record.ifname != name)
            return reverted(change, "");
        std::string why;
        sd_bus* bus = settings_.bus->get(why);
        if (!bus)
            return reverted(change, why);
        return ResolvedLink::revert(bus, record.ifindex, [this, change](const std::string& error) {
            reverted(change, error.empty() ? "" : "systemd-resolved: " + error);
        });
    }
    case DnsPlan::Setup::resolvconf:
        if (const auto started = resolvconf_.start(ResolvconfRun::remove(record.ifname), "");
            !started)
            return reverted(change, "resolvconf: " + started.why());
        resolvconfChange_ = change;
        resolvconfRecord_.reset();
        return;
    case DnsPlan::Setup::file: {
        const auto restored =
            ResolvConfFile(settings_.resolvConf).restore(record.original, record.written);
        if (restored && !restored.value())
            DaemonLog::line("keeping " + settings_.resolvConf + ": it was changed during the run");
        return reverted(change, restored ? "" : restored.why());
    }
    case DnsPlan::Setup::none:
        break;
    }
    reverted(change, "");
}

void DnsEffects::reverted(uint64_t change, const std::string& error) {
    if (const auto removed = records_.remove(); !removed)
        DaemonLog::line("cannot remove the record of DNS changes: " + removed.why());
    done(change, error, std::nullopt);
}

void DnsEffects::resolvconfEnded() {
    const bool due = ResolvconfRun::Clock::now() >= resolvconf_.deadline();
    const auto ended = due ? resolvconf_.stop() : resolvconf_.finish();
    const std::string error = ended ? "" : "resolvconf: " + ended.why();
    if (resolvconfRecord_)
        return done(resolvconfChange_, error, std::exchange(resolvconfRecord_, std::nullopt));
    reverted(resolvconfChange_, error);
}

void DnsEffects::acknowledge(uint64_t run, bool applied) {
    settings_.acknowledge(run, applied);
}
