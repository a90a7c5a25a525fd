#pragma once

#include <functional>
#include <optional>
#include <string>

// Where the remembered password is kept. A read answers on the main thread, at once or
// later; writes and removals take effect in the order they are made.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;
    virtual void read(std::function<void(std::optional<std::string> password)> done) = 0;
    virtual void write(const std::string& password) = 0;
    virtual void remove() = 0;
};
