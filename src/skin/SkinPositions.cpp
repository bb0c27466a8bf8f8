#include "skin/SkinPositions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/PrivateProfile.h"

namespace skin {
namespace {

constexpr std::size_t kValueBuffer = 200;  // values are read into 199 characters

std::vector<int> Numbers(const std::string& file, const std::string& section,
                         const std::string& key, bool& found) {
    const std::string value =
        platform::GetPrivateProfileString(section, key, "", kValueBuffer, file);
    found = !value.empty();
    std::vector<int> numbers;
    for (const std::string& field : SplitFields(value))
        numbers.push_back(std::atoi(field.c_str()));
    numbers.resize(std::max<std::size_t>(numbers.size(), 5), 0);
    return numbers;
}

}  // namespace

std::string ButtonPositionFile(const std::string& skinPath) {
    return skinPath + "\\GUIS\\btn.pos";
}

std::string CutPositionFile(const std::string& skinPath) {
    return skinPath + "\\GUIS\\cut.pos";
}

std::vector<std::string> SplitFields(const std::string& value) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        if (comma > start)
            fields.push_back(value.substr(start, comma - start));
        start = comma + 1;
    }
    return fields;
}

int ClampDrawMode(int mode) {
    return std::clamp(mode, 0, 2);
}

ButtonPosition ReadButtonPosition(const std::string& file, const std::string& section,
                                  const std::string& key) {
    bool found = false;
    const std::vector<int> n = Numbers(file, section, key, found);
    return {n[0], n[1], n[2], n[3], n[4]};
}

bool WriteButtonPosition(const std::string& file, const std::string& section,
                         const std::string& key, const ButtonPosition& p) {
    char value[96];
    std::snprintf(value, sizeof value, "%d,%d,%d,%d,%d,", p.x, p.y, p.w, p.h, p.drawMode);
    return platform::WritePrivateProfileString(section, key, value, file);
}

CutPosition ReadCutPosition(const std::string& file, const std::string& section,
                            const std::string& key) {
    bool found = false;
    const std::vector<int> n = Numbers(file, section, key, found);
    if (!found)
        return CutPosition{};
    return {n[0], n[1], n[2], n[3], n[4], true};
}

std::pair<int, int> ReadPanPosition(const std::string& file, const std::string& section,
                                    const std::string& key) {
    bool found = false;
    const std::vector<int> n = Numbers(file, section, key, found);
    return {n[0], n[1]};
}

TitleInfo ReadTitleInfo(const std::string& languageFile, const std::string& section,
                        const std::string& key) {
    TitleInfo t;
    const std::string value =
        platform::GetPrivateProfileString(section, key, "", kValueBuffer, languageFile);
    if (value.empty()) {
        t.title = key;
        return t;
    }
    const std::vector<std::string> f = SplitFields(value);
    auto field = [&](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
    t.title = field(0);
    t.face = field(1);
    t.charset = std::atol(field(2).c_str());
    t.height = std::atoi(field(3).c_str());
    t.weight = std::atoi(field(4).c_str());
    return t;
}

bool WriteTitleInfo(const std::string& languageFile, const std::string& section,
                    const std::string& key, const TitleInfo& t) {
    const std::string value = t.title + "," + t.face + "," + std::to_string(t.charset) + "," +
                              std::to_string(t.height) + "," + std::to_string(t.weight) + ",";
    return platform::WritePrivateProfileString(section, key, value, languageFile);
}

}  // namespace skin
