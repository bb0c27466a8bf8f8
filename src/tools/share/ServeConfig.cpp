#include "ServeConfig.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Larger than any configuration of a few keys: something else was named.
constexpr std::uintmax_t kLargestFile = 64 * 1024;

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The keys that name a file or folder of this machine.
bool NamesAPath(const std::string& key) {
    return key == "root" || key == "token-file" || key == "tls-cert" || key == "tls-key";
}

// A relative host path of the file, taken from the file's folder; a drive path ("C:\QorData")
// and a path from the root stay as they are.
std::string BesideFile(const std::string& configPath, const std::string& value) {
    if (value.empty() || value[0] == '/' || (value.size() >= 2 && value[1] == ':'))
        return value;
    return (fs::path(configPath).parent_path() / value).lexically_normal().string();
}

std::string KnownKeys() {
    return "root, listen, token-file, cameras, image-idle, keep-free, tls-cert, tls-key, "
           "insecure-http, verbose";
}

}  // namespace

std::string ParseConfigText(const std::string& path, const std::string& text,
                            std::vector<GivenSetting>& settings) {
    std::istringstream in(text);
    std::string raw;
    std::map<std::string, int> seen;  // key -> its line
    for (int number = 1; std::getline(in, raw); ++number) {
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (number == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0)
            raw.erase(0, 3);  // an editor's byte-order mark
        const std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const std::string at = path + ":" + std::to_string(number) + ": ";
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            return at + "expected KEY = VALUE, found \"" + line + "\"";
        const std::string key = Trimmed(line.substr(0, eq));
        std::string value = Trimmed(line.substr(eq + 1));
        if (key == "token")
            return at +
                   "the token does not belong in the configuration, which others may read: "
                   "put it in a file of its own (mode 0600) and name that with token-file";
        if (key == "config")
            return at + "a configuration file cannot name another";
        if (!IsFileKey(key))
            return at + "unknown key \"" + key + "\" (the keys are " + KnownKeys() + ")";
        if (value.empty())
            return at + key + " has no value";
        if (const auto first = seen.find(key); first != seen.end())
            return at + key + " is given again (first on line " + std::to_string(first->second) +
                   ")";
        seen[key] = number;
        if (NamesAPath(key))
            value = BesideFile(path, value);
        settings.push_back({key, value, at + key});
    }
    return std::string();
}

std::string ReadConfigFile(const std::string& path, std::vector<GivenSetting>& settings) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
        return "the configuration file " + path + " does not exist";
    if (!fs::is_regular_file(status))
        return "the configuration file " + path + " is not a regular file";
    if (fs::file_size(path, ec) > kLargestFile)
        return "the configuration file " + path + " is larger than 64 KB";
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.is_open() || in.bad())
        return "the configuration file " + path + " cannot be read";
    return ParseConfigText(path, text, settings);
}
