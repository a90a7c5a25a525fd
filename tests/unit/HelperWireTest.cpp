#include "helper/HelperWire.h"

#include "helper/LineReader.h"

#include <gtest/gtest.h>

namespace {

TEST(HelperWire, RequestsAndRepliesRoundTrip) {
    HelperRequest run;
    run.id = 7;
    run.operation = HelperRequest::Operation::runOpenVPN;
    run.config = "/tmp/quovant.ovpn";
    run.clientUp = "/usr/local/libexec/quovant-helper/client.up";
    run.clientDown = "/usr/local/libexec/quovant-helper/client.down";
    const std::string line = HelperWire::encode(run);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one message, one line";
    const auto decoded = HelperWire::decodeRequest(line.substr(0, line.size() - 1));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->id, 7u);
    EXPECT_EQ(decoded->operation, HelperRequest::Operation::runOpenVPN);
    EXPECT_EQ(decoded->config, run.config);
    EXPECT_EQ(decoded->clientDown, run.clientDown);
    EXPECT_FALSE(decoded->blockLeaks);
    EXPECT_FALSE(decoded->allowLocalNetwork);
    run.blockLeaks = run.allowLocalNetwork = true;
    const auto guarded = HelperWire::decodeRequest(HelperWire::encode(run));
    ASSERT_TRUE(guarded);
    EXPECT_TRUE(guarded->blockLeaks);
    EXPECT_TRUE(guarded->allowLocalNetwork);

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
        "{\"v\":1,\"id\":1,\"op\":\"runOpenVPN\",\"config\":\"\",\"client_up\":\"/"
        "b\",\"client_down\":\"/c\"}",
        "{\"v\":1,\"id\":1,\"op\":\"runOpenVPN\",\"config\":5,\"client_up\":\"/"
        "b\",\"client_down\":\"/c\"}",
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

} // namespace
