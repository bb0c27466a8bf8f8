#include "backup/exhibit/JsonText.h"

#include <cmath>
#include <cstdio>

namespace exhibit {
namespace {

// The length of the valid UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t n = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    // Overlong forms and surrogates are no characters.
    if ((n == 2 && c < 0xC2) || (n == 3 && c == 0xE0 && byte(i + 1) < 0xA0) ||
        (n == 3 && c == 0xED && byte(i + 1) >= 0xA0) ||
        (n == 4 && c == 0xF0 && byte(i + 1) < 0x90) ||
        (n == 4 && (c > 0xF4 || (c == 0xF4 && byte(i + 1) >= 0x90))))
        return 0;
    return n;
}

}  // namespace

std::string JsonText::Quoted(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out + "\"";
}

void JsonText::Before() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_)
        text_ += ',';
    if (depth_ > 0)
        text_ += '\n' + std::string(static_cast<std::size_t>(depth_) * 2, ' ');
    first_ = false;
}

JsonText& JsonText::Key(const std::string& name) {
    Before();
    text_ += Quoted(name) + ": ";
    afterKey_ = true;
    return *this;
}

JsonText& JsonText::Open() {
    Before();
    text_ += '{';
    ++depth_;
    first_ = true;
    return *this;
}

JsonText& JsonText::Close() {
    --depth_;
    if (!first_)
        text_ += '\n' + std::string(static_cast<std::size_t>(depth_) * 2, ' ');
    text_ += '}';
    first_ = false;
    if (depth_ == 0)
        text_ += '\n';
    return *this;
}

JsonText& JsonText::OpenList() {
    Before();
    text_ += '[';
    ++depth_;
    first_ = true;
    return *this;
}

JsonText& JsonText::CloseList() {
    --depth_;
    if (!first_)
        text_ += '\n' + std::string(static_cast<std::size_t>(depth_) * 2, ' ');
    text_ += ']';
    first_ = false;
    return *this;
}

JsonText& JsonText::Value(const std::string& text) {
    Before();
    text_ += Quoted(text);
    return *this;
}

JsonText& JsonText::Value(long long number) {
    Before();
    text_ += std::to_string(number);
    return *this;
}

JsonText& JsonText::Value(double number) {
    Before();
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", std::isfinite(number) ? number : 0.0);
    text_ += text;
    return *this;
}

JsonText& JsonText::Value(bool truth) {
    Before();
    text_ += truth ? "true" : "false";
    return *this;
}

}  // namespace exhibit
