#include "platform/qt/KeyringPasswordStore.h"

#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <qt6keychain/keychain.h>

namespace {

// The bus names of the keyrings QtKeychain speaks to on Linux.
constexpr const char* keyringNames[] = {"org.freedesktop.secrets", "org.kde.kwalletd5",
                                        "org.kde.kwalletd6"};

template <typename JobType> JobType* job(QObject* context) {
    auto* job = new JobType(KeyringPasswordStore::service, context);
    job->setKey(SettingsPasswordStore::key);
    job->setAutoDelete(true);
    return job;
}

} // namespace

KeyringPasswordStore::KeyringPasswordStore(KeyValueStore& settings, QObject* parent)
    : QObject(parent), settings_(settings), file_(settings) {}

void KeyringPasswordStore::removeFromFile() {
    if (settings_.string(SettingsPasswordStore::key))
        file_.remove();
}

bool KeyringPasswordStore::keyringOnSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    for (const char* name : keyringNames)
        if (bus.interface()->isServiceRegistered(name) ||
            (activatable.isValid() && activatable.value().contains(name)))
            return true;
    return false;
}

bool KeyringPasswordStore::noKeyring(const QKeychain::Job& job) {
    if (keyringOnSessionBus()) {
        Log::line("the keyring did not take or give the remembered password: " +
                  job.errorString().toStdString());
        return false;
    }
    if (!toldNoKeyring_) {
        toldNoKeyring_ = true;
        Log::line("no keyring (Secret Service or KWallet) on the session bus (" +
                  job.errorString().toStdString() +
                  "): the remembered password stays in the settings file, readable by its "
                  "owner only");
    }
    return true;
}

void KeyringPasswordStore::writeToKeyring(const std::string& password,
                                          std::function<void(QKeychain::Job&)> done) {
    auto* write = job<QKeychain::WritePasswordJob>(this);
    write->setTextData(QString::fromStdString(password));
    connect(write, &QKeychain::Job::finished, this,
            [done = std::move(done)](QKeychain::Job* finished) { done(*finished); });
    write->start();
}

void KeyringPasswordStore::read(std::function<void(std::optional<std::string> password)> done) {
    std::optional<std::string> inFile;
    file_.read([&inFile](std::optional<std::string> password) { inFile = std::move(password); });
    if (inFile) {
        // Moved: into the keyring first, out of the file only once the keyring has it.
        writeToKeyring(*inFile, [this, done = std::move(done),
                                 password = *inFile](QKeychain::Job& finished) {
            if (finished.error() == QKeychain::NoError) {
                file_.remove();
                Log::line("moved the remembered password from the settings file to the keyring");
            } else {
                noKeyring(finished);
            }
            done(password);
        });
        return;
    }
    auto* read = job<QKeychain::ReadPasswordJob>(this);
    connect(read, &QKeychain::Job::finished, this,
            [this, read, done = std::move(done)](QKeychain::Job* finished) {
                if (finished->error() == QKeychain::NoError)
                    return done(read->textData().toStdString());
                if (finished->error() != QKeychain::EntryNotFound)
                    noKeyring(*finished);
                done(std::nullopt);
            });
    read->start();
}

void KeyringPasswordStore::write(const std::string& password) {
    writeToKeyring(password, [this, password](QKeychain::Job& finished) {
        if (finished.error() == QKeychain::NoError)
            removeFromFile();
        else if (noKeyring(finished))
            file_.write(password);
    });
}

void KeyringPasswordStore::remove() {
    removeFromFile();
    auto* remove = job<QKeychain::DeletePasswordJob>(this);
    connect(remove, &QKeychain::Job::finished, this, [this](QKeychain::Job* finished) {
        if (finished->error() != QKeychain::NoError &&
            finished->error() != QKeychain::EntryNotFound)
            noKeyring(*finished);
    });
    remove->start();
}
