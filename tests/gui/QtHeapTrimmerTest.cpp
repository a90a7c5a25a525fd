#include "platform/qt/QtHeapTrimmer.h"

#include "QtWait.h"

#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

TEST(HeapTrimmer, TrimsOnceWhenWorkHasStopped) {
    int trims = 0;
    // Bursts 50 ms apart against a quiet time ten times as long, so that a slow machine
    // does not make a pause of it.
    QtHeapTrimmer trimmer(500ms, [&trims] { ++trims; });
    for (int burst = 0; burst < 5; ++burst) {
        trimmer.workDone();
        spin(50ms);
    }
    EXPECT_EQ(trims, 0) << "work went on all the time";
    EXPECT_TRUE(waitUntil([&] { return trims == 1; }, 5s));
    spin(700ms);
    EXPECT_EQ(trims, 1) << "nothing happened since";

    trimmer.workDone();
    EXPECT_TRUE(waitUntil([&] { return trims == 2; }, 5s)) << "a later burst is trimmed too";
}

TEST(HeapTrimmer, GivesFreedHeapPagesBack) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator keeps its own pages";
#elif !defined(__GLIBC__)
    GTEST_SKIP() << "only glibc's heap keeps freed pages until trimmed";
#endif
    // Blocks small enough for the heap itself, freed below one still held: the heap
    // cannot shrink from its top, so their pages stay resident until trimmed.
    constexpr size_t blockSize = 4000, blocks = 8192; // 32 MB
    std::vector<std::unique_ptr<char[]>> freed(blocks);
    for (auto& block : freed) {
        block = std::make_unique<char[]>(blockSize);
        std::fill_n(block.get(), blockSize, '\1');
    }
    const auto held = std::make_unique<char[]>(blockSize);
    held[0] = 1;
    freed.clear();
    const long before = residentKiB();

    QtHeapTrimmer trimmer(10ms);
    trimmer.workDone();
    EXPECT_TRUE(waitUntil([&] { return residentKiB() < before - 16 * 1024; }, 5s))
        << "resident " << before << " kB before, " << residentKiB() << " kB after";
}

} // namespace
