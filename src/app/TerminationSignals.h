#pragma once

#include "app/OrderlyQuit.h"

#include <QObject>

class QSocketNotifier;

// Ends the application cleanly on SIGTERM or SIGINT (logout, Ctrl-C), through `quit`:
// a VPN that runs is disconnected first. A second signal quits at once. One per process.
class TerminationSignals : public QObject {
public:
    explicit TerminationSignals(OrderlyQuit& quit, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    OrderlyQuit& quit_;
    QSocketNotifier* notifier_ = nullptr;
};
