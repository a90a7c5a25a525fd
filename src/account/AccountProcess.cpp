#include "account/AccountProcess.h"

#include <csignal>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <unistd.h>

AccountProcess::AccountProcess(const std::string& program, QStringList arguments, Events events)
    : process_(std::make_unique<QProcess>()) {
    process_->setProgram(QString::fromStdString(program));
    process_->setArguments(std::move(arguments));
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    });
    // Each event runs with the flag up, so that a destructor run from within one leaves the
    // QProcess to the event loop rather than deleting it under its own signal.
    const auto within = [inEvent = inEvent_](const std::function<void()>& event) {
        *inEvent = true;
        event();
        *inEvent = false;
    };
    QProcess* process = process_.get();
    QObject::connect(process, &QProcess::readyReadStandardOutput,
                     [within, output = std::move(events.output)] { within(output); });
    QObject::connect(process, &QProcess::finished,
                     [within, ended = std::move(events.ended)] { within(ended); });
    QObject::connect(
        process, &QProcess::errorOccurred,
        [within, process, failed = std::move(events.failedToStart)](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                within([&] { failed(process->errorString().toStdString()); });
        });
    process_->start();
}

AccountProcess::~AccountProcess() {
    QObject::disconnect(process_.get(), nullptr, nullptr, nullptr);
    if (running()) {
        process_->kill();
        process_->waitForFinished(graceMs);
    }
    if (*inEvent_)
        process_.release()->deleteLater();
}

void AccountProcess::write(const std::string& line) {
    process_->write(line.data(), static_cast<qint64>(line.size()));
}
