// An idle management connection must cost nothing: the read loop sleeps in the
// kernel until bytes arrive. Counts the loop's reads and its thread's context
// switches over an idle stretch (10 s by default, or the first argument in seconds).
#include "vpn/OpenVPNManagement.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct NullSink : StateSink {
    void updateState(const std::string&) override {}
};

// Voluntary + involuntary context switches of every thread but the calling one.
long otherThreadSwitches() {
    long total = 0;
    const std::string self = std::to_string(::gettid());
    DIR* dir = ::opendir("/proc/self/task");
    while (dirent* e = ::readdir(dir)) {
        const std::string tid = e->d_name;
        if (tid == "." || tid == ".." || tid == self)
            continue;
        std::ifstream status("/proc/self/task/" + tid + "/status");
        std::string key;
        long value;
        while (status >> key) {
            if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
                status >> value;
                total += value;
            }
        }
    }
    ::closedir(dir);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 1;

    NullSink sink;
    OpenVPNManagement management(sink, ntohs(address.sin_port));
    if (!management.socket().connect(3).ok())
        return 1;
    const int peer = ::accept(listener, nullptr, nullptr);
    management.startReading();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const uint64_t readsBefore = management.readCount();
    const long switchesBefore = otherThreadSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const uint64_t reads = management.readCount() - readsBefore;
    const long switches = otherThreadSwitches() - switchesBefore;

    std::printf("idle %d s: %llu reads, %ld read-loop wakeups (%.2f per second)\n", seconds,
                static_cast<unsigned long long>(reads), switches, double(switches) / seconds);
    ::close(peer);
    ::close(listener);
    return reads == 0 ? 0 : 2;
}
