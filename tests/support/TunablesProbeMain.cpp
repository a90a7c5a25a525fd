// Starts over with glibc's per-thread cache of freed blocks turned off, as the
// application does, then prints GLIBC_TUNABLES and where a freed small block went:
// "heap" (its free lists, as without the cache) or "cache".
#include "platform/AllocatorTunables.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

int main(int, char** argv) {
    AllocatorTunables::startOverWith("glibc.malloc.tcache_count=0", argv);
    void* volatile block = std::malloc(40);
    void* volatile after = std::malloc(40); // keeps the freed block off the heap's top
    const size_t before = ::mallinfo2().fsmblks;
    std::free(block);
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("%s %s\n", tunables ? tunables : "-",
                ::mallinfo2().fsmblks > before ? "heap" : "cache");
    std::free(after);
    return 0;
}
