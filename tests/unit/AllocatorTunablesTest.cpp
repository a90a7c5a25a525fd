#include "platform/AllocatorTunables.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

const std::string noCache = "glibc.malloc.tcache_count=0";

// What the probe printed, started with `environment` (for env(1)): GLIBC_TUNABLES as
// the probe found it after its start, and where a freed small block went.
struct Probed {
    std::string tunables;
    std::string freedTo;
};

Probed probe(const std::string& environment) {
    const std::string command = "env " + environment + " " + QUOVANT_TUNABLES_PROBE;
    FILE* out = ::popen(command.c_str(), "r");
    std::array<char, 512> line{};
    Probed probed;
    if (out && std::fgets(line.data(), line.size(), out)) {
        std::istringstream words(line.data());
        words >> probed.tunables >> probed.freedTo;
    }
    if (out)
        ::pclose(out);
    return probed;
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}

} // namespace

TEST(AllocatorTunables, AddsWhatIsNotSetAndLeavesWhatIs) {
    EXPECT_EQ(AllocatorTunables::adding(nullptr, noCache), noCache);
    EXPECT_EQ(AllocatorTunables::adding("", noCache), noCache);
    EXPECT_EQ(AllocatorTunables::adding("glibc.malloc.arena_max=2", noCache),
              "glibc.malloc.arena_max=2:" + noCache);
    EXPECT_EQ(AllocatorTunables::adding("glibc.malloc.tcache_count=0", noCache), std::nullopt);
    // The user's own value stays, and a name that only begins alike is another name.
    EXPECT_EQ(AllocatorTunables::adding("glibc.malloc.tcache_count=7", noCache), std::nullopt);
    EXPECT_EQ(AllocatorTunables::adding("glibc.malloc.tcache_count_x=1", noCache),
              "glibc.malloc.tcache_count_x=1:" + noCache);
    EXPECT_EQ(AllocatorTunables::adding("a=1", "b=2:a=3::c=4"), "a=1:b=2:c=4");
}

TEST(AllocatorTunables, AProgramStartsOverWithTheSettingInForceUnlessTheUserSetItAlready) {
    const auto plain = probe("-u GLIBC_TUNABLES");
    EXPECT_EQ(plain.tunables, noCache);
    EXPECT_EQ(probe("GLIBC_TUNABLES=glibc.malloc.arena_max=2").tunables,
              "glibc.malloc.arena_max=2:" + noCache);
    const auto own = probe("GLIBC_TUNABLES=glibc.malloc.tcache_count=7");
    EXPECT_EQ(own.tunables, "glibc.malloc.tcache_count=7");
    if (sanitized())
        return; // the sanitizer's allocator has neither the cache nor the heap's free lists
    EXPECT_EQ(plain.freedTo, "heap") << "the cache is off in the program started over";
    EXPECT_EQ(own.freedTo, "cache");
}
