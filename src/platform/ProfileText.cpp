#include "platform/ProfileText.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "platform/HostFiles.h"
#include "platform/TextCase.h"

namespace platform {
bool ReadProfileLines(const std::string& hostPath, std::vector<std::string>& lines) {
    // Read whole and only when it is a file: a pipe in its place must not hang the program.
    std::string text;
    if (!ReadHostFile(hostPath, text, kMaxProfileBytes))
        return false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // An editor's UTF-8 byte-order mark is not part of the first line.
        if (lines.empty() && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        lines.push_back(line);
    }
    return true;
}

bool ProfileNamesEqual(const std::string& a, const std::string& b) {
    return EqualIgnoringCase(a, b);
}

std::string TrimProfileText(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

bool ProfileSectionOf(const std::string& line, std::string& name) {
    std::string t = TrimProfileText(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = TrimProfileText(t.substr(1, close - 1));
    return true;
}

bool ProfileEntryOf(const std::string& line, std::string& key, std::string& value) {
    std::string t = TrimProfileText(line);
    if (t.empty() || t[0] == ';')
        return false;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = TrimProfileText(t.substr(0, eq));
    value = TrimProfileText(t.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

std::vector<std::string> ProfileSectionNames(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const auto& line : lines) {
        std::string name;
        if (ProfileSectionOf(line, name))
            names.push_back(name);
    }
    return names;
}

ProfileValues ParseProfileValues(const std::vector<std::string>& lines) {
    ProfileValues values;
    std::unordered_map<std::string, bool> seen;
    std::string section;
    bool counts = false;
    for (const auto& line : lines) {
        std::string name, k, v;
        if (ProfileSectionOf(line, name)) {
            section = FoldCase(name);
            counts = seen.emplace(section, true).second;
        } else if (counts && ProfileEntryOf(line, k, v)) {
            values.emplace(section + "\n" + FoldCase(k), v);
        }
    }
    return values;
}

const std::string* FindProfileValue(const ProfileValues& values, const std::string& section,
                                    const std::string& key) {
    const auto found = values.find(FoldCase(section) + "\n" + FoldCase(key));
    return found == values.end() ? nullptr : &found->second;
}

std::string CutProfileValue(std::string value, std::size_t bufferSize) {
    if (bufferSize == 0)
        return std::string();
    if (value.size() > bufferSize - 1)
        value.resize(bufferSize - 1);
    return value;
}

UINT ProfileIntOf(const std::string& value, int def) {
    if (value.empty())
        return static_cast<UINT>(def);
    return static_cast<UINT>(std::strtol(value.c_str(), nullptr, 10));
}

}  // namespace platform
