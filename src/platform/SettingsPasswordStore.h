#pragma once

#include "platform/KeyValueStore.h"
#include "platform/PasswordStore.h"

// The remembered password as the key "password" of the user's defaults, answered at
// once: where it is kept when the desktop has no keyring.
class SettingsPasswordStore : public PasswordStore {
public:
    static constexpr const char* key = "password";

    explicit SettingsPasswordStore(KeyValueStore& defaults) : defaults_(defaults) {}
    void read(std::function<void(std::optional<std::string> password)> done) override {
        done(defaults_.string(key));
    }
    void write(const std::string& password) override { defaults_.set(key, password); }
    void remove() override { defaults_.remove(key); }

private:
    KeyValueStore& defaults_;
};
