// The report's JSON as written and as read back.
#include <gtest/gtest.h>

#include "backup/exhibit/JsonText.h"
#include "backup/exhibit/JsonValue.h"

using exhibit::JsonText;
using exhibit::JsonValue;

// Any bytes of a memo or a name stay inside their string and read back as they were, but for
// bytes that are no UTF-8, which become U+FFFD.
TEST(ExhibitJsonTest, AnyTextReadsBackAsWrittenAndBrokenUtf8BecomesTheReplacement) {
    const std::string tricky = std::string("Zoë \"q\" \\ /\n\t\x01\x7f Ελλάδα 😀") + '\0' + "end";
    JsonText json;
    json.Open().Key("memo").Value(tricky).Key("bad").Value(
        std::string("a\xff\xc0\x80\xed\xa0\x80z"));
    json.Key("n").Value(-1.5).Key("list").OpenList().Value(true).Value(7).CloseList().Close();
    JsonValue back;
    ASSERT_EQ(JsonValue::Parse(json.text(), back), "") << json.text();
    EXPECT_EQ(back["memo"].String(), tricky);
    EXPECT_EQ(back["bad"].String(),
              "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz");
    EXPECT_EQ(back["n"].number, -1.5);
    ASSERT_EQ(back["list"].items.size(), 2u);
    EXPECT_TRUE(back["list"].items[0].truth);
    EXPECT_EQ(back["none"].kind, JsonValue::Kind::kNull);
    // Control characters are escaped, never raw.
    for (const char c : json.text())
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << int(c);
}

TEST(ExhibitJsonTest, TextThatIsNoJsonIsRefusedWithWhere) {
    const std::string deep(40, '[');
    for (const auto& [text, says] : std::vector<std::pair<std::string, std::string>>{
             {"{\"a\": 1,}", "no member name at byte 8"},
             {"{\"a\": \"open", "a string without its end"},
             {"[1 2]", "no ',' or ']' at byte 3"},
             {"{\"a\" 1}", "no ':'"},
             {"tru", "no value at byte 0"},
             {"{} x", "more after the value at byte 3"},
             {"\"\\x\"", "a bad escape"},
             {deep, "nested too deep"},
         }) {
        JsonValue v;
        EXPECT_NE(JsonValue::Parse(text, v).find(says), std::string::npos)
            << text << ": " << JsonValue::Parse(text, v);
    }
}
