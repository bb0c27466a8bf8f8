#include "platform/TimeZone.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

namespace platform {

bool UseTimeZone(const std::string& name, std::string& why) {
    // A name of the database, never a path of its own choosing: the C library would read any
    // file named by an absolute path or one that climbs out.
    bool plain = !name.empty() && name[0] != '/' && name.find("..") == std::string::npos;
    for (const char c : name)
        plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '_' || c == '-' || c == '+');
    const char* dir = std::getenv("TZDIR");
    const std::string file = std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + name;
    struct stat st {};
    if (!plain || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "no time zone " + name + " in the system's time zone database";
        return false;
    }
    ::setenv("TZ", name.c_str(), 1);
    ::tzset();
    return true;
}

}  // namespace platform
