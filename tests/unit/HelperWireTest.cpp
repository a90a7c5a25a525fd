#include "helper/HelperWire.h"

#include "helper/FdPassing.h"
#include "helper/LineReader.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

TEST(HelperWire, RequestsAndRepliesRoundTrip) {
    HelperRequest run;
    run.id = 7;
    run.operation = HelperRequest::Operation::runOpenVPN;
    run.clientUp = "/usr/local/libexec/quovant-helper/client.up";
    run.clientDown = "/usr/local/libexec/quovant-helper/client.down";
    const std::string line = HelperWire::encode(run);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one message, one line";
    const auto decoded = HelperWire::decodeRequest(line.substr(0, line.size() - 1));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->id, 7u);
    EXPECT_EQ(decoded->operation, HelperRequest::Operation::runOpenVPN);
    EXPECT_EQ(decoded->clientDown, run.clientDown);
    EXPECT_FALSE(decoded->blockLeaks);
    EXPECT_FALSE(decoded->allowLocalNetwork);
    run.blockLeaks = run.allowLocalNetwork = true;
    const auto guarded = HelperWire::decodeRequest(HelperWire::encode(run));
    ASSERT_TRUE(guarded);
    EXPECT_TRUE(guarded->blockLeaks);
    EXPECT_TRUE(guarded->allowLocalNetwork);

    // The started reply's news is the descriptor that comes with it.
    HelperReply started;
    started.id = 7;
    started.kind = HelperReply::Kind::started;
    EXPECT_EQ(HelperWire::encode(started), "{\"id\":7,\"reply\":\"started\",\"v\":1}\n");
    ASSERT_TRUE(HelperWire::decodeReply("{\"id\":7,\"reply\":\"started\",\"v\":1}"));

    HelperReply terminated;
    terminated.id = 7;
    terminated.kind = HelperReply::Kind::terminated;
    terminated.status = -1;
    const auto back = HelperWire::decodeReply(HelperWire::encode(terminated));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->status, -1);
    EXPECT_FALSE(back->blocking);
    terminated.blocking = true;
    const auto blocking = HelperWire::decodeReply(HelperWire::encode(terminated));
    ASSERT_TRUE(blocking);
    EXPECT_TRUE(blocking->blocking);
    // A reason with parts keeps its text apart from them, for the application to translate.
    terminated.reason = {"The VPN profile was refused (%1).", {{"line 2: \"up\" is not allowed"}}};
    const auto withParts = HelperWire::decodeReply(HelperWire::encode(terminated));
    ASSERT_TRUE(withParts);
    EXPECT_EQ(withParts->reason.text(), "The VPN profile was refused (%1).");
    ASSERT_EQ(withParts->reason.parts().size(), 1u);
    EXPECT_EQ(withParts->reason.parts()[0].text(), "line 2: \"up\" is not allowed");
    HelperReply lifted;
    lifted.id = 7;
    lifted.kind = HelperReply::Kind::blockLifted;
    lifted.reason = "An administrator ended the block of traffic outside the VPN.";
    const auto liftedLine = HelperWire::encode(lifted);
    EXPECT_EQ(liftedLine, "{\"id\":7,\"reason\":\"An administrator ended the block of traffic "
                          "outside the VPN.\",\"reply\":\"blockLifted\",\"v\":1}\n");
    const auto liftedBack = HelperWire::decodeReply(liftedLine);
    ASSERT_TRUE(liftedBack);
    EXPECT_EQ(liftedBack->kind, HelperReply::Kind::blockLifted);
    EXPECT_EQ(liftedBack->reason, lifted.reason);

    HelperRequest release;
    release.id = 8;
    release.operation = HelperRequest::Operation::releaseBlock;
    const auto releaseLine = HelperWire::encode(release);
    EXPECT_EQ(releaseLine, "{\"id\":8,\"op\":\"releaseBlock\",\"v\":1}\n");
    const auto released = HelperWire::decodeRequest(releaseLine.substr(0, releaseLine.size() - 1));
    ASSERT_TRUE(released);
    EXPECT_EQ(released->operation, HelperRequest::Operation::releaseBlock);

    // The application's own end of a run says so; the user's is the plain request.
    HelperRequest kill;
    kill.id = 9;
    kill.operation = HelperRequest::Operation::killOpenVPN;
    EXPECT_EQ(HelperWire::encode(kill), "{\"id\":9,\"op\":\"killOpenVPN\",\"v\":1}\n");
    kill.keepBlock = true;
    const auto keepLine = HelperWire::encode(kill);
    EXPECT_EQ(keepLine, "{\"id\":9,\"keep_block\":true,\"op\":\"killOpenVPN\",\"v\":1}\n");
    const auto kept = HelperWire::decodeRequest(keepLine.substr(0, keepLine.size() - 1));
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->keepBlock);
    const auto plain = HelperWire::decodeRequest("{\"v\":1,\"id\":3,\"op\":\"killOpenVPN\"}");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->keepBlock);
}

