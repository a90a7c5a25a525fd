#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One background thread that runs the tasks given to it one after another, in the order
// they came. The thread starts with the first task and stays until the queue is
// destroyed: a process that connects and disconnects all day starts no thread per
// connection, so it gets no fresh stack and no allocator arena to fill each time.
class BackgroundQueue {
public:
    BackgroundQueue() = default;
    // Runs every task already given, then ends the thread.
    ~BackgroundQueue();
    BackgroundQueue(const BackgroundQueue&) = delete;
    BackgroundQueue& operator=(const BackgroundQueue&) = delete;

    // Returns at once; `task` runs on the queue's thread after every earlier one.
    void async(std::function<void()> task);

    // Waits until every task given so far has run. Never from one of the queue's own tasks.
    void waitUntilIdle();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> tasks_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread thread_;
};
