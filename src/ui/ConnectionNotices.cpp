#include "ui/ConnectionNotices.h"

#include "ui/UiText.h"

#include <utility>

using Look = StatusLine::Look;

void ConnectionNotices::lookChanged(Look look, const std::string& server) {
    const Look before = std::exchange(look_, look);
    if (look == Look::connected) {
        if (before != Look::connected) {
            last_.clear(); // a new connection: what went wrong before may be told again
            notify(UiText::connected, server.empty() ? "" : UiText::serverIs.arg(server));
        }
        userDisconnecting_ = false;
        dropTold_ = false;
        return;
    }
    if (before == Look::connected && !userDisconnecting_ && !dropTold_)
        notify(UiText::connectionLost, look == Look::connecting ? UiText::reconnecting.str() : "");
    if (look == Look::stillReconnecting)
        notify(UiText::reconnecting, UiText::stillReconnecting);
    if (look == Look::disconnected || look == Look::blocked) {
        userDisconnecting_ = false;
        dropTold_ = false;
    }
}

void ConnectionNotices::failed(const std::string& message, bool windowShown) {
    if (look_ == Look::connected && !userDisconnecting_) {
        notify(UiText::connectionLost, message);
        dropTold_ = true;
    } else if (!windowShown) {
        notify(UiText::connectingFailed, message);
    }
}

void ConnectionNotices::blocked(const std::string& message) {
    notify(UiText::blocked, message + "\n" + UiText::blockedExplained.str());
    dropTold_ = true;
}

void ConnectionNotices::notify(const std::string& summary, const std::string& body) {
    std::string key = summary + '\n' + body;
    if (key == last_)
        return;
    last_ = std::move(key);
    notifications_.notify(summary, body);
}
