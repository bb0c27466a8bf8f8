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

bool ReadPullConfig(const std::string& name, PullConfig& out, std::string& why) {
    if (!PlainName(name)) {
        why = "a recorder's name is letters, digits, '-', '_' and '.': " + name;
        return false;
    }
    const std::string path = PullConfigFolder() + "/" + name + ".conf";
    // Whoever may change the file decides where the run goes and where its token is sent.
    std::string text;
    if (!platform::ReadTrustedFile(path, 64 << 10, text, why))
        return false;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        line = Trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            why = where + "a line is key = value";
            return false;
        }
        const std::string key = Trimmed(line.substr(0, eq)), value = Trimmed(line.substr(eq + 1));
        if (key == "remote") {
            out.remote = value;
        } else if (key == "token-file") {
            out.tokenFile = value;
        } else if (key == "cameras") {
            if (std::string problem; !ParseCameraList(value, out.cameraNumbers, problem)) {
                why = where + problem;
                return false;
            }
            out.cameras = value;
        } else if (key == "range") {
            // Checked here for the line's sake; the run reckons the real entries later.
            std::string problem;
            PullEntries(value, std::time(nullptr), problem);
            if (!problem.empty()) {
                why = where + problem;
                return false;
            }
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
            if (out.buildStallSeconds == 0) {
                why = where + "build-stall takes a time of up to a day: 30 min, 90 s or 2 h";
                return false;
            }
        } else if (key == "camera-count") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || n < 1 || n > 64) {
                why = where + "camera-count takes 1 to 64";
                return false;
            }
            out.cameraCount = static_cast<int>(n);
        } else {
            why = where + "unknown key " + key;
            return false;
        }
    }
    if (out.remote.empty() || out.target.empty()) {
        why = path + ": remote and target are required";
        return false;
    }
    for (const int camera : out.cameraNumbers)
        if (camera > out.cameraCount) {
            why = path + ": camera " + std::to_string(camera) + " is beyond camera-count " +
                  std::to_string(out.cameraCount);
            return false;
        }
    if (out.target[0] != '/') {
        why = path + ": target is an absolute folder of this machine: " + out.target;
        return false;
    }
    return true;
}

}  // namespace pull
