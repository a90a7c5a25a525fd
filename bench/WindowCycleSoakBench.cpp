// Soak through the window: the real quovant binary (as an ordinary user, on Xvfb)
// logs in and connects, then disconnects and connects again N times from its tray
// item, each time through the account service and the helper. After each cycle it
// prints the live heap bytes the application holds (asked for through a probe
// preloaded into it for this bench only, HeapProbe.cpp), its resident memory and its
// open descriptors, and then their slope per cycle after a warm-up. Memory held is
// what a leak grows; resident memory also counts freed pages the allocator keeps and is
// given beside it. Each sample is taken once the application has been connected for a
// moment, as between a user's connects: a second after its last state change it gives
// the cycle's freed heap pages back. Needs root; runs the product stack in a private
// network namespace. Arguments: cycles (default 320) and warm-up cycles (default 20).
#include "HeapProbeClient.h"
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
    const int cycles = argc > 1 ? std::max(2, std::atoi(argv[1])) : 320;
    const int warmUp = argc > 2 ? std::clamp(std::atoi(argv[2]), 0, cycles - 2) : 20;
    isolateNetwork();
    ProductStack stack(true);
    const HeapProbeClient probe(QUOVANT_HEAP_PROBE, ProductStack::appUid);
    auto quovant = stack.startQuovant(probe.environment());
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

    SoakFigures soak(quovant->pid(), cycles, warmUp, STDOUT_FILENO,
                     [&probe] { return probe.liveBytes().value_or(-1); });
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
        if (!soak.sample(cycle)) {
            std::fprintf(stderr, "the heap probe did not answer in cycle %d\n", cycle);
            return 1;
        }
    }
    soak.summary();
    std::printf("live heap target <= 16 bytes/cycle: %s\n",
                soak.liveHeapSlope() <= 16 ? "met" : "missed");
    return 0;
}
