#pragma once

#include "vpn/OpenVPNService.h"

#include <QObject>
#include <QTimer>
#include <chrono>

// Every way out of the application goes through here (the tray's quit item, closing the
// window where there is no tray, SIGTERM and SIGINT): the VPN is ended first, the block
// with it, and the event loop ends once nothing runs or after `limit`, whichever comes
// first. Asked again meanwhile, it quits at once.
class OrderlyQuit : public QObject {
public:
    static constexpr std::chrono::milliseconds defaultLimit = std::chrono::seconds(4);

    explicit OrderlyQuit(OpenVPNService& vpn, std::chrono::milliseconds limit = defaultLimit,
                         QObject* parent = nullptr);

    void request();

private:
    OpenVPNService& vpn_;
    QTimer limit_;
    bool quitting_ = false;
};
