#include "helperd/ClientTable.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int someFd() {
    int pair[2];
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    ::close(pair[1]);
    return pair[0];
}

TEST(ClientTable, CallersAreCopiesThatOutliveTheirConnectionAndIdsAreNeverReused) {
    ClientTable table;
    const auto now = ClientTable::Clock::time_point{};
    const uint64_t first = table.add(someFd(), 1000, 1000, 10, now);
    const auto caller = table.caller(first);
    ASSERT_TRUE(caller);
    EXPECT_TRUE(table.remove(first));
    EXPECT_FALSE(table.remove(first));
    EXPECT_EQ(caller->uid, 1000u) << "the copy stays usable after the close";
    EXPECT_EQ(caller->describe(), "uid 1000, pid 10");
    EXPECT_FALSE(table.caller(first));
    EXPECT_FALSE(table.contains(first)) << "a look-up does not bring it back";
    EXPECT_EQ(table.fd(first), -1);
    EXPECT_FALSE(table.nextLine(first));
    EXPECT_FALSE(table.accept(first, 1));
    EXPECT_NE(table.add(someFd(), 1000, 1000, 10, now), first);
}

TEST(ClientTable, EachUserGetsOneRequestPerTurnWhateverItPipelines) {
    ClientTable table;
    const auto now = ClientTable::Clock::time_point{};
    const uint64_t flood1 = table.add(someFd(), 1000, 1000, 1, now);
    const uint64_t flood2 = table.add(someFd(), 1000, 1000, 2, now);
    const uint64_t other = table.add(someFd(), 1001, 1001, 3, now);
    std::string many;
    for (int i = 0; i < 60; ++i)
        many += "request\n";
    table.append(flood1, many);
    table.append(flood2, many);
    table.append(other, "getVersion\n");
    const std::vector<std::vector<uint64_t>> turns = {{flood1, other}, {flood2}, {flood1}};
    for (const auto& expected : turns) {
        const auto turn = table.nextTurn();
        EXPECT_EQ(turn, expected);
        for (uint64_t id : turn)
            table.nextLine(id);
    }
}

TEST(ClientTable, AConnectionThatOwesARequestStallsAfterTheTimeout) {
    ClientTable table;
    const auto start = ClientTable::Clock::time_point{};
    const uint64_t silent = table.add(someFd(), 1000, 1000, 1, start);
    const uint64_t served = table.add(someFd(), 1000, 1000, 2, start);
    table.append(served, "{}\n");
    ASSERT_TRUE(table.nextLine(served));
    ASSERT_TRUE(table.accept(served, 1));
    EXPECT_FALSE(table.accept(served, 1)) << "ids only go up";
    EXPECT_EQ(table.stalled(start + std::chrono::seconds(10), std::chrono::seconds(10)),
              std::vector<uint64_t>{silent});
    EXPECT_EQ(table.nextStall(std::chrono::seconds(10)), start + std::chrono::seconds(10));
}

} // namespace
