#pragma once

#include <QProcess>
#include <functional>
#include <memory>
#include <string>

// One run of the account process, started by the constructor: it goes with the
// application however that ends, inherits none of the application's other descriptors
// (the helper's socket, the display's, whatever opened them), and its diagnostics join
// the application's. Its events come on the main thread; `failedToStart` may come while
// the constructor runs. Destroying it ends the process (killed if it still runs) and
// drops its events; it is safe from within one of them.
class AccountProcess {
public:
    static constexpr int graceMs = 1000;

    struct Events {
        std::function<void()> output; // something to take
        std::function<void()> ended;
        std::function<void(const std::string& why)> failedToStart;
    };

    AccountProcess(const std::string& program, QStringList arguments, Events events);
    ~AccountProcess();
    AccountProcess(const AccountProcess&) = delete;
    AccountProcess& operator=(const AccountProcess&) = delete;

    bool running() const { return process_->state() != QProcess::NotRunning; }
    void write(const std::string& line);
    // Its input ends: a process with nothing more to do ends too.
    void closeInput() { process_->closeWriteChannel(); }
    std::string takeOutput() { return process_->readAllStandardOutput().toStdString(); }
    // Ended at once; `ended` follows.
    void kill() { process_->kill(); }

private:
    std::shared_ptr<bool> inEvent_ = std::make_shared<bool>(false);
    std::unique_ptr<QProcess> process_;
};
