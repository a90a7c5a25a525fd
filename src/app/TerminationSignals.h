#pragma once

#include "vpn/OpenVPNService.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class QSocketNotifier;

// Ends the application cleanly on SIGTERM or SIGINT (logout, Ctrl-C): a VPN that runs
// is disconnected first, and the application quits once that run has ended or after
// `limit`, whichever comes first. A second signal quits at once. One per process.
class TerminationSignals : public QObject {
public:
    static constexpr std::chrono::milliseconds defaultLimit = std::chrono::seconds(4);

    explicit TerminationSignals(OpenVPNService& vpn, std::chrono::milliseconds limit = defaultLimit,
                                QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void received();

    OpenVPNService& vpn_;
    const std::chrono::milliseconds limit_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer poll_;
    std::chrono::steady_clock::time_point deadline_;
    bool quitting_ = false;
};
