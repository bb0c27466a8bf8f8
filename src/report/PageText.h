#pragma once
// Texts as they may go onto a page, and their lines at a width: what the core hands over may hold
// any bytes (a memo, a file name), and the font must never be given a control character or a
// broken sequence.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// text as valid UTF-8 with '\n' as its only line break ("\r\n" and '\r' become one, a tab a
// space): a byte that is no part of a valid sequence becomes U+FFFD, and a control or
// invisible formatting character (C0, DEL, C1, the direction overrides, zero-width ones) shows as
// its escape ("\x07", "\u202E") so that nothing on the page hides or reorders what is there.
std::string PrintableText(std::string_view text);

// The lines of a printable text no wider than width as measure tells, broken at spaces and at its
// '\n'; a word wider than width on its own is broken between characters. An empty text is no
// line.
std::vector<std::string> WrapText(std::string_view text, double width,
                                  const std::function<double(std::string_view)>& measure);

// The widest word of a printable text, as measure tells.
double WidestWord(std::string_view text, const std::function<double(std::string_view)>& measure);

}  // namespace report
