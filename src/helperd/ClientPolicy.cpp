#include "helperd/ClientPolicy.h"

#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace {

// uids that are system accounts whatever login.defs says: nobody, and the range systemd
// gives services of their own (DynamicUser).
bool systemAccount(uid_t uid) {
    return uid == 65534 || uid == static_cast<uid_t>(-1) || (uid >= 61184 && uid <= 65519);
}

} // namespace

uid_t ClientPolicy::firstRegularUid(std::string_view text) {
    uid_t found = defaultFirstRegularUid;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos || line.substr(start, 7) != "UID_MIN")
            continue;
        line = line.substr(start + 7);
        const size_t value = line.find_first_not_of(" \t");
        if (value == 0 || value == std::string_view::npos)
            continue;
        line = line.substr(value);
        uint32_t number = 0;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), number);
        const std::string_view tail(rest, static_cast<size_t>(line.data() + line.size() - rest));
        // Root's uid can never be a regular user's.
        if (error == std::errc() && number > 0 && tail.find_first_not_of(" \t\r") == tail.npos)
            found = number;
    }
    return found;
}

uid_t ClientPolicy::firstRegularUid() {
    const int fd = ::open("/etc/login.defs", O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return defaultFirstRegularUid;
    std::string text(64 * 1024, '\0');
    size_t filled = 0;
    ssize_t n = 0;
    while (filled < text.size() && (n = ::read(fd, text.data() + filled, text.size() - filled)) > 0)
        filled += static_cast<size_t>(n);
    ::close(fd);
    text.resize(filled);
    return firstRegularUid(text);
}

bool ClientPolicy::mayConnect(uid_t uid, uid_t firstRegular) {
    return uid == 0 || (uid >= firstRegular && !systemAccount(uid));
}

bool ClientPolicy::asksAuthority(Act act, uid_t caller, BlockHolder holder) {
    return caller != 0 && !(act == Act::release && holder == BlockHolder::caller);
}

const char* ClientPolicy::actionFor(Act act, bool atSeat) {
    if (act == Act::run)
        return atSeat ? runAction : runAnySessionAction;
    return atSeat ? blockAction : blockAnySessionAction;
}

ClientPolicy::Verdict ClientPolicy::decide(Act act, uid_t caller, Authority answer,
                                           BlockHolder holder, const std::string& detail) {
    if (!asksAuthority(act, caller, holder))
        return {};
    const std::string because = detail.empty() ? "" : " (" + detail + ")";
    if (answer == Authority::unjudged)
        return {false, "its process could not be asked about" + because, callerGoneReason};
    if (act == Act::release && holder == BlockHolder::present)
        return {false, "the block's owner is still at the computer", othersBlockReason};
    if (answer == Authority::no)
        return {false, "polkit does not allow it" + because, notAllowedReason};
    if (answer == Authority::failed)
        return {false, "polkit did not answer" + because, notAnsweredReason};
    // A block protects its user while they are at the computer; once they are gone, anyone
    // allowed to change the network may end it, since it cuts them off as well.
    if (act == Act::run && holder == BlockHolder::present)
        return {false, "another user's block holds and its owner is at the computer",
                othersBlockReason};
    return {};
}
