// An idle management connection must cost nothing: the read loop sleeps in the
// kernel until bytes arrive. Counts the loop's reads and its thread's context
// switches over an idle stretch (10 s by default, or the first argument in seconds).
#include "vpn/OpenVPNManagement.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
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
    // A connected pair, as the helper hands the application its end of openvpn's.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 1;
    const int peer = ends[1];

    NullSink sink;
    OpenVPNManagement management(sink);
    if (!management.socket().adopt(UniqueFd(ends[0])))
        return 1;
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
    return reads == 0 ? 0 : 2;
}
