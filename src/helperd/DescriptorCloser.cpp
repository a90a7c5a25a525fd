#include "helperd/DescriptorCloser.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

DescriptorCloser::DescriptorCloser() : shared_(std::make_shared<Shared>()) {
    shared_->wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

DescriptorCloser::~DescriptorCloser() {
    std::lock_guard lock(shared_->mutex);
    for (auto& [sender, lane] : shared_->lanes) {
        if (!lane.thread.joinable())
            continue;
        if (lane.running)
            lane.thread.detach();
        else
            lane.thread.join();
    }
}

int DescriptorCloser::fd() const {
    return shared_->wake.get();
}

void DescriptorCloser::close(uid_t sender, std::vector<UniqueFd> fds) {
    size_t count = 0;
    std::lock_guard lock(shared_->mutex);
    Shared::Lane& lane = shared_->lanes[sender];
    for (auto& fd : fds)
        if (fd.valid()) {
            lane.queue.push_back(fd.release());
            ++count;
        }
    if (count == 0)
        return;
    waiting_[sender] += count;
    if (lane.running)
        return;
    // A lane's thread that has said it is done has nothing left to do but end.
    if (lane.thread.joinable())
        lane.thread.join();
    // Without a thread (the unit's task limit reached), they wait for the sender's next ones,
    // counted as waiting: the sender is then the one no longer read from.
    try {
        lane.thread = std::thread(work, shared_, sender);
        lane.running = true;
    } catch (const std::system_error&) {
    }
}

void DescriptorCloser::collect() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(shared_->wake.get(), &count, sizeof count);
    std::vector<uid_t> closed;
    {
        std::lock_guard lock(shared_->mutex);
        closed.swap(shared_->closed);
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

void DescriptorCloser::work(const std::shared_ptr<Shared>& shared, uid_t sender) {
    std::unique_lock lock(shared->mutex);
    Shared::Lane& lane = shared->lanes[sender];
    while (!lane.queue.empty()) {
        const int fd = lane.queue.front();
        lane.queue.pop_front();
        lock.unlock();
        // Whatever the socket still holds is dropped rather than waited for; the sender may
        // turn linger on again meanwhile, which then holds up its own lane alone.
        const linger off{0, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        ::close(fd);
        lock.lock();
        shared->closed.push_back(sender);
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(shared->wake.get(), &one, sizeof one);
    }
    lane.running = false;
}
