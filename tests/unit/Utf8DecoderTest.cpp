#include "vpn/Utf8Decoder.h"

#include <gtest/gtest.h>

namespace {

const std::string replacement = "\xEF\xBF\xBD";

std::string decoded(Utf8Decoder& decoder, std::string_view bytes) {
    std::string out;
    decoder.decode(bytes, out);
    return out;
}

TEST(Utf8Decoder, CharacterCutAtAnyPointSurvivesWhole) {
    const std::string text = ">STATE:1,CONNECTED,caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x92\r\n";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        Utf8Decoder decoder;
        std::string joined = decoded(decoder, text.substr(0, cut));
        joined += decoded(decoder, text.substr(cut));
        EXPECT_EQ(joined, text) << "cut at " << cut;
    }
}

TEST(Utf8Decoder, InvalidBytesBecomeReplacementWithoutLosingNeighbours) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"a\xFF"
         "b",
         "a" + replacement + "b"},
        {"\xC0\xAF", replacement + replacement},                          // overlong '/'
        {"\xED\xA0\x80x", replacement + replacement + replacement + "x"}, // surrogate half
        {"\xE2\x82"
         "x",
         replacement + "x"}, // sequence broken by ASCII
        {"ok\r\n\x80\x80\r\nnext\r\n", "ok\r\n" + replacement + replacement + "\r\nnext\r\n"},
        {"\xF4\x90\x80\x80",
         replacement + replacement + replacement + replacement}, // above U+10FFFF
    };
    for (const auto& c : cases) {
        Utf8Decoder decoder;
        EXPECT_EQ(decoded(decoder, c.in), c.out);
    }
}

TEST(Utf8Decoder, IncompleteTailThatTurnsOutInvalidIsReplacedLater) {
    Utf8Decoder decoder;
    EXPECT_EQ(decoded(decoder, "line\xE2\x82"), "line");
    EXPECT_EQ(decoded(decoder, "Z\r\n"), replacement + "Z\r\n");
}

TEST(Utf8Decoder, AppendsWithinTheRoomItIsGiven) {
    Utf8Decoder decoder;
    std::string text = "kept ";
    text.reserve(64);
    const char* const room = text.data();
    decoder.decode("caf\xC3", text);
    decoder.decode("\xA9 \xFF!", text);
    EXPECT_EQ(text, "kept caf\xC3\xA9 " + replacement + "!");
    EXPECT_EQ(text.data(), room) << "the text was moved to new room it did not need";
}

} // namespace
