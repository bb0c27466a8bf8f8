#include "report/PageText.h"

#include "platform/Utf8.h"

#include <cstdint>
#include <cstdio>

namespace report {
namespace {

using platform::AppendUtf8;
using platform::NextCodePoint;
constexpr char32_t kReplacement = platform::kReplacementCharacter;

std::size_t CodePointLength(std::string_view text, std::size_t at) {
    std::size_t length = 1;
    while (at + length < text.size() &&
           (static_cast<std::uint8_t>(text[at + length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

// A word wider than width, as lines of whole characters; each line takes one character at least.
void BreakWord(std::string_view word, double width,
               const std::function<double(std::string_view)>& measure,
               std::vector<std::string>& lines, std::string& rest) {
    std::string piece;
    for (std::size_t at = 0; at < word.size();) {
        const std::size_t length = CodePointLength(word, at);
        const std::string_view ch = word.substr(at, length);
        if (!piece.empty() && measure(piece + std::string(ch)) > width) {
            lines.push_back(piece);
            piece.clear();
        }
        piece += ch;
        at += length;
    }
    rest = piece;
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length;
        const char32_t c = NextCodePoint(text, at, length);
        at += length;
        char escape[16];
        if (c == '\r') {
            if (at < text.size() && text[at] == '\n')
                ++at;
            out += '\n';
        } else if (c == '\n') {
            out += '\n';
        } else if (c == '\t') {
            out += ' ';
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            out += escape;
        } else if (platform::IsInvisibleCharacter(c)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::vector<std::string> WrapText(std::string_view text, double width,
                                  const std::function<double(std::string_view)>& measure) {
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::string_view paragraph = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        std::string line;
        std::size_t at = 0;
        while (at < paragraph.size()) {
            if (paragraph[at] == ' ') {
                ++at;
                continue;
            }
            std::size_t stop = paragraph.find(' ', at);
            if (stop == std::string_view::npos)
                stop = paragraph.size();
            const std::string_view word = paragraph.substr(at, stop - at);
            at = stop;
            std::string candidate =
                line.empty() ? std::string(word) : line + " " + std::string(word);
            if (measure(candidate) <= width) {
                line = std::move(candidate);
                continue;
            }
            if (!line.empty())
                lines.push_back(line);
            line = word;
            if (measure(word) > width)
                BreakWord(word, width, measure, lines, line);
        }
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return lines;
}

double WidestWord(std::string_view text, const std::function<double(std::string_view)>& measure) {
    double widest = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t stop = text.find_first_of(" \n", at);
        const std::size_t end = stop == std::string_view::npos ? text.size() : stop;
        if (end > at) {
            const double w = measure(text.substr(at, end - at));
            if (w > widest)
                widest = w;
        }
        at = end + 1;
    }
    return widest;
}

}  // namespace report
