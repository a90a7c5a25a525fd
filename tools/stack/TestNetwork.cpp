#include "TestNetwork.h"

#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <unistd.h>

void isolateNetwork() {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "this test needs root (network namespaces, tun, the helper daemon)\n");
        std::exit(1);
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET)");
        std::exit(1);
    }
    if (runCommand({"ip", "link", "set", "lo", "up"}) != 0) {
        std::fprintf(stderr, "cannot bring up lo in the test's network namespace\n");
        std::exit(1);
    }
}
