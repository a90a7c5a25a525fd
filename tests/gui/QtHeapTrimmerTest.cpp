#include "platform/qt/QtHeapTrimmer.h"

#include "QtWait.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
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

// Whether `address` lies in the process's heap (the [heap] mapping).
bool inHeap(const void* address) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("[heap]") == std::string::npos)
            continue;
        std::istringstream range(line);
        uintptr_t start = 0, end = 0;
        char dash;
        range >> std::hex >> start >> dash >> end;
        const auto at = reinterpret_cast<uintptr_t>(address);
        return at >= start && at < end;
    }
    return false;
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

TEST(HeapTrimmer, LargeBlocksStayOutOfTheHeapAfterALargerOneWasFreed) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator places blocks itself";
#endif
    QtHeapTrimmer::keepLargeBlocksOutOfTheHeap();
    void* larger = std::malloc(4 << 20);
    ASSERT_NE(larger, nullptr);
    static_cast<char*>(larger)[0] = 1;
    std::free(larger);
    void* large = std::malloc(512 << 10);
    ASSERT_NE(large, nullptr);
    EXPECT_FALSE(inHeap(large)) << "a block of 512 KiB came from the heap";
    std::free(large);
}

} // namespace
