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

uint64_t PolkitAuthority::startTimeOf(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return 0;
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    const std::string_view text(buffer, static_cast<size_t>(n));
    // The command name (field 2) may hold anything, ')' and blanks too: the fields after it
    // begin after its last ')'.
    const size_t close = text.rfind(')');
    if (close == std::string_view::npos)
        return 0;
    size_t at = close + 1;
    // Field 3 (state) is the first after the name; the start time is field 22.
    for (int field = 3; field < 22; ++field) {
        at = text.find(' ', at + 1);
        if (at == std::string_view::npos)
            return 0;
    }
    uint64_t value = 0;
    for (size_t i = at + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    return value;
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
    // The subject (unix-process: pid, start time, uid), the action, no details, flags 0:
    // no interaction, so polkit answers at once and never shows its dialog, and no
    // cancellation id.
    if (r >= 0)
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
            DaemonLog::line(std::string("polkit did not decide: ") + error->name);
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
