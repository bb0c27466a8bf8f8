// What of a text may go onto a page, its lines at a width, and which bytes are a picture.
#include <gtest/gtest.h>

#include "TestJpeg.h"
#include "report/JpegPicture.h"
#include "report/PageText.h"

using namespace report;

namespace {

struct Printable {
    std::string in, out;
};

TEST(PageTextTest, PrintableTextKeepsLettersAndShowsWhatWouldHide) {
    const Printable cases[] = {
        {"Zoë Øresund Ελλάδα Москва", "Zoë Øresund Ελλάδα Москва"},
        {"line\r\nnext\rlast\nend", "line\nnext\nlast\nend"},
        {"a\tb", "a b"},
        {std::string("bell\x07 nul", 9) + std::string(1, '\0') + "\x7f", "bell\\x07 nul\\x00\\x7F"},
        {"\xc2\x85 next line, \xe2\x80\xae reversed, \xe2\x80\x8b zero",
         "\\u0085 next line, "
         "\\u202E reversed, "
         "\\u200B zero"},
        {"bad \xff byte", "bad \xef\xbf\xbd byte"},
        {"cut \xe2\x82", "cut \xef\xbf\xbd\xef\xbf\xbd"},
        {"overlong \xc0\xaf", "overlong \xef\xbf\xbd\xef\xbf\xbd"},
        {"surrogate \xed\xa0\x80", "surrogate \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"past \xf4\x90\x80\x80", "past \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"four \xf0\x9f\x93\xb9", "four \xf0\x9f\x93\xb9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrintableText(c.in), c.out) << c.in;
}

struct Wrapped {
    std::string text;
    double width;
    std::vector<std::string> lines;
};

TEST(PageTextTest, WrapTextBreaksAtSpacesAndBreaksOnlyWordsTooWide) {
    // One unit a character, as a fixed-width font would measure.
    const auto characters = [](std::string_view s) {
        double n = 0;
        for (unsigned char c : s)
            n += (c & 0xC0) != 0x80;
        return n;
    };
    const Wrapped cases[] = {
        {"", 10, {}},
        {"one two three four", 9, {"one two", "three", "four"}},
        {"one two three", 13, {"one two three"}},
        {"one  two", 20, {"one two"}},
        {"first\n\nthird", 20, {"first", "", "third"}},
        {"a 0123456789abcdef b", 6, {"a", "012345", "6789ab", "cdef b"}},
        {"Ελλάδα Москва", 6, {"Ελλάδα", "Москва"}},
        {"ΕλλάδαΜосква", 5, {"Ελλάδ", "αΜоск", "ва"}},
        {"x", 0, {"x"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrapText(c.text, c.width, characters), c.lines) << c.text << " at " << c.width;
    EXPECT_EQ(WidestWord("ab abcd\nabcdef a", characters), 6);
}

struct Jpeg {
    const char* what;
    std::string bytes;
    int width, height;  // 0: cannot be shown
};

TEST(PageTextTest, DecodeJpegTakesWholePicturesOnly) {
    const std::string colour = MakeTestJpeg(64, 48, true);
    const std::string grey = MakeTestJpeg(33, 17, false);
    const Jpeg cases[] = {
        {"colour", colour, 64, 48},
        {"grey", grey, 33, 17},
        {"cut short", colour.substr(0, colour.size() / 2), 0, 0},
        {"no JPEG", "GIF89a not a picture at all", 0, 0},
        {"empty", "", 0, 0},
    };
    for (const auto& c : cases) {
        DecodedPicture picture;
        const std::string why = DecodeJpeg(c.bytes, picture);
        EXPECT_EQ(why.empty(), c.width > 0) << c.what << ": " << why;
        EXPECT_EQ(picture.width, c.width) << c.what;
        EXPECT_EQ(picture.height, c.height) << c.what;
        EXPECT_EQ(picture.xrgb.size(), static_cast<std::size_t>(c.width * c.height)) << c.what;
    }
    // The pixels are the picture's: the gradient runs dark to light from left to right.
    DecodedPicture picture;
    ASSERT_EQ(DecodeJpeg(grey, picture), "");
    EXPECT_LT(picture.xrgb.front() & 0xFF, picture.xrgb[32] & 0xFF);
}

}  // namespace
