#include "platform/ManualMainQueue.h"
#include "vpn/OpenVPNService.h"

#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace {

struct Fixture {
    ManualMainQueue queue;
    NotificationCenter center;
    int notifications = 0;
    OpenVPNService service{{.mainQueue = &queue, .notifications = &center}};

    Fixture() {
        center.addObserver(OpenVPNService::stateDidChangeNotification, [this] { ++notifications; });
    }
};

TEST(OpenVPNServiceState, FreshServiceHasNoProcessAndNoFields) {
    Fixture f;
    EXPECT_EQ(f.service.state(), "NOPROCESS");
    EXPECT_FALSE(f.service.config);
    EXPECT_FALSE(f.service.username);
    EXPECT_FALSE(f.service.password);
}

TEST(OpenVPNServiceState, UpdateRule) {
    struct Case {
        std::string from;
        std::string word;
        bool stored;
    };
    const Case cases[] = {
        {"CONNECTED", "ASSIGN_IP", false},    {"CONNECTED", "ADD_ROUTES", false},
        {"CONNECTED", "CONNECTED", true},     {"CONNECTED", "assign_ip", true},
        {"WAIT", "ASSIGN_IP", true},          {"NOPROCESS", "ADD_ROUTES", true},
        {"CONNECTED", "EXITING", true},       {"NOPROCESS", "", true},
        {"NOPROCESS", "SOMETHING_NEW", true},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.service.setState(c.from);
        f.queue.drain();
        f.service.updateState(c.word);
        f.queue.drain();
        EXPECT_EQ(f.service.state(), c.stored ? c.word : c.from) << c.from << " <- " << c.word;
        EXPECT_EQ(f.notifications, c.stored ? 1 : 0) << c.from << " <- " << c.word;
    }
}

TEST(OpenVPNServiceState, SetStatePublishesNothingAndRepeatsPostAgain) {
    Fixture f;
    f.service.setState("WAIT");
    EXPECT_EQ(f.queue.drain(), 0u);
    f.service.updateState("AUTH");
    f.service.updateState("AUTH");
    EXPECT_EQ(f.notifications, 0) << "notifications wait for the main queue";
    f.queue.drain();
    EXPECT_EQ(f.notifications, 2);
}

TEST(OpenVPNServiceState, ConcurrentWritersEachPostOnceAndLeaveALastWord) {
    Fixture f;
    constexpr int perThread = 2000;
    auto writer = [&](const std::string& prefix) {
        for (int i = 0; i < perThread; ++i)
            f.service.updateState(prefix + std::to_string(i));
    };
    std::thread a(writer, "A"), b(writer, "B");
    // The main thread keeps handling notifications while the writers run.
    std::set<std::string> seen;
    f.center.addObserver(OpenVPNService::stateDidChangeNotification,
                         [&] { seen.insert(f.service.state()); });
    while (f.notifications < 2 * perThread)
        f.queue.drainUntil([&] { return f.notifications >= 2 * perThread; },
                           std::chrono::seconds(10));
    a.join();
    b.join();
    f.queue.drain();
    EXPECT_EQ(f.notifications, 2 * perThread);
    const std::string last = f.service.state();
    EXPECT_TRUE(last == "A" + std::to_string(perThread - 1) ||
                last == "B" + std::to_string(perThread - 1))
        << last;
    EXPECT_TRUE(seen.count(last));
}

TEST(OpenVPNServiceState, SharedIsCreatedOnceUnderConcurrentFirstUse) {
    std::vector<OpenVPNService*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = &OpenVPNService::shared(); });
    for (auto& t : threads)
        t.join();
    for (auto* s : seen)
        EXPECT_EQ(s, seen[0]);
    EXPECT_EQ(seen[0]->state(), "NOPROCESS");
}

} // namespace