TEST(HelperWire, RefusesAnythingButExactMessages) {
    const char* requests[] = {
        "",
        "null",
        "[]",
        "{\"v\":1,\"id\":1}",
        "{\"v\":2,\"id\":1,\"op\":\"getVersion\"}",
        "{\"v\":1,\"id\":0,\"op\":\"getVersion\"}",
        "{\"v\":1,\"id\":-3,\"op\":\"getVersion\"}",
        "{\"v\":1,\"id\":\"1\",\"op\":\"getVersion\"}",
        "{\"v\":1,\"id\":1,\"op\":\"GETVERSION\"}",
        "{\"v\":1,\"id\":1,\"op\":\"runOpenVPN\",\"config\":\"/a\",\"client_up\":\"/b\"}",
        "{\"v\":1,\"id\":1,\"op\":\"runOpenVPN\",\"client_up\":\"\",\"client_down\":\"/c\"}",
        "{\"v\":1,\"id\":1,\"op\":\"runOpenVPN\",\"client_up\":5,\"client_down\":\"/c\"}",
        "{\"v\":1,\"id\":1,\"op\":\"getVersion\"",
        "{\"v\":1,\"id\":1,\"op\":\"runOpenVPN\",\"config\":\"/a\",\"client_up\":\"/"
        "b\",\"client_down\":\"/c\",\"allow_local_network\":1}",
        "{\"v\":1,\"id\":1,\"op\":\"runOpenVPN\",\"config\":\"/a\",\"client_up\":\"/"
        "b\",\"client_down\":\"/c\",\"block_leaks\":\"true\"}",
        "{\"v\":1,\"id\":1,\"op\":\"killOpenVPN\",\"keep_block\":1}",
    };
    for (const char* r : requests)
        EXPECT_FALSE(HelperWire::decodeRequest(r)) << r;
    EXPECT_FALSE(HelperWire::decodeReply(
        "{\"v\":1,\"id\":1,\"reply\":\"terminated\",\"status\":4294967296}"));
    EXPECT_FALSE(HelperWire::decodeReply("{\"v\":1,\"id\":1,\"reply\":\"version\"}"));
    EXPECT_FALSE(HelperWire::decodeReply("{\"v\":1,\"id\":1,\"reply\":\"blockLifted\"}"));
    for (const char* parts :
         {"[1]", "\"a\"", "[\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\",\"9\",\"10\"]"})
        EXPECT_FALSE(HelperWire::decodeReply(
            std::string(
                "{\"v\":1,\"id\":1,\"reply\":\"terminated\",\"status\":-1,\"reason\":\"%1\","
                "\"reasonParts\":") +
            parts + "}"))
            << parts;
    EXPECT_FALSE(HelperWire::decodeReply(
        "{\"v\":1,\"id\":1,\"reply\":\"terminated\",\"status\":1,\"blocking\":\"yes\"}"));
    EXPECT_FALSE(HelperWire::decodeRequest("{\"v\":1,\"id\":1,\"op\":\"getVersion\",\"pad\":\"" +
                                           std::string(HelperWire::maxLineBytes, 'x') + "\"}"));
}

