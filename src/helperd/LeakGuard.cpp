#include "helperd/LeakGuard.h"

#include "helperd/GuardRules.h"

#include <nftables/libnftables.h>

LeakGuard::LeakGuard() : context_(::nft_ctx_new(NFT_CTX_DEFAULT)) {
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

bool LeakGuard::apply(const std::string& commands, std::string& error) {
    if (!context_) {
        error = "no nftables context";
        return false;
    }
    if (::nft_run_cmd_from_buffer(context_, commands.c_str()) == 0)
        return true;
    const char* text = ::nft_ctx_get_error_buffer(context_);
    error = text && *text ? text : "nftables refused the commands";
    while (!error.empty() && (error.back() == '\n' || error.back() == ' '))
        error.pop_back();
    return false;
}

bool LeakGuard::engage(std::string& error) {
    if (engaged_) {
        closeTunnel();
        return true;
    }
    if (!apply(GuardRules::create(transportMark), error))
        return false;
    engaged_ = true;
    tunnel_.clear();
    return true;
}

bool LeakGuard::allowTunnel(const std::string& name, std::string& error) {
    if (!engaged_ || name == tunnel_)
        return true;
    const auto commands = GuardRules::allowTunnel(name);
    if (!commands) {
        error = "the tunnel's interface name is not a plain name";
        return false;
    }
    if (!apply(*commands, error))
        return false;
    tunnel_ = name;
    return true;
}

bool LeakGuard::allowLocalNetwork(bool allowed, std::string& error) {
    return !engaged_ || apply(GuardRules::allowLocalNetwork(allowed), error);
}

void LeakGuard::closeTunnel() {
    std::string error;
    if (engaged_ && !tunnel_.empty() && apply(GuardRules::closeTunnels(), error))
        tunnel_.clear();
}

void LeakGuard::release() {
    std::string error;
    if (engaged_ && apply(GuardRules::remove(), error)) {
        engaged_ = false;
        tunnel_.clear();
    }
}
