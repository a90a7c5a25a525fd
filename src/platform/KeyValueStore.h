#pragma once

#include <optional>
#include <string>

// The user's defaults: a few named strings kept between runs.
class KeyValueStore {
public:
    virtual ~KeyValueStore() = default;
    virtual std::optional<std::string> string(const std::string& key) = 0;
    virtual void set(const std::string& key, const std::string& value) = 0;
    virtual void remove(const std::string& key) = 0;
};
