#include "account/KeyringProcess.h"

#include "account/AccountWire.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <utility>

KeyringProcess::KeyringProcess(std::string program, int limitMs)
    : program_(std::move(program)), limitMs_(limitMs) {
    limit_.setSingleShot(true);
    QObject::connect(&limit_, &QTimer::timeout, [this] {
        if (underWay_)
            return fail("the keyring process did not answer in time");
        Log::line("the keyring process did not end after its last answer; it is ended");
        endProcess();
    });
}

KeyringProcess::~KeyringProcess() {
    endProcess();
}

void KeyringProcess::read(Completion done) {
    ask(AccountWire::keyringRequest(AccountWire::Request::Kind::keyringRead), std::move(done));
}

void KeyringProcess::write(const std::string& password, Completion done) {
    ask(AccountWire::keyringRequest(AccountWire::Request::Kind::keyringWrite, password),
        std::move(done));
}

void KeyringProcess::remove(Completion done) {
    ask(AccountWire::keyringRequest(AccountWire::Request::Kind::keyringRemove), std::move(done));
}

void KeyringProcess::ask(std::string line, Completion done) {
    waiting_.push_back({std::move(line), std::move(done)});
    if (!underWay_)
        next();
}

void KeyringProcess::next() {
    if (waiting_.empty()) {
        // Nothing more to ask: its input ends, and so does the process.
        if (process_ && process_->running() && !inputClosed_) {
            inputClosed_ = true;
            process_->closeInput();
            limit_.start(AccountProcess::graceMs);
        }
        return;
    }
    underWay_ = true;
    // One that was told it is done has given every answer: it may go.
    if (process_ && (inputClosed_ || !process_->running()))
        endProcess();
    if (!process_) {
        received_.clear();
        inputClosed_ = false;
        process_ = std::make_unique<AccountProcess>(
            program_, QStringList{},
            AccountProcess::Events{[this] { readAnswer(); },
                                   [this] {
                                       if (underWay_)
                                           fail("the keyring process ended before it answered");
                                       else
                                           endProcess();
                                   },
                                   [this](const std::string& why) {
                                       if (underWay_)
                                           fail("the keyring process cannot be started: " + why);
                                   }});
        if (!underWay_)
            return; // it could not be started, and that has been answered
    }
    process_->write(waiting_.front().line);
    limit_.start(limitMs_);
}

void KeyringProcess::readAnswer() {
    received_ += process_->takeOutput();
    if (!underWay_)
        return fail("the keyring process spoke out of turn");
    Answer answer;
    switch (AccountWire::readKeyringAnswer(received_, answer)) {
    case AccountWire::Read::incomplete:
        return;
    case AccountWire::Read::invalid:
        return fail("the keyring process's answer is malformed");
    case AccountWire::Read::complete:
        break;
    }
    received_.clear();
    limit_.stop();
    answerFront(std::move(answer));
    next();
}

void KeyringProcess::fail(const std::string& why) {
    Log::line(why + "; it is ended");
    endProcess();
    if (underWay_)
        answerFront(Answer{Result::failed, why});
    // What waits behind it gets a process of its own, once out of this one's signals.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self = std::weak_ptr(self_)] {
            if (auto alive = self.lock(); alive && !(*alive)->underWay_)
                (*alive)->next();
        },
        Qt::QueuedConnection);
}

void KeyringProcess::answerFront(Answer answer) {
    underWay_ = false;
    Completion done = std::move(waiting_.front().done);
    waiting_.pop_front();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self = std::weak_ptr(self_), done = std::move(done), answer = std::move(answer)] {
            if (self.lock() && done)
                done(answer);
        },
        Qt::QueuedConnection);
}

void KeyringProcess::endProcess() {
    limit_.stop();
    process_.reset();
}