TEST(LineReader, CutsLinesAndNoticesOverlongOnes) {
    LineReader reader(8);
    reader.append("abc\nde");
    EXPECT_EQ(reader.next(), "abc");
    EXPECT_FALSE(reader.next());
    reader.append("f\n\n");
    EXPECT_EQ(reader.next(), "def");
    EXPECT_EQ(reader.next(), "");
    EXPECT_FALSE(reader.overflowed());
    reader.append("123456789");
    EXPECT_TRUE(reader.overflowed());
    EXPECT_FALSE(reader.next());
}

// Descriptors sent with bytes over a Unix stream socket arrive close-on-exec and belong to
// the line they were sent with however the reads cut the stream; a read takes as many as the
// kernel passes, so that it closes none in the reader's thread.
TEST(FdPassing, DescriptorsGoWithTheirLine) {
    struct Send {
        std::string bytes;
        int fds; // sent with these bytes
    };
    struct Case {
        const char* name;
        std::vector<Send> sends;
        std::vector<size_t> fdsPerLine;
        bool truncated = false;
    };
    const Case cases[] = {
        {"one with its request", {{"run\n", 1}}, {1}},
        {"none", {{"version\n", 0}}, {0}},
        {"after a plain line in the same read", {{"version\n", 0}, {"run\n", 1}}, {0, 1}},
        {"with the second half of a line", {{"ru", 0}, {"n\n", 1}, {"kill\n", 0}}, {1, 0}},
        {"before a later line", {{"run\n", 1}, {"kill\n", 0}}, {1, 0}},
        {"more than a message carries", {{"run\n", 6}}, {6}},
        {"as many as the kernel passes",
         {{"run\n", int(FdPassing::kernelMaxFds)}},
         {FdPassing::kernelMaxFds}},
        {"one each for two lines", {{"run\n", 1}, {"run\n", 1}}, {1, 1}},
    };
    for (const Case& c : cases) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        const UniqueFd sender(ends[0]), receiver(ends[1]);
        size_t total = 0;
        for (const Send& send : c.sends) {
            std::vector<int> fds;
            for (int i = 0; i < send.fds; ++i)
                fds.push_back(::open("/dev/null", O_RDONLY)); // not close-on-exec
            if (fds.size() == 1) {
                ASSERT_EQ(FdPassing::send(sender.get(), send.bytes, fds[0]),
                          ssize_t(send.bytes.size()));
            } else {
                // Many at once, as only a hostile peer sends them.
                iovec data{const_cast<char*>(send.bytes.data()), send.bytes.size()};
                std::vector<char> control(
                    CMSG_SPACE(sizeof(int) * std::max<size_t>(1, fds.size())));
                msghdr message{};
                message.msg_iov = &data;
                message.msg_iovlen = 1;
                if (!fds.empty()) {
                    message.msg_control = control.data();
                    message.msg_controllen = control.size();
                    cmsghdr* header = CMSG_FIRSTHDR(&message);
                    header->cmsg_level = SOL_SOCKET;
                    header->cmsg_type = SCM_RIGHTS;
                    header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
                    std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
                }
                ASSERT_EQ(::sendmsg(sender.get(), &message, 0), ssize_t(send.bytes.size()));
            }
            for (int fd : fds)
                ::close(fd);
            total += send.bytes.size();
        }
        LineReader lines(64);
        std::vector<size_t> perLine;
        bool truncated = false;
        for (size_t got = 0; got < total;) {
            char chunk[64];
            auto received = FdPassing::receive(receiver.get(), chunk, sizeof chunk);
            ASSERT_GT(received.bytes, 0) << c.name;
            truncated = truncated || received.truncated;
            for (const UniqueFd& fd : received.fds)
                EXPECT_EQ(::fcntl(fd.get(), F_GETFD), FD_CLOEXEC) << c.name;
            got += size_t(received.bytes);
            lines.append(std::string_view(chunk, size_t(received.bytes)), std::move(received.fds));
            while (lines.next())
                perLine.push_back(lines.takeFds().size());
        }
        EXPECT_EQ(perLine, c.fdsPerLine) << c.name;
        EXPECT_EQ(truncated, c.truncated) << c.name;
        EXPECT_EQ(lines.heldFds(), 0u) << c.name;
    }
}

} // namespace
