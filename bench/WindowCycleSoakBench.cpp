// Soak through the window: the real quovant binary (as an ordinary user, on Xvfb)
// logs in and connects, then disconnects and connects again N times from its tray
// item, each time through the account service and the helper; its resident memory
// and open descriptors are printed after each cycle with their slope per cycle after
// a warm-up. Each sample is taken once the application has been connected for a
// moment, as between a user's connects: a second after its last state change it
// gives the cycle's freed heap pages back, and memory that only came and went is not
// growth. Needs root; runs the product stack in a private network namespace.
// Arguments: cycles (default 200) and warm-up cycles (default 20).
#include "ProductStack.h"
#include "SoakFigures.h"
#include "TestNetwork.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

size_t occurrences(const std::string& text, const std::string& word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(2, std::atoi(argv[1])) : 200;
    const int warmUp = argc > 2 ? std::clamp(std::atoi(argv[2]), 0, cycles - 2) : 20;
    isolateNetwork();
    ProductStack stack(true);
    auto quovant = stack.startQuovant();
    const std::string window = stack.waitForWindow();
    if (window.empty()) {
        std::fprintf(stderr, "the window did not appear:\n%s\n", stack.appLog().c_str());
        return 1;
    }
    std::this_thread::sleep_for(2s); // the helper check and first paint are over
    stack.logIn(window);
    // Waits until the application has logged `word` `n` times.
    auto reached = [&](const char* word, size_t n) {
        return pollUntil([&] { return occurrences(stack.appLog(), word) >= n; }, 60s);
    };
    if (!reached("\nCONNECTED\n", 1)) {
        std::fprintf(stderr, "no CONNECTED:\n%s\n", stack.appLog().c_str());
        return 1;
    }

    SoakFigures soak(quovant->pid(), cycles, warmUp, STDOUT_FILENO);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const auto cycleNumber = static_cast<size_t>(cycle);
        if (!stack.chooseConnectItemFromTray() || !reached("\nNOPROCESS\n", cycleNumber) ||
            !stack.chooseConnectItemFromTray() || !reached("\nCONNECTED\n", cycleNumber + 1)) {
            std::fprintf(
                stderr, "cycle %d did not complete:\n%s\n", cycle,
                stack.appLog()
                    .substr(stack.appLog().size() > 4000 ? stack.appLog().size() - 4000 : 0)
                    .c_str());
            return 1;
        }
        std::this_thread::sleep_for(1500ms);
        soak.sample(cycle);
    }
    soak.summary();
    return 0;
}
