#pragma once

#include <functional>
#include <string>

// The one entry Quovant keeps in the desktop's keyring (the remembered password), asked
// without blocking: each answer comes on the main thread, in the order of the requests.
class Keyring {
public:
    // The entry's service name, which other keyring clients see.
    static constexpr const char* service = "Quovant";

    enum class Result { done, notFound, failed };
    struct Answer {
        Result result = Result::failed;
        std::string text; // the password a read found, or why the keyring failed
    };
    using Completion = std::function<void(const Answer&)>;

    virtual ~Keyring() = default;
    virtual void read(Completion done) = 0;
    virtual void write(const std::string& password, Completion done) = 0;
    virtual void remove(Completion done) = 0;
};
