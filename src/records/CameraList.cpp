#include "records/CameraList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

bool ParseCameraList(const std::string& text, std::vector<int>& out, std::string& why) {
    out.clear();
    if (text == "all")
        return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        const long n = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || !std::isdigit(static_cast<unsigned char>(item[0])) || *end || n < 1 ||
            n > 64) {
            why = "cameras are all, or numbered 1 to 64: " + item;
            return false;
        }
        if (std::find(out.begin(), out.end(), n) != out.end()) {
            why = "camera " + item + " is listed twice";
            return false;
        }
        out.push_back(static_cast<int>(n));
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}
