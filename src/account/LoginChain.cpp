#include "account/LoginChain.h"

#include "account/ProfileFile.h"
#include "platform/Log.h"

#include <nlohmann/json.hpp>
#include <optional>

namespace {

// The second reading of a body: only a top-level object will do.
std::optional<std::string> stringMember(const std::string& body, const char* name) {
    const auto value = nlohmann::json::parse(body, nullptr, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    const auto member = value.find(name);
    if (member == value.end() || !member->is_string())
        return std::nullopt;
    return member->get<std::string>();
}

} // namespace

void LoginChain::fetch(const Credentials& credentials, Completion completion) {
    cancel();
    credentials_ = credentials;
    completion_ = std::move(completion);
    login(credentials.email, credentials.password);
}

void LoginChain::cancel() {
    ++generation_;
    completion_ = nullptr;
    ports_.account->cancel();
}

AccountService::Completion LoginChain::step(void (LoginChain::*next)(const AccountReply&)) {
    return
        [self = std::weak_ptr(self_), generation = generation_, next](const AccountReply& reply) {
            const auto alive = self.lock();
            if (alive && (*alive)->generation_ == generation)
                ((*alive)->*next)(reply);
        };
}

void LoginChain::login(const std::string& email, const std::string& password) {
    ports_.account->login(email, password, step(&LoginChain::loggedIn));
}

void LoginChain::loggedIn(const AccountReply& reply) {
    if (reply.outcome != AccountReply::Outcome::succeeded)
        return failed(reply);
    if (credentials_.remember) {
        ports_.defaults->set("email", credentials_.email);
        ports_.passwords->write(credentials_.password);
    } else {
        ports_.defaults->remove("email");
        ports_.passwords->remove();
    }
    const auto token = stringMember(reply.body, "access_token");
    if (!token)
        return complete(generation_, {std::nullopt, unknownError});
    requestProfile("Bearer " + *token);
}

void LoginChain::requestProfile(const std::string& authorization) {
    ports_.account->requestProfile(authorization, step(&LoginChain::profileArrived));
}

void LoginChain::profileArrived(const AccountReply& reply) {
    if (reply.outcome != AccountReply::Outcome::succeeded)
        return failed(reply);
    const auto config = stringMember(reply.body, "config");
    if (!config)
        return complete(generation_, {std::nullopt, unknownError});
    const Result<void> written = ProfileFile::write(ports_.profilePath, *config);
    if (!written) {
        // Whatever sits at the path now is not the profile just fetched.
        Log::line(written.why());
        return complete(generation_, {std::nullopt, UserMessage(profileNotSaved, {written.why()})});
    }
    complete(generation_, {ports_.profilePath, {}});
}

void LoginChain::failed(const AccountReply& reply) {
    complete(generation_, {std::nullopt, reply.outcome == AccountReply::Outcome::failedWithResponse
                                             ? wrongCredentials
                                             : networkFailed});
}

void LoginChain::complete(uint64_t generation, const Outcome& outcome) {
    if (generation != generation_ || !completion_)
        return;
    // The password is not kept past the chain.
    credentials_ = {};
    std::exchange(completion_, nullptr)(outcome);
}
