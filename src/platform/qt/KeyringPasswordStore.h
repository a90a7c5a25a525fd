#pragma once

#include "platform/KeyValueStore.h"
#include "platform/Keyring.h"
#include "platform/PasswordStore.h"
#include "platform/SettingsPasswordStore.h"

#include <memory>
#include <optional>

// The remembered password in the desktop's keyring (the Secret Service, or KWallet). A
// password still in the settings file is moved into the keyring by the first read that
// finds one. Only where the session has no keyring at all does the password stay in the
// settings file, as before; the log says so once. A keyring that is there but refuses
// (locked, access denied) never sends the password to the file.
//
// Each request to the keyring starts a process (see KeyringProcess), so what the keyring
// holds, as far as this store last heard from it, is kept: a login that would write the
// password the keyring already has, or remove one it does not have, asks nothing. Only
// this program writes the entry; a failed request forgets what was known.
class KeyringPasswordStore : public PasswordStore {
public:
    KeyringPasswordStore(KeyValueStore& settings, Keyring& keyring);

    void read(std::function<void(std::optional<std::string> password)> done) override;
    void write(const std::string& password) override;
    void remove() override;

    // Whether the session bus offers a keyring (a failed request on a bus without one is
    // told apart from a keyring that refused).
    static bool keyringOnSessionBus();

private:
    // True (and the log told once) when the session has no keyring, so the settings
    // file is the place; then no process is started to ask one.
    bool withoutKeyring();
    // After a failed request: withoutKeyring(), else the log says why the keyring refused.
    bool noKeyring(const std::string& why);
    // Takes the password out of the settings file, if it is there.
    void removeFromFile();
    // `then` runs with this store, unless the store has gone by the time the keyring answers.
    Keyring::Completion
    whileHere(std::function<void(KeyringPasswordStore&, const Keyring::Answer&)> then);

    // Unknown (nullopt), or the keyring's entry: a password or none.
    std::optional<std::optional<std::string>> known_;
    KeyValueStore& settings_;
    Keyring& keyring_;
    SettingsPasswordStore file_;
    std::shared_ptr<KeyringPasswordStore*> self_ = std::make_shared<KeyringPasswordStore*>(this);
    // Once per process, however many stores there are (main thread only).
    static inline bool toldNoKeyring_ = false;
};
