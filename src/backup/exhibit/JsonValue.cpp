#include "backup/exhibit/JsonValue.h"

#include <cstdlib>

#include "platform/Utf8.h"

namespace exhibit {
namespace {

constexpr int kDeepest = 32;

class Reader {
  public:
    explicit Reader(const std::string& text) : s_(text) {}

    std::string Read(JsonValue& out) {
        if (!Value(out, 0))
            return why_;
        Space();
        if (at_ != s_.size())
            return Fail("more after the value");
        return std::string();
    }

  private:
    std::string Fail(const std::string& what) {
        if (why_.empty())
            why_ = what + " at byte " + std::to_string(at_);
        return why_;
    }
    void Space() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t'))
            ++at_;
    }
    bool Word(const char* word) {
        const std::string w(word);
        if (s_.compare(at_, w.size(), w) != 0)
            return false;
        at_ += w.size();
        return true;
    }
    bool Hex4(unsigned& code) {
        if (at_ + 4 > s_.size())
            return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[at_++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    bool String(std::string& out) {
        ++at_;  // the quote
        while (at_ < s_.size() && s_[at_] != '"') {
            const char c = s_[at_++];
            if (static_cast<unsigned char>(c) < 0x20)
                return Fail("a control character in a string").empty();
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size())
                break;
            const char e = s_[at_++];
            static const std::string kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
            if (const std::size_t k = kFrom.find(e); k != std::string::npos) {
                out += kTo[k];
            } else if (e == 'u') {
                unsigned code = 0, low = 0;
                if (!Hex4(code))
                    return Fail("a bad \\u escape").empty();
                // A surrogate pair is one character; a lone half is none.
                if (code >= 0xD800 && code < 0xDC00 && Word("\\u") && Hex4(low) && low >= 0xDC00 &&
                    low < 0xE000)
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                else if (code >= 0xD800 && code < 0xE000)
                    code = 0xFFFD;
                platform::AppendUtf8(out, code);
            } else {
                return Fail("a bad escape").empty();
            }
        }
        if (at_ >= s_.size())
            return Fail("a string without its end").empty();
        ++at_;
        return true;
    }
    bool Value(JsonValue& out, int depth) {
        if (depth > kDeepest)
            return Fail("nested too deep").empty();
        Space();
        if (at_ >= s_.size())
            return Fail("no value").empty();
        const char c = s_[at_];
        if (c == '"') {
            out.kind = JsonValue::Kind::kString;
            return String(out.text);
        }
        if (c == '{' || c == '[') {
            const bool object = c == '{';
            out.kind = object ? JsonValue::Kind::kObject : JsonValue::Kind::kArray;
            ++at_;
            Space();
            if (at_ < s_.size() && s_[at_] == (object ? '}' : ']')) {
                ++at_;
                return true;
            }
            for (;;) {
                JsonValue item;
                if (object) {
                    Space();
                    std::string name;
                    if (at_ >= s_.size() || s_[at_] != '"' || !String(name))
                        return Fail("no member name").empty();
                    Space();
                    if (at_ >= s_.size() || s_[at_++] != ':')
                        return Fail("no ':' after a member name").empty();
                    if (!Value(item, depth + 1))
                        return false;
                    out.members[name] = std::move(item);
                } else {
                    if (!Value(item, depth + 1))
                        return false;
                    out.items.push_back(std::move(item));
                }
                Space();
                if (at_ < s_.size() && s_[at_] == ',') {
                    ++at_;
                    continue;
                }
                if (at_ < s_.size() && s_[at_] == (object ? '}' : ']')) {
                    ++at_;
                    return true;
                }
                return Fail(object ? "no ',' or '}'" : "no ',' or ']'").empty();
            }
        }
        if (Word("true") || Word("false")) {
            out.kind = JsonValue::Kind::kBool;
            out.truth = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u';
            return true;
        }
        if (Word("null"))
            return true;
        const char* begin = s_.c_str() + at_;
        char* end = nullptr;
        out.number = std::strtod(begin, &end);
        if (end == begin || !(c == '-' || (c >= '0' && c <= '9')))
            return Fail("no value").empty();
        out.kind = JsonValue::Kind::kNumber;
        at_ += static_cast<std::size_t>(end - begin);
        return true;
    }

    const std::string& s_;
    std::size_t at_ = 0;
    std::string why_;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
    static const JsonValue kNone;
    const auto found = members.find(name);
    return found == members.end() ? kNone : found->second;
}

const std::string& JsonValue::String() const {
    static const std::string kEmpty;
    return kind == Kind::kString ? text : kEmpty;
}

std::string JsonValue::Parse(const std::string& text, JsonValue& out) {
    out = JsonValue();
    return Reader(text).Read(out);
}

}  // namespace exhibit
