#include "vpn/ManagementCommand.h"

#include "vpn/SocketOwner.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(ManagementCommand, CredentialsGoOutAsOneQuotedParameter) {
    EXPECT_EQ(ManagementCommand::username("me@example.com"),
              "username 'Auth' \"me@example.com\"\n");
    EXPECT_EQ(ManagementCommand::password("a b"), "password 'Auth' \"a b\"\n");
    EXPECT_EQ(ManagementCommand::password("q\"uo'te"), "password 'Auth' \"q\\\"uo'te\"\n");
    EXPECT_EQ(ManagementCommand::password("back\\slash\\"),
              "password 'Auth' \"back\\\\slash\\\\\"\n");
    EXPECT_EQ(ManagementCommand::password(" ñ 密 "), "password 'Auth' \" ñ 密 \"\n");
    EXPECT_EQ(ManagementCommand::password(""), "password 'Auth' \"\"\n");
}

TEST(ManagementCommand, ControlCharactersAreRefused) {
    for (const std::string& bad : std::vector<std::string>{
             "a\nsignal SIGTERM", "a\rb", std::string("a\0b", 3), "tab\there", "del\x7f"})
        EXPECT_FALSE(ManagementCommand::password(bad)) << bad;
    EXPECT_FALSE(ManagementCommand::username("x\n"));
}

sockaddr_in endpoint(const char* address, uint16_t port) {
    sockaddr_in e{};
    e.sin_family = AF_INET;
    inet_pton(AF_INET, address, &e.sin_addr);
    e.sin_port = htons(port);
    return e;
}

TEST(SocketOwner, FindsTheFarEndOfExactlyThisConnection) {
    // Our end is 127.0.0.1:40000, the far end 127.0.0.1:1337 (0x0539).
    const std::string table = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                              "retrnsmt   uid  timeout inode\n"
                              "   0: 0100007F:0539 00000000:0000 0A 00000000:00000000 00:00000000 "
                              "00000000     0        0 1 1 0\n"
                              "   1: 0100007F:0539 0100007F:9C41 01 00000000:00000000 00:00000000 "
                              "00000000  1000        0 2 1 0\n"
                              "   2: 0100007F:9C40 0100007F:0539 01 00000000:00000000 00:00000000 "
                              "00000000  1000        0 3 1 0\n"
                              "   3: 0100007F:0539 0100007F:9C40 01 00000000:00000000 00:00000000 "
                              "00000000 65534        0 4 1 0\n";
    const auto local = endpoint("127.0.0.1", 40000);
    const auto peer = endpoint("127.0.0.1", 1337);
    EXPECT_EQ(SocketOwner::find(table, local, peer), 65534u);
    EXPECT_FALSE(SocketOwner::find(table, endpoint("127.0.0.1", 40002), peer));
    EXPECT_FALSE(SocketOwner::find("garbage", local, peer));
}

// The kernel's table lists every socket of the system and is read in pieces: an entry
// far down it, or cut by the end of a piece, is found all the same.
TEST(SocketOwner, FindsTheEntryInALongTableReadInPiecesThatCutLines) {
    const std::string entry = "0100007F:0539 0100007F:9C40 01 00000000:00000000 00:00000000 "
                              "00000000 65534        0 4 1 0\n";
    std::string table = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                        "retrnsmt   uid  timeout inode\n";
    // About 45 kB of other sockets, some waiting out their close: within what a pipe holds,
    // so the writer never waits on a reader that found its entry early.
    for (int i = 0; i < 300; ++i)
        table += "   " + std::to_string(i) +
                 ": 0100007F:0539 0100007F:9C41 06 00000000:00000000 03:00000000 "
                 "00000000  1000        0 0 3 0\n";
    const auto local = endpoint("127.0.0.1", 40000);
    const auto peer = endpoint("127.0.0.1", 1337);
    for (const size_t piece : {size_t(1000), size_t(4096), size_t(65536)}) {
        for (const bool last : {true, false}) {
            const std::string text = last ? table + " 300: " + entry
                                          : table.substr(0, table.find('\n') + 1) +
                                                "   0: " + entry +
                                                table.substr(table.find('\n') + 1);
            int ends[2];
            ASSERT_EQ(::pipe(ends), 0);
            std::thread writer([&] {
                for (size_t at = 0; at < text.size(); at += piece)
                    if (::write(ends[1], text.data() + at, std::min(piece, text.size() - at)) < 0)
                        break;
                ::close(ends[1]);
            });
            EXPECT_EQ(SocketOwner::read(ends[0], local, peer), 65534u)
                << "pieces of " << piece << (last ? ", entry last" : ", entry first");
            writer.join();
            ::close(ends[0]);
        }
    }
}

} // namespace
