#include "records/CameraList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

platform::Expected<std::vector<int>> ParseCameraList(const std::string& text) {
    const auto wrong = [](std::string why) {
        return platform::Error{platform::Error::Kind::kDamaged, std::move(why), {}};
    };
    std::vector<int> out;
    if (text == "all")
        return out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        const long n = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || !std::isdigit(static_cast<unsigned char>(item[0])) || *end || n < 1 ||
            n > 64) {
            return wrong("cameras are all, or numbered 1 to 64: " + item);
        }
        if (std::find(out.begin(), out.end(), n) != out.end()) {
            return wrong("camera " + item + " is listed twice");
        }
        out.push_back(static_cast<int>(n));
        if (comma == std::string::npos)
            return out;
        start = comma + 1;
    }
}
