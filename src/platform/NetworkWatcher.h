#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

struct nlmsghdr;

// Follows the kernel's routing netlink for changes that can cut a tunnel's path: a
// link going up or down, an address coming or going, a default route changing. The
// VPN's own tunnel devices (tun*), loopback and link-local addresses do not count.
// A burst of events (a link coming up brings addresses and routes with it) is
// reported once, after it has been quiet for quietPeriod, or maxDelay after its first
// event, whichever comes first.
class NetworkWatcher {
public:
    static constexpr auto quietPeriod = std::chrono::milliseconds(300);
    static constexpr auto maxDelay = std::chrono::milliseconds(1000);

    struct Change {
        std::string what; // the burst's first event
        // Whether a way out may have come: a link up, an address or default route added.
        bool appeared = false;
    };

    // `changed` runs on the watcher's own thread, once per burst.
    explicit NetworkWatcher(std::function<void(const Change& change)> changed);
    ~NetworkWatcher();
    NetworkWatcher(const NetworkWatcher&) = delete;
    NetworkWatcher& operator=(const NetworkWatcher&) = delete;

    // False when the netlink socket could not be opened: nothing is then reported.
    bool watching() const { return socketFd_ >= 0; }

    // What one netlink message changed that matters, if anything; updates what is
    // known about the links. Public for tests.
    std::optional<Change> classify(const nlmsghdr& message);

private:
    struct Link {
        std::string name;
        unsigned flags = 0;
    };

    void run();
    // Reads what is waiting; the relevant changes in it taken together, if any.
    std::optional<Change> readEvents();
    // Asks the kernel for every link, address or route (`type`) and learns them.
    bool requestDump(uint16_t type, size_t headerSize);
    // Records that the address or default route `key` on link `index` was added or
    // removed; false when an addition only repeats what is known.
    bool noteChange(int index, std::string key, bool added);
    // Whether link `index` holds an address or a default route.
    bool carriesTraffic(int index) const;
    // Forgets what link `index` held: its routes only, or everything.
    void forget(int index, bool routesOnly);
    std::string nameOf(int index) const;

    std::function<void(const Change&)> changed_;
    int socketFd_ = -1;
    int wakeFd_ = -1;
    // Watcher thread only, once it runs.
    std::map<int, Link> links_;
    std::map<std::string, int> known_; // addresses and default routes, with their link
    std::thread thread_;
};
