#pragma once

#include <functional>
#include <string>

// One answer of the account service, as the login chain needs it.
struct AccountReply {
    enum class Outcome {
        succeeded, // status 200-299 and a JSON body (a bare value counts; 204/205 count as null)
        failedWithResponse,    // the service answered: another status, or a body that is not JSON
        failedWithoutResponse, // no answer: no connection, name resolution, TLS, time-out
    };
    Outcome outcome = Outcome::failedWithoutResponse;
    std::string body; // the raw body, read again by the caller
};

// The account service's two requests. Completions run on the main thread.
class AccountService {
public:
    // Each request gives up after this long and then counts as unanswered.
    static constexpr int timeoutMs = 30000;

    using Completion = std::function<void(const AccountReply&)>;

    virtual ~AccountService() = default;
    // POST loginURL with {"email", "password"}.
    virtual void login(const std::string& email, const std::string& password,
                       Completion completion) = 0;
    // GET profileURL + "?country_code=QZ" with the given "Authorization" header value.
    virtual void requestProfile(const std::string& authorization, Completion completion) = 0;
    // Ends every request under way; their completions never run.
    virtual void cancel() = 0;
};
