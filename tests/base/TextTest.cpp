#include "base/Json.h"
#include "base/Text.h"

#include <gtest/gtest.h>

TEST(JsonTextTest, IsCompactSortedAndPrintsNumbersWithSeventeenDigits) {
    Json value = parseJson(R"({"b":[1,2.5,true,null],"a":{"z":44100,"c":"x"},"r":0})");
    EXPECT_EQ(jsonText(value), R"({"a":{"c":"x","z":44100},"b":[1,2.5,true,null],"r":0})");
    EXPECT_EQ(jsonText(Json(0.1)), "0.10000000000000001");
    EXPECT_EQ(jsonText(Json(1e20)), "1e+20");
    EXPECT_EQ(jsonText(Json(-3.0)), "-3");
    // Negative zero, however it was spelt, writes as 0 and so reads back to the same text.
    EXPECT_EQ(jsonText(parseJson("-0e649")), "0");
    EXPECT_EQ(jsonText(parseJson("[-0.0,-0]")), "[0,0]");
    EXPECT_EQ(jsonText(Json::object({{"result", 0}})), R"({"result":0})");
}

TEST(JsonTextTest, EscapesStringsTheWayTheBridgeAlwaysHas) {
    EXPECT_EQ(jsonQuote("C:\\a/b\"c\n\t\x01\x7f"), R"("C:\\a\/b\"c\n\t\u0001\u007f")");
    EXPECT_EQ(jsonQuote("\xC3\xA4"), "\"\xC3\xA4\"");
    EXPECT_EQ(parseJson(jsonQuote("x\\y/\x02")).get<std::string>(), "x\\y/\x02");
}

TEST(JsonTextTest, MalformedInputThrows) {
    EXPECT_THROW(parseJson("{\"a\":"), std::runtime_error);
    EXPECT_THROW(parseJson(""), std::runtime_error);
}

TEST(HexTest, EncodesUpperAndDecodesLeniently) {
    EXPECT_EQ(hexEncode(std::string("\x00\xab\xff", 3)), "00ABFF");
    EXPECT_EQ(hexDecode("00ab"), std::string("\x00\xab", 2));
    EXPECT_EQ(hexDecode("00AB"), std::string("\x00\xab", 2));
    EXPECT_EQ(hexDecode("6G"), "\x60");       // other characters count as 0
    EXPECT_EQ(hexDecode("616"), "a");         // an unpaired last character is ignored
    EXPECT_EQ(hexDecode(""), "");
}

TEST(Utf8Test, TextEndsAtTheFirstZeroAndInvalidBytesAreReplaced) {
    EXPECT_EQ(utf8UpToZero(std::string("a\0b", 3)), "a");
    EXPECT_EQ(utf8Sanitize("a\xff" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(utf8Sanitize("\xC3\xA4"), "\xC3\xA4");
    EXPECT_EQ(utf8Sanitize("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogates are invalid
}

TEST(Utf8Test, CompletePrefixStopsBeforeASplitSequence) {
    EXPECT_EQ(utf8CompletePrefix("ab\xE2\x82"), 2u);
    EXPECT_EQ(utf8CompletePrefix("ab\xE2\x82\xAC"), 5u);
    EXPECT_EQ(utf8CompletePrefix("\xF0\x9F\x98"), 0u);
    EXPECT_EQ(utf8CompletePrefix("abc"), 3u);
    EXPECT_EQ(utf8CompletePrefix("ab\xff"), 3u);  // invalid bytes are passed on, not held back
}

TEST(EventTextTest, FieldsAreJoinedByFormFeeds) {
    EXPECT_EQ(makeEvent({"app", "command", "exit", ""}), "app\fcommand\fexit\f");
    EXPECT_EQ(makeEvent({"audio", "changed"}), "audio\fchanged");
}
