#pragma once

#include "platform/KeyValueStore.h"
#include "platform/Keyring.h"
#include "platform/PasswordStore.h"
#include "platform/SettingsPasswordStore.h"

#include <memory>
#include <optional>

// The remembered password in the desktop's keyring (the Secret Service, or KWallet). A read
// that finds the password in the settings file answers with it at once; one an older version
// left there is then moved into the keyring, behind the answer. Where the session has no
// keyring (no session bus, or none on it), or has one that would ask for its password where
// no one can see the question (locked, or without its collection, and no display), the
// password stays in the settings file, readable by its owner only; the log says so once, and
// the keyring is not asked. Elsewhere a write puts the password in the settings file first,
// marked kept there (`keptKey`), and takes it out only once the keyring has it, so neither a
// quit while the keyring's prompt is open nor a keyring that refuses it (no collection to put
// it in, locked, its prompt dismissed) loses it. A refused password stays in the file, the
// user told once (`setKeptInFile`), and is not offered to the keyring again until the user
// removes it (unticks the box) or remembers another password.
//
// Each request to the keyring starts a process (see KeyringProcess), so what the keyring
// holds, as far as this store last heard from it, is kept: a login that would write the
// password the keyring already has, or remove one it does not have, asks nothing. Only
// this program writes the entry; a failed request forgets what was known.
class KeyringPasswordStore : public PasswordStore {
public:
    // In the settings file beside the password: it is kept there on purpose, not left by an
    // older version to be moved.
    static constexpr const char* keptKey = "passwordKeptInFile";

    KeyringPasswordStore(KeyValueStore& settings, Keyring& keyring);

    void read(std::function<void(std::optional<std::string> password)> done) override;
    void write(const std::string& password) override;
    void remove() override;

    // Called once, the first time a keyring refuses a password that then goes to the file.
    void setKeptInFile(std::function<void()> told) { keptInFile_ = std::move(told); }

    // Whether the session bus offers a keyring (a failed request on a bus without one is
    // told apart from a keyring that refused).
    static bool keyringOnSessionBus();
    // Whether a request would have the Secret Service ask for a password (its default
    // collection locked or missing) with no display to ask on.
    static bool keyringWouldAskUnseen();

private:
    // True (and the log told once) when the session has no keyring, so the settings
    // file is the place; then no process is started to ask one.
    bool withoutKeyring();
    // After a failed request: withoutKeyring(), else the log says why the keyring refused.
    bool noKeyring(const std::string& why);
    // The keyring refused a password, which the file keeps: the log and the user are told,
    // once.
    void tellKeptInFile();
    // Offers the keyring a password found in the file, answering no one.
    void moveIntoKeyring(const std::string& password);
    // Takes the password (and its mark) out of the settings file, if it is there.
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
    std::function<void()> keptInFile_;
    bool toldKeptInFile_ = false;
    // Once per process, however many stores there are (main thread only).
    static inline bool toldNoKeyring_ = false;
};
