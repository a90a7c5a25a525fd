#include "helperd/DescriptorCloser.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

DescriptorCloser::DescriptorCloser()
    : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), worker_([this] { work(); }) {}

DescriptorCloser::~DescriptorCloser() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_one();
    worker_.join();
}

void DescriptorCloser::close(uid_t sender, std::vector<UniqueFd> fds) {
    if (fds.empty())
        return;
    {
        std::lock_guard lock(mutex_);
        for (auto& fd : fds)
            if (fd.valid())
                queue_.emplace_back(sender, fd.release());
    }
    waiting_[sender] += fds.size();
    queued_.notify_one();
}

void DescriptorCloser::collect() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake_.get(), &count, sizeof count);
    std::vector<uid_t> closed;
    {
        std::lock_guard lock(mutex_);
        closed.swap(closed_);
    }
    for (uid_t sender : closed) {
        const auto it = waiting_.find(sender);
        if (it != waiting_.end() && --it->second == 0)
            waiting_.erase(it);
    }
}

size_t DescriptorCloser::waiting(uid_t sender) const {
    const auto it = waiting_.find(sender);
    return it == waiting_.end() ? 0 : it->second;
}

void DescriptorCloser::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        const auto [sender, fd] = queue_.front();
        queue_.pop_front();
        lock.unlock();
        // Whatever the socket still holds is dropped rather than waited for; the sender may
        // turn linger on again meanwhile, which then holds up this thread alone.
        const linger off{0, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        ::close(fd);
        lock.lock();
        closed_.push_back(sender);
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
    }
}
