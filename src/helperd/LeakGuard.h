#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <functional>
#include <string>

struct nft_ctx;

// Keeps the machine's traffic inside the tunnel: one nftables table of the daemon's
// own, made and changed only through the libnftables context this object keeps for
// its whole life. The table carries the owner flag, so it belongs to that context's
// netlink socket: nobody else can change or delete it, and the kernel removes it when
// the daemon dies. Other tables and the rest of the ruleset are never touched.
class LeakGuard {
public:
    // What openvpn marks its own transport socket with (`--mark`): a fixed value, so
    // an administrator's policy routing can know it and never collides by chance.
    static constexpr uint32_t transportMark = 0x51760d2d;

    // Runs one batch of nftables commands as one transaction: all of it or none.
    using Commands = std::function<Result<void>(const std::string& commands)>;

    // `commands` empty: through the libnftables context this object keeps.
    explicit LeakGuard(Commands commands = {});
    ~LeakGuard();
    LeakGuard(const LeakGuard&) = delete;
    LeakGuard& operator=(const LeakGuard&) = delete;

    // Blocks everything outside the tunnel; when already blocking, only forgets the
    // tunnel. Fails with why if the table could not be made.
    Result<void> engage();
    // Lets traffic out through `name` only (the tunnel of the current run).
    Result<void> allowTunnel(const std::string& name);
    // Lets the private address ranges through too, or no longer. Should the ranges not
    // go, the table is made anew, empty of them, in the same transaction that removes
    // the old one (so nothing passes between the two); fails only if that fails too.
    Result<void> allowLocalNetwork(bool allowed);
    // Keeps blocking, but through no tunnel.
    void closeTunnel();
    void release();
    bool engaged() const { return engaged_; }
    const std::string& tunnel() const { return tunnel_; }

private:
    Result<void> apply(const std::string& commands);
    Result<void> applyThroughContext(const std::string& commands);

    Commands commands_;
    nft_ctx* context_ = nullptr;
    bool engaged_ = false;
    std::string tunnel_;
};
