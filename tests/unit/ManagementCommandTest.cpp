#include "vpn/ManagementCommand.h"

#include "vpn/SocketOwner.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

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

} // namespace
