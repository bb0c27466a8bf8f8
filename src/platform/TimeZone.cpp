#include "platform/TimeZone.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>

namespace platform {
namespace {

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

}  // namespace

bool LocalTimeAt(std::time_t t, std::tm& out) {
    return localtime_r(&t, &out) != nullptr;
}

bool UtcTimeAt(std::time_t t, std::tm& out) {
    return gmtime_r(&t, &out) != nullptr;
}

long long UtcSecondsOf(std::tm reading) {
    return static_cast<long long>(timegm(&reading));
}

bool LocalClockAt(long long utc, ClockInstant& out) {
    const std::time_t t = static_cast<std::time_t>(utc);
    std::tm tm{};
    {
        // The abbreviation is a string the C library makes the first time a zone needs it, under
        // a lock of its own that thread checkers do not see: cameras exported side by side read
        // it under one of ours.
        static std::mutex abbreviations;
        std::lock_guard<std::mutex> lock(abbreviations);
        if (!localtime_r(&t, &tm))
            return false;
        out.abbreviation = tm.tm_zone ? tm.tm_zone : "";
    }
    out.utc = utc;
    out.offset = static_cast<int>(tm.tm_gmtoff);
    // Zones without an abbreviation of their own are given one made of digits ("+0530").
    if (!out.abbreviation.empty() && (out.abbreviation[0] == '+' || out.abbreviation[0] == '-'))
        out.abbreviation.clear();
    return true;
}

Outcome UseTimeZone(const std::string& name) {
    // A name of the database, never a path of its own choosing: the C library would read any
    // file named by an absolute path or one that climbs out.
    bool plain = !name.empty() && name[0] != '/' && name.find("..") == std::string::npos;
    for (const char c : name)
        plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '_' || c == '-' || c == '+');
    const char* dir = std::getenv("TZDIR");
    const std::string file = std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + name;
    struct stat st {};
    if (!plain || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Error{Error::Kind::kNotFound,
                     "no time zone " + name + " in the system's time zone database", ""};
    ::setenv("TZ", name.c_str(), 1);
    ::tzset();
    return Succeeded();
}

std::string LocalTimeZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz)
        return tz[0] == ':' ? std::string(tz + 1) : std::string(tz);
    // /etc/localtime links into the database under the zone's name.
    char target[PATH_MAX];
    const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
    if (n > 0) {
        const std::string link(target, static_cast<std::size_t>(n));
        const std::size_t at = link.find("zoneinfo/");
        if (at != std::string::npos)
            return link.substr(at + 9);
    }
    std::ifstream named("/etc/timezone");
    std::string line;
    if (named && std::getline(named, line) && !Trimmed(line).empty())
        return Trimmed(line);
    return "UTC";
}

std::vector<ClockInstant> InstantsOfLocalClock(long long wall) {
    // Zones change their offset at most once in two days: the offsets a day either side are the
    // only ones the clock can have had at that reading.
    std::vector<ClockInstant> found;
    ClockInstant before, after;
    if (!LocalClockAt(wall - 86400, before) || !LocalClockAt(wall + 86400, after))
        return found;
    for (const int offset : {before.offset, after.offset}) {
        ClockInstant at;
        if (LocalClockAt(wall - offset, at) && at.offset == offset &&
            std::none_of(found.begin(), found.end(),
                         [&](const ClockInstant& f) { return f.utc == at.utc; }))
            found.push_back(at);
    }
    std::sort(found.begin(), found.end(),
              [](const ClockInstant& a, const ClockInstant& b) { return a.utc < b.utc; });
    return found;
}

std::string OffsetText(int offsetSeconds) {
    if (offsetSeconds == 0)
        return "UTC";
    const int a = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    char text[16];
    std::snprintf(text, sizeof text, "UTC%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', a / 3600,
                  a / 60 % 60);
    return text;
}

}  // namespace platform
