#include "helperd/LeakGuard.h"

#include "helperd/GuardRules.h"

#include <nftables/libnftables.h>

LeakGuard::LeakGuard(Commands commands)
    : commands_(std::move(commands)),
      context_(commands_ ? nullptr : ::nft_ctx_new(NFT_CTX_DEFAULT)) {
    if (context_) {
        ::nft_ctx_buffer_output(context_);
        ::nft_ctx_buffer_error(context_);
    }
}

LeakGuard::~LeakGuard() {
    release();
    if (context_)
        ::nft_ctx_free(context_);
}

Result<void> LeakGuard::apply(const std::string& commands) {
    return commands_ ? commands_(commands) : applyThroughContext(commands);
}

Result<void> LeakGuard::applyThroughContext(const std::string& commands) {
    if (!context_)
        return Result<void>::failure("no nftables context");
    if (::nft_run_cmd_from_buffer(context_, commands.c_str()) == 0)
        return Result<void>::success();
    const char* text = ::nft_ctx_get_error_buffer(context_);
    std::string why = text && *text ? text : "nftables refused the commands";
    while (!why.empty() && (why.back() == '\n' || why.back() == ' '))
        why.pop_back();
    return Result<void>::failure(std::move(why));
}

Result<void> LeakGuard::engage() {
    if (engaged_) {
        closeTunnel();
        return Result<void>::success();
    }
    const Result<void> created = apply(GuardRules::create(transportMark));
    if (!created)
        return created;
    engaged_ = true;
    tunnel_.clear();
    return created;
}

Result<void> LeakGuard::allowTunnel(const std::string& name) {
    if (!engaged_ || name == tunnel_)
        return Result<void>::success();
    const auto commands = GuardRules::allowTunnel(name);
    if (!commands)
        return Result<void>::failure("the tunnel's interface name is not a plain name");
    const Result<void> allowed = apply(*commands);
    if (allowed)
        tunnel_ = name;
    return allowed;
}

Result<void> LeakGuard::allowLocalNetwork(bool allowed) {
    if (!engaged_)
        return Result<void>::success();
    const Result<void> changed = apply(GuardRules::allowLocalNetwork(allowed));
    if (changed || allowed)
        return changed; // ranges that could not be added are simply not let through
    // The tunnel name was checked when it was let through.
    const std::string anew = GuardRules::remove() + GuardRules::create(transportMark) +
                             (tunnel_.empty() ? "" : GuardRules::allowTunnel(tunnel_).value_or(""));
    const Result<void> replaced = apply(anew);
    if (!replaced)
        return Result<void>::failure(changed.why() +
                                     "; the table could not be made anew: " + replaced.why());
    return replaced;
}

void LeakGuard::closeTunnel() {
    if (engaged_ && !tunnel_.empty() && apply(GuardRules::closeTunnels()))
        tunnel_.clear();
}

void LeakGuard::release() {
    if (engaged_ && apply(GuardRules::remove())) {
        engaged_ = false;
        tunnel_.clear();
    }
}
