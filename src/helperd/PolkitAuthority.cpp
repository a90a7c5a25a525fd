#include "helperd/PolkitAuthority.h"

#include "helperd/DaemonLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace {

// The errors that say nobody is there to ask, as against an authority that failed to decide.
bool noAuthority(const char* name) {
    for (const char* absent :
         {"org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
          "org.freedesktop.DBus.Error.UnknownObject", "org.freedesktop.DBus.Error.UnknownMethod"})
        if (std::strcmp(name, absent) == 0)
            return true;
    return std::strncmp(name, "org.freedesktop.DBus.Error.Spawn.", 33) == 0;
}

} // namespace

PolkitAuthority::PolkitAuthority(SystemBus& bus) : bus_(bus) {
    bus_.onLost([this](const std::string&) { lost(); });
}

void PolkitAuthority::unavailable(const std::string& why) {
    if (toldUnavailable_)
        return;
    toldUnavailable_ = true;
    DaemonLog::line("could not ask polkit (" + why +
                    "): regular users may change the network without it");
}

void PolkitAuthority::lost() {
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& [id, entry] : pending)
        entry->callback(Answer::failed);
}

void PolkitAuthority::check(const Subject& subject, const std::string& action, Callback callback) {
    std::string why;
    sd_bus* bus = bus_.get(why);
    if (!bus) {
        unavailable(why);
        return callback(Answer::unavailable);
    }
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(
        bus, &call, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
        "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
    // The subject (unix-process: pid, start time, uid, and the pidfd where there is one),
    // the action, no details, flags 0: no interaction, so polkit answers at once and never
    // shows its dialog, and no cancellation id.
    if (r >= 0 && subject.pidfd >= 0)
        r = sd_bus_message_append(call, "(sa{sv})", "unix-process", 4, "pid", "u",
                                  static_cast<uint32_t>(subject.pid), "start-time", "t",
                                  subject.startTime, "uid", "i", static_cast<int32_t>(subject.uid),
                                  "pidfd", "h", subject.pidfd);
    else if (r >= 0)
        r = sd_bus_message_append(call, "(sa{sv})", "unix-process", 3, "pid", "u",
                                  static_cast<uint32_t>(subject.pid), "start-time", "t",
                                  subject.startTime, "uid", "i", static_cast<int32_t>(subject.uid));
    if (r >= 0)
        r = sd_bus_message_append(call, "sa{ss}us", action.c_str(), 0, 0u, "");
    auto pending = std::make_unique<Pending>(Pending{this, nextId_++, std::move(callback)});
    if (r >= 0)
        r = sd_bus_call_async(
            bus, nullptr, call, &PolkitAuthority::answered, pending.get(),
            static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(answerTimeout).count()));
    sd_bus_message_unref(call);
    if (r < 0) {
        DaemonLog::line(std::string("could not ask polkit: ") + std::strerror(-r));
        return pending->callback(Answer::failed);
    }
    const uint64_t id = pending->id;
    pending_.emplace(id, std::move(pending));
}

int PolkitAuthority::answered(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<Pending*>(userdata);
    PolkitAuthority& self = *pending->authority;
    const auto it = self.pending_.find(pending->id);
    if (it == self.pending_.end())
        return 0;
    Callback callback = std::move(it->second->callback);
    self.pending_.erase(it);
    Answer answer = Answer::failed;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        if (noAuthority(error->name)) {
            self.unavailable(error->name);
            answer = Answer::unavailable;
        } else {
            // Among them polkit's word that the process has ended or was replaced: a refusal
            // like any answer that is not a yes.
            DaemonLog::line(std::string("polkit did not decide: ") + error->name + ": " +
                            (error->message ? error->message : ""));
        }
    } else {
        int authorized = 0;
        int challenge = 0;
        if (sd_bus_message_enter_container(reply, 'r', "bba{ss}") >= 0 &&
            sd_bus_message_read(reply, "bb", &authorized, &challenge) >= 0)
            answer = authorized ? Answer::yes : Answer::no;
    }
    callback(answer);
    return 0;
}
