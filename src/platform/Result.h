#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <variant>

// What an operation that can fail hands back: its value, or why there is none. `Why`
// keeps whatever structure callers act on (an error kind that decides a retry, the
// line a refusal points at), a text for the log otherwise. A plain std::optional stays
// where "nothing" has one meaning the caller already names (a lookup that found
// nothing); a Result is for a reason only the callee knows.
//
// Header-only and free of everything else here, so the root daemon, its installer and
// the application can all use it without linking anything of each other.
template <typename T, typename Why = std::string> class [[nodiscard]] Result;

namespace result_detail {

// Asking a failure for its value, or a success for its reason, is a fault in the
// caller: the process ends there rather than read what is not there, in every build.
inline void require(bool holds, const char* misuse) {
    if (!holds) {
        std::fprintf(stderr, "Result misused: %s\n", misuse);
        std::abort();
    }
}

} // namespace result_detail

template <typename T, typename Why> class [[nodiscard]] Result {
public:
    static Result success(T value) { return Result(std::in_place_index<0>, std::move(value)); }
    static Result failure(Why why) { return Result(std::in_place_index<1>, std::move(why)); }

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        result_detail::require(ok(), "value() of a failure");
        return *std::get_if<0>(&state_);
    }
    const T& value() const& {
        result_detail::require(ok(), "value() of a failure");
        return *std::get_if<0>(&state_);
    }
    T&& value() && {
        result_detail::require(ok(), "value() of a failure");
        return std::move(*std::get_if<0>(&state_));
    }
    const Why& why() const {
        result_detail::require(!ok(), "why() of a success");
        return *std::get_if<1>(&state_);
    }

private:
    // By index, so that T and Why may be the same type.
    template <size_t Index, typename Held>
    Result(std::in_place_index_t<Index> index, Held&& held)
        : state_(index, std::forward<Held>(held)) {}

    std::variant<T, Why> state_;
};

// Success or failure with nothing to hand back on success.
template <typename Why> class [[nodiscard]] Result<void, Why> {
public:
    static Result success() { return Result(std::nullopt); }
    static Result failure(Why why) { return Result(std::move(why)); }

    bool ok() const { return !why_.has_value(); }
    explicit operator bool() const { return ok(); }

    const Why& why() const {
        result_detail::require(!ok(), "why() of a success");
        return *why_;
    }

private:
    explicit Result(std::optional<Why> why) : why_(std::move(why)) {}

    std::optional<Why> why_;
};
