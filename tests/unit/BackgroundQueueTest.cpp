#include "vpn/BackgroundQueue.h"

#include <atomic>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(BackgroundQueue, RunsTasksInOrderOnOneThreadThatOutlivesIdleSpells) {
    BackgroundQueue queue;
    std::vector<int> order; // touched by the queue's thread only until it is idle
    std::set<pid_t> threads;
    for (int spell = 0; spell < 3; ++spell) {
        for (int task = 0; task < 5; ++task)
            queue.async([&, number = spell * 5 + task] {
                order.push_back(number);
                threads.insert(::gettid());
            });
        queue.waitUntilIdle();
        // Idle long enough for a thread that ended with its work to be gone.
        std::this_thread::sleep_for(20ms);
    }
    std::vector<int> expected(15);
    for (int i = 0; i < 15; ++i)
        expected[static_cast<size_t>(i)] = i;
    EXPECT_EQ(order, expected);
    ASSERT_EQ(threads.size(), 1u) << "every task ran on the same thread, kernel ids compared";
    EXPECT_NE(*threads.begin(), ::gettid());
}

TEST(BackgroundQueue, IdleOnlyOnceTheRunningTaskAndItsCapturesAreGone) {
    BackgroundQueue queue;
    auto held = std::make_shared<int>(0);
    std::promise<void> release;
    auto released = release.get_future().share();
    queue.async([held, released] { released.wait(); });
    auto idle = std::async(std::launch::async, [&] { queue.waitUntilIdle(); });
    EXPECT_EQ(idle.wait_for(50ms), std::future_status::timeout) << "a task still runs";
    release.set_value();
    ASSERT_EQ(idle.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(held.use_count(), 1) << "what the task held was let go before the queue was idle";
}

TEST(BackgroundQueue, DestructionRunsWhatWasGivenIncludingWhatATaskGivesOnItsWay) {
    std::atomic<int> ran{0};
    {
        BackgroundQueue queue;
        std::promise<void> release;
        auto released = release.get_future().share();
        queue.async([&, released] {
            released.wait();
            ++ran;
            queue.async([&] { ++ran; }); // given while the queue ends
        });
        queue.async([&] { ++ran; });
        release.set_value();
    }
    EXPECT_EQ(ran, 3);
}

// The application makes its queues at start and may never connect: an idle process
// keeps no thread for them.
TEST(BackgroundQueue, AQueueNeverGivenATaskStartsNoThread) {
    auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    // A sanitizer's runtime starts a thread of its own with the process's first one.
    std::thread([] {}).join();
    const auto before = threads();
    BackgroundQueue queue;
    queue.waitUntilIdle();
    EXPECT_EQ(threads(), before);
    queue.async([] {});
    queue.waitUntilIdle();
    EXPECT_EQ(threads(), before + 1);
}

} // namespace
