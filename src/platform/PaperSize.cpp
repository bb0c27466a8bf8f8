#include "platform/PaperSize.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace platform {

std::string PreferredPaper() {
    std::string name;
    if (const char* env = std::getenv("PAPERSIZE"))
        name = env;
    if (name.empty()) {
        std::ifstream file("/etc/papersize");
        for (std::string line; name.empty() && std::getline(file, line);)
            if (!line.empty() && line[0] != '#')
                name = line;
    }
    std::string lower;
    for (const char c : name)
        if (!std::isspace(static_cast<unsigned char>(c)))
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.empty() ? "a4" : lower;
}

}  // namespace platform
