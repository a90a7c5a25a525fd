#pragma once

#include "platform/DesktopNotifications.h"

#include <QObject>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

// Notifications through org.freedesktop.Notifications on the session bus, sent without
// waiting for the answers. The server's capabilities are asked once, before the first
// notification: a body is escaped only for a server that reads markup, and shown as it
// is otherwise. Without a session bus or a notification server nothing is shown, and
// the log says so once.
class FreedesktopNotifications : public QObject, public DesktopNotifications {
public:
    static constexpr const char* service = "org.freedesktop.Notifications";
    static constexpr const char* path = "/org/freedesktop/Notifications";

    explicit FreedesktopNotifications(QObject* parent = nullptr);
    void notify(const std::string& summary, const std::string& body) override;

private:
    void send(const QString& summary, const QString& body);
    void unavailable(const QString& why);

    std::optional<bool> bodyMarkup_; // unknown until the server has answered
    bool asking_ = false;
    // Those made while the capabilities are asked, sent in order once they are known.
    std::vector<std::pair<QString, QString>> waiting_;
    uint replacesId_ = 0;
    bool toldUnavailable_ = false;
};
