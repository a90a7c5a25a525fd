#pragma once

#include "platform/KeyValueStore.h"
#include "platform/PasswordStore.h"
#include "platform/SettingsPasswordStore.h"

#include <QObject>
#include <QString>

namespace QKeychain {
class Job;
}

// The remembered password in the desktop's keyring (the Secret Service, or KWallet)
// through QtKeychain, whose jobs answer on the main thread without blocking it. A
// password still in the settings file is moved into the keyring by the first read
// that finds one. Only where the session has no keyring at all does the password stay
// in the settings file, as before; the log says so once. A keyring that is there but
// refuses (locked, access denied) never sends the password to the file.
class KeyringPasswordStore : public QObject, public PasswordStore {
public:
    static constexpr const char* service = "Quovant";

    explicit KeyringPasswordStore(KeyValueStore& settings, QObject* parent = nullptr);

    void read(std::function<void(std::optional<std::string> password)> done) override;
    void write(const std::string& password) override;
    void remove() override;

    // Whether the session bus offers a keyring QtKeychain can use (a failed job on a bus
    // without one is told apart from a keyring that refused).
    static bool keyringOnSessionBus();

private:
    void writeToKeyring(const std::string& password, std::function<void(QKeychain::Job&)> done);
    // After a failed job: true (and the log told once) when there is no keyring, so the
    // settings file is the place.
    bool noKeyring(const QKeychain::Job& job);
    // Takes the password out of the settings file, if it is there.
    void removeFromFile();

    KeyValueStore& settings_;
    SettingsPasswordStore file_;
    // Once per process, however many stores there are (main thread only).
    static inline bool toldNoKeyring_ = false;
};
