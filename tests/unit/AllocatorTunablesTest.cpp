#include "platform/AllocatorTunables.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

const std::string noCache = "glibc.malloc.tcache_count=0";

// What the probe printed, started with `environment` (for env(1)): its process name,
// GLIBC_TUNABLES as it found it once started, and where a freed small block went.
struct Probed {
    std::string name;
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
        words >> probed.name >> probed.tunables >> probed.freedTo;
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
    // The kernel keeps the first 15 characters of the name of the file a process runs.
    const std::string name =
        std::filesystem::path(QUOVANT_TUNABLES_PROBE).filename().string().substr(0, 15);
    // Started over once with the cache off; what it starts in turn gets the user's own
    // tunables (here none, or others), and it keeps its name.
    const auto plain = probe("-u GLIBC_TUNABLES");
    EXPECT_EQ(plain.name, name);
    EXPECT_EQ(plain.tunables, "-");
    const auto others = probe("GLIBC_TUNABLES=glibc.malloc.arena_max=2");
    EXPECT_EQ(others.tunables, "glibc.malloc.arena_max=2");
    const auto own = probe("GLIBC_TUNABLES=glibc.malloc.tcache_count=7");
    EXPECT_EQ(own.tunables, "glibc.malloc.tcache_count=7");
    if (sanitized())
        return; // the sanitizer's allocator has neither the cache nor the heap's free lists
    EXPECT_EQ(plain.freedTo, "heap") << "the cache is off in the program started over";
    EXPECT_EQ(others.freedTo, "heap");
    EXPECT_EQ(own.freedTo, "cache");
    // Run through the dynamic loader by name it cannot start over, and does not try.
    const auto loaded = probe("-u GLIBC_TUNABLES /lib64/ld-linux-x86-64.so.2");
    EXPECT_EQ(loaded.tunables, "-");
    EXPECT_EQ(loaded.freedTo, "cache");
}
