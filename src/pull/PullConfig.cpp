#include "pull/PullConfig.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "platform/TrustedPath.h"
#include "pull/PullRange.h"
#include "records/CameraList.h"

namespace pull {

namespace {

std::string Trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos)
        return std::string();
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// A name that stays a file name in the folder (the instance name of a unit).
bool PlainName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.')
        return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            return false;
    return true;
}

// "30 min", "90 s", "2 h" or a bare number of minutes, as seconds up to a day; 0 when it is
// none of them.
int StallSeconds(const std::string& value) {
    char* end = nullptr;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0])) || n < 1)
        return 0;
    const std::string unit = Trimmed(end);
    const long scale = unit.empty() || unit == "min" ? 60
                       : unit == "s"                 ? 1
                       : unit == "h"                 ? 3600
                                                     : 0;
    return scale == 0 || n > 24 * 3600 / scale ? 0 : static_cast<int>(n * scale);
}

}  // namespace

std::string PullConfigFolder() {
    const char* dir = std::getenv("QUILLON_PULL_DIR");
    return dir && *dir ? dir : "/etc/quillon/pull.d";
}

platform::Expected<PullConfig> ReadPullConfig(const std::string& name) {
    // What it says is wrong: the file and the line are in the text, before the words.
    const auto wrong = [](const std::string& text) {
        return platform::Error{platform::Error::Kind::kDamaged, text, ""};
    };
    if (!PlainName(name))
        return platform::Error{platform::Error::Kind::kRefused,
                               "a recorder's name is letters, digits, '-', '_' and '.': " + name,
                               ""};
    const std::string path = PullConfigFolder() + "/" + name + ".conf";
    // Whoever may change the file decides where the run goes and where its token is sent.
    const platform::Expected<std::string> text = platform::ReadTrustedFile(path, 64 << 10);
    if (!text)
        return text.error();
    PullConfig out;
    std::istringstream in(*text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        line = Trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            return wrong(where + "a line is key = value");
        const std::string key = Trimmed(line.substr(0, eq)), value = Trimmed(line.substr(eq + 1));
        if (key == "remote") {
            out.remote = value;
        } else if (key == "token-file") {
            out.tokenFile = value;
        } else if (key == "cameras") {
            auto numbers = ParseCameraList(value);
            if (!numbers)
                return wrong(where + numbers.error().Said());
            out.cameraNumbers = std::move(*numbers);
            out.cameras = value;
        } else if (key == "range") {
            // Checked here for the line's sake; the run reckons the real entries later.
            if (const auto entries = PullEntries(value, std::time(nullptr)); !entries)
                return wrong(where + entries.error().Said());
            out.range = value;
        } else if (key == "target") {
            out.target = value;
        } else if (key == "pin") {
            out.pin = value;
        } else if (key == "ca") {
            out.ca = value;
        } else if (key == "time-zone") {
            out.timeZone = value;
        } else if (key == "build-stall") {
            out.buildStallSeconds = StallSeconds(value);
            if (out.buildStallSeconds == 0)
                return wrong(where +
                             "build-stall takes a time of up to a day: 30 min, 90 s or 2 h");
        } else if (key == "camera-count") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || n < 1 || n > 64)
                return wrong(where + "camera-count takes 1 to 64");
            out.cameraCount = static_cast<int>(n);
        } else {
            return wrong(where + "unknown key " + key);
        }
    }
    if (out.remote.empty() || out.target.empty())
        return wrong(path + ": remote and target are required");
    for (const int camera : out.cameraNumbers)
        if (camera > out.cameraCount)
            return wrong(path + ": camera " + std::to_string(camera) + " is beyond camera-count " +
                         std::to_string(out.cameraCount));
    if (out.target[0] != '/')
        return wrong(path + ": target is an absolute folder of this machine: " + out.target);
    return out;
}

}  // namespace pull
