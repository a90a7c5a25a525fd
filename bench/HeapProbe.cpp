// Preloaded into the application by bench_window_cycle_soak only (LD_PRELOAD), to tell
// the bench how much heap memory the application holds without a hook in the product.
// When QUOVANT_BENCH_HEAP_PROBE names a socket path, a thread of its own listens there
// and answers each connection with one line: the bytes in use in all of glibc's arenas
// plus those in blocks mapped on their own (mallinfo2's uordblks + hblkhd). glibc counts
// the freed blocks it keeps in its per-thread caches (up to seven of each small size per
// thread) as in use too, so the figure can rise by that much without anything held.
// mallinfo2 takes the allocator's locks, so it runs on that thread, never in a signal
// handler. The thread allocates nothing itself, so it adds no arena of its own.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* pathVariable = "QUOVANT_BENCH_HEAP_PROBE";

void answer(int client) {
    char request;
    if (::read(client, &request, 1) != 1)
        return;
    const struct mallinfo2 info = ::mallinfo2();
    char line[96];
    const int length = std::snprintf(line, sizeof line, "%zu\n", info.uordblks + info.hblkhd);
    for (int written = 0; written < length;) {
        const ssize_t n = ::write(client, line + written, static_cast<size_t>(length - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += static_cast<int>(n);
    }
}

void* serve(void* listening) {
    const int server = static_cast<int>(reinterpret_cast<intptr_t>(listening));
    for (;;) {
        const int client = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return nullptr;
        }
        answer(client);
        ::close(client);
    }
}

__attribute__((constructor)) void startHeapProbe() {
    const char* path = std::getenv(pathVariable);
    if (!path)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = std::strlen(path);
    int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (length < sizeof address.sun_path && server >= 0) {
        std::memcpy(address.sun_path, path, length);
        if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(server, 4) == 0) {
            // The thread takes no signals: they stay with the threads that expect them.
            sigset_t all, previous;
            sigfillset(&all);
            pthread_sigmask(SIG_SETMASK, &all, &previous);
            pthread_t thread;
            const bool started =
                pthread_create(&thread, nullptr, serve,
                               reinterpret_cast<void*>(static_cast<intptr_t>(server))) == 0;
            pthread_sigmask(SIG_SETMASK, &previous, nullptr);
            if (started) {
                pthread_detach(thread);
                server = -1;
            }
        }
    }
    if (server >= 0)
        ::close(server);
    // What the application starts is measured by no one.
    ::unsetenv(pathVariable);
    ::unsetenv("LD_PRELOAD");
}

} // namespace
