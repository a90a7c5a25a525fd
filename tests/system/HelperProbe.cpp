// quovant-helper-probe BUNDLE_DIR SOCKET: the application's launch check against a
// helper, for tests that install Quovant for real. It asks the helper at SOCKET for
// its version (its log lines go to standard error) and prints "current" when that
// equals the version of the helper copy in BUNDLE_DIR, "install" when the
// application would install the helper; then, on a second line, the directory whose
// scripts the application would hand the helper.
#include "helper/HelperClient.h"
#include "helper/HelperPaths.h"
#include "platform/ManualMainQueue.h"

#include <chrono>
#include <cstdio>
#include <future>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quovant-helper-probe BUNDLE_DIR SOCKET\n");
        return 2;
    }
    ManualMainQueue mainQueue;
    HelperClient installer({&mainQueue, argv[1], argv[2], [] {}});
    std::promise<bool> answer;
    installer.shouldInstallHelper([&](bool current) { answer.set_value(current); });
    auto future = answer.get_future();
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        std::fprintf(stderr, "the helper did not answer in time\n");
        return 3;
    }
    std::puts(future.get() ? "current" : "install");
    std::puts(HelperPaths::installDir().c_str());
    return 0;
}
