#include "platform/Log.h"
#include "vpn/OpenVPNManagement.h"

#include <gtest/gtest.h>

namespace {

struct RecordingSink : StateSink {
    std::vector<std::string> words;
    std::vector<std::string> addresses;
    std::vector<std::pair<uint64_t, uint64_t>> counts;
    void updateState(const std::string& word) override { words.push_back(word); }
    void stateAddress(std::string_view address) override { addresses.emplace_back(address); }
    void byteCount(uint64_t in, uint64_t out) override { counts.emplace_back(in, out); }
};

const std::string unrecognizedLine = "MGMT: Got unrecognized line from managment";
const std::string unrecognizedCommand = "MGMT: Got unrecognized command";

struct CutCase {
    const char* name;
    std::vector<std::string> reads;
    std::vector<std::string> lines; // lines handled, seen through the unrecognised-line echo
    std::string rest;
};

TEST(ManagementLines, CuttingAcrossReads) {
    const CutCase cases[] = {
        {"several lines in one read", {"a\r\nb\r\nc"}, {"a", "b"}, "c"},
        {"line split over two reads", {"ab", "c\r\nd"}, {"abc"}, "d"},
        {"CR ends one read, LF starts the next", {"abc\r", "\nd"}, {"abc"}, "d"},
        {"buffer ending in CR LF leaves nothing", {"x\r\n"}, {"x"}, ""},
        {"a lone CR LF is an empty line", {"\r\n"}, {""}, ""},
        {"LF without CR makes the whole buffer one line", {"a\nb"}, {"a\nb"}, ""},
        {"LF first, CR LF later: cut at the CR LF", {"a\nb\r\nc"}, {"a\nb"}, "c"},
        {"no line feed yet", {"partial\r"}, {}, "partial\r"},
        {"empty line between lines", {"a\r\n\r\nb\r\n"}, {"a", "", "b"}, ""},
    };
    for (const auto& c : cases) {
        RecordingSink sink;
        OpenVPNManagement management(sink);
        Log::Capture capture;
        std::string buffer;
        for (const auto& read : c.reads)
            buffer = management.processBuffer(buffer + read);
        std::vector<std::string> expected;
        for (const auto& line : c.lines)
            expected.push_back(unrecognizedLine + line);
        EXPECT_EQ(capture.outputLines(), expected) << c.name;
        EXPECT_EQ(buffer, c.rest) << c.name;
    }
}

struct LineCase {
    std::string line;
    std::vector<std::string> output;
    std::vector<std::string> states;
};

TEST(ManagementLines, Classification) {
    const LineCase cases[] = {
        {">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,10.0.0.1,1194,,", {}, {"CONNECTED"}},
        {">STATE:1700000000,WAIT,,", {}, {"WAIT"}},
        {">STATE:1700000000,,rest", {}, {""}},
        {">STATE:1700000000,CONNECTED", {}, {}},
        {">STATE:no commas", {}, {}},
        {">STATE:1,lower,x", {}, {"lower"}},
        {">LOG:1700000000,I,a:b:c", {"1700000000,I,a:b:c"}, {}},
        {">LOG:", {""}, {}},
        {">INFO:OpenVPN Management Interface Version 5", {}, {}},
        {">PASSWORD:Need 'Auth' username/password", {}, {}},
        {">HOLD:Waiting for hold release:0", {}, {}},
        {">NEED-OK:Need 'token-insertion-request' confirmation", {}, {}},
        {">PROXY:1,UDP,host", {}, {}},
        {">RSA_SIGN:abc", {}, {}},
        {">ECHO:1,forget-passwords", {unrecognizedCommand + ">ECHO:1,forget-passwords"}, {}},
        {">:", {unrecognizedCommand + ">:"}, {}},
        {">state:1,CONNECTED,x", {unrecognizedCommand + ">state:1,CONNECTED,x"}, {}},
        {">NOCOLON", {unrecognizedLine + ">NOCOLON"}, {}},
        {"SUCCESS:", {}, {}},
        {"SUCCESS: real-time state notification set to ON", {}, {}},
        {"PROTECTFD: fd 5", {}, {}},
        {"PROTECTFD:5", {unrecognizedLine + "PROTECTFD:5"}, {}},
        {"ERROR: unknown command", {unrecognizedLine + "ERROR: unknown command"}, {}},
        {"END", {unrecognizedLine + "END"}, {}},
    };
    for (const auto& c : cases) {
        RecordingSink sink;
        OpenVPNManagement management(sink);
        Log::Capture capture;
        management.handleLine(c.line);
        EXPECT_EQ(capture.outputLines(), c.output) << c.line;
        EXPECT_EQ(sink.words, c.states) << c.line;
    }
}

TEST(ManagementLines, SendEchoesCommandsButMasksThePassword) {
    RecordingSink sink;
    OpenVPNManagement management(sink);
    Log::Capture capture;
    management.sendCommand("state on\n");
    management.sendCommand("password 'Auth' \"s3cr\\\"et\"\n");
    const auto lines = capture.outputLines();
    ASSERT_EQ(lines.size(), 2u);
    // Not connected: each echo carries the failure, and nothing else happens.
    EXPECT_EQ(lines[0], "state on\n not connected");
    EXPECT_EQ(lines[1], "password 'Auth' [...]\n not connected");
    for (const auto& l : capture.systemLines())
        EXPECT_EQ(l.find("s3cr"), std::string::npos);
}

} // namespace

namespace {

TEST(ManagementLines, StateLinesNameTheirServerBeforeTheirWord) {
    const std::pair<std::string, std::string> cases[] = {
        {">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,10.0.0.1,1194,,", "10.0.0.1"},
        {">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,10.0.0.1", "10.0.0.1"},
        {">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,,1194", ""},
        {">STATE:1700000000,WAIT,,", ""},
        {">STATE:1700000000,RECONNECTING,ping-restart,,,,,", ""},
    };
    for (const auto& [line, address] : cases) {
        RecordingSink sink;
        OpenVPNManagement management(sink);
        management.handleLine(line);
        EXPECT_EQ(sink.addresses, std::vector<std::string>{address}) << line;
        EXPECT_EQ(sink.words.size(), 1u) << line;
    }
}

TEST(ManagementLines, ByteCountsReachTheSinkAndMalformedOnesAreDropped) {
    const std::pair<std::string, std::vector<std::pair<uint64_t, uint64_t>>> cases[] = {
        {">BYTECOUNT:100,200", {{100, 200}}},
        {">BYTECOUNT:0,0", {{0, 0}}},
        {">BYTECOUNT:18446744073709551615,1", {{18446744073709551615u, 1}}},
        {">BYTECOUNT:18446744073709551616,1", {}},
        {">BYTECOUNT:100", {}},
        {">BYTECOUNT:100,", {}},
        {">BYTECOUNT:,200", {}},
        {">BYTECOUNT:-1,200", {}},
        {">BYTECOUNT:1,2,3", {}},
        {">BYTECOUNT:1 ,2", {}},
        {">BYTECOUNT:", {}},
    };
    for (const auto& [line, counts] : cases) {
        RecordingSink sink;
        OpenVPNManagement management(sink);
        Log::Capture capture;
        management.handleLine(line);
        EXPECT_EQ(sink.counts, counts) << line;
        EXPECT_TRUE(capture.outputLines().empty()) << line;
    }
}

} // namespace
