// quovant-account: the account service's requests of one login, and the keyring's for the
// remembered password, made for the application in a process of their own. It reads
// requests from its standard input, one a line, makes each (over HTTPS, or through
// QtKeychain to the Secret Service or KWallet) and writes each answer to its standard
// output; it ends when its input ends, or fails as soon as it is handed anything that is
// not a request.
#include "account/AccountClient.h"
#include "account/AccountWire.h"
#include "platform/Log.h"
#include "platform/SettingsPasswordStore.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <qt6keychain/keychain.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int failedStatus = 2;

void writeAll(const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(failedStatus); // the application has gone
        done += static_cast<size_t>(n);
    }
}

int timeoutFrom(int argc, char** argv) {
    int timeoutMs = AccountService::timeoutMs;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--timeout-ms") == 0)
            std::from_chars(argv[i + 1], argv[i + 1] + std::strlen(argv[i + 1]), timeoutMs);
    return timeoutMs > 0 ? timeoutMs : AccountService::timeoutMs;
}

// QtKeychain runs its jobs one after the other, so the answers leave in the order the
// requests came.
void keyring(const AccountWire::Request& request) {
    using Kind = AccountWire::Request::Kind;
    QKeychain::Job* job = nullptr;
    if (request.kind == Kind::keyringRead)
        job = new QKeychain::ReadPasswordJob(Keyring::service);
    else if (request.kind == Kind::keyringRemove)
        job = new QKeychain::DeletePasswordJob(Keyring::service);
    else {
        auto* write = new QKeychain::WritePasswordJob(Keyring::service);
        write->setTextData(QString::fromStdString(request.password));
        job = write;
    }
    job->setKey(SettingsPasswordStore::key);
    job->setAutoDelete(true);
    QObject::connect(job, &QKeychain::Job::finished, [](QKeychain::Job* finished) {
        Keyring::Answer answer;
        if (finished->error() == QKeychain::NoError) {
            answer.result = Keyring::Result::done;
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                answer.text = read->textData().toStdString();
        } else {
            answer.result = finished->error() == QKeychain::EntryNotFound
                                ? Keyring::Result::notFound
                                : Keyring::Result::failed;
            answer.text = finished->errorString().toStdString();
        }
        writeAll(AccountWire::keyringAnswer(answer));
    });
    job->start();
}

} // namespace

int main(int argc, char** argv) {
    Log::setIdentity("quovant-account");
    QCoreApplication app(argc, argv);
    AccountClient client(timeoutFrom(argc, argv));
    const auto answer = [](const AccountReply& reply) { writeAll(AccountWire::answer(reply)); };

    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0) {
            // The chain has ended or the application has gone: nothing is left to do.
            input.setEnabled(false);
            client.cancel();
            return QCoreApplication::exit(n == 0 ? 0 : failedStatus);
        }
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const auto request = AccountWire::readRequest(std::string_view(pending).substr(0, end));
            pending.erase(0, end + 1);
            if (!request) {
                Log::line("the account process was handed something that is not a request");
                ::_exit(failedStatus);
            }
            if (request->kind == AccountWire::Request::Kind::login)
                client.login(request->email, request->password, answer);
            else if (request->kind == AccountWire::Request::Kind::profile)
                client.requestProfile(request->authorization, answer);
            else
                keyring(*request);
        }
        if (pending.size() > AccountWire::maxRequestLine) {
            Log::line("the account process was handed a request that is too long");
            ::_exit(failedStatus);
        }
    });
    return QCoreApplication::exec();
}
