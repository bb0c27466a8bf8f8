#include "backup/exhibit/JsonText.h"

#include <cmath>
#include <cstdio>

#include "platform/Utf8.h"

namespace exhibit {
std::string JsonText::Quoted(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t n = 0;
        if (platform::NextCodePoint(text, i, n) == platform::kReplacementCharacter && n == 1) {
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
