#include "app/TerminationSignals.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler's only work: one byte into the pipe, which the event loop reads.
int pipeFds[2] = {-1, -1};

void onSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(OpenVPNService& vpn, std::chrono::milliseconds limit,
                                       QObject* parent)
    : QObject(parent), vpn_(vpn), limit_(limit) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        Log::line("cannot watch for SIGTERM and SIGINT: no pipe");
        return;
    }
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(pipeFds[0], bytes, sizeof bytes) > 0) {
        }
        received();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    poll_.setInterval(20);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (vpn_.runInProgress() && std::chrono::steady_clock::now() < deadline_)
            return;
        if (vpn_.runInProgress())
            Log::line("the VPN did not end in time; quitting all the same");
        poll_.stop();
        QCoreApplication::quit();
    });
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void TerminationSignals::received() {
    if (quitting_) {
        Log::line("asked again to quit: quitting now");
        return QCoreApplication::quit();
    }
    quitting_ = true;
    Log::line("asked to quit: disconnecting first");
    if (vpn_.runInProgress())
        vpn_.stopOpenVPN();
    deadline_ = std::chrono::steady_clock::now() + limit_;
    poll_.start();
}
