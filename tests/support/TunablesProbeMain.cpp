// Starts over with glibc's per-thread cache of freed blocks turned off, as the
// application does, then prints its process name, GLIBC_TUNABLES as it finds it, and
// where a freed small block went: "heap" (its free lists, as without the cache) or
// "cache".
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
    const char* freedTo = ::mallinfo2().fsmblks > before ? "heap" : "cache";
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    char name[32] = "";
    if (FILE* comm = std::fopen("/proc/self/comm", "r")) {
        if (std::fscanf(comm, "%31s", name) != 1)
            name[0] = 0;
        std::fclose(comm);
    }
    std::printf("%s %s %s\n", name, tunables ? tunables : "-", freedTo);
    std::free(after);
    return 0;
}
