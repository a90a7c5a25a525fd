#include "app/OrderlyQuit.h"

#include "platform/Log.h"

#include <QCoreApplication>

OrderlyQuit::OrderlyQuit(OpenVPNService& vpn, std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent), vpn_(vpn) {
    limit_.setSingleShot(true);
    limit_.setInterval(limit);
    connect(&limit_, &QTimer::timeout, this, [] {
        Log::line("the VPN did not end in time; quitting all the same");
        QCoreApplication::quit();
    });
}

void OrderlyQuit::request() {
    if (quitting_) {
        Log::line("asked again to quit: quitting now");
        return QCoreApplication::quit();
    }
    quitting_ = true;
    Log::line("asked to quit: disconnecting first");
    limit_.start();
    vpn_.shutdown([this] {
        limit_.stop();
        QCoreApplication::quit();
    });
}
