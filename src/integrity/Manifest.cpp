#include "integrity/Manifest.h"

#include <cctype>
#include <cstdlib>
#include <set>

namespace integrity {
namespace {

bool StartsWith(const std::string& s, const std::string& head) {
    return s.compare(0, head.size(), head) == 0;
}

// sha256sum marks a name holding a backslash or a line break by a backslash at the start of
// the line and writes those two as escapes.
std::string Escaped(const std::string& path, bool& marked) {
    std::string out;
    marked = false;
    for (char c : path) {
        if (c == '\\') {
            out += "\\\\";
            marked = true;
        } else if (c == '\n') {
            out += "\\n";
            marked = true;
        } else if (c == '\r') {
            out += "\\r";
            marked = true;
        } else {
            out += c;
        }
    }
    return out;
}

bool Unescaped(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        if (text[i] == '\\')
            out += '\\';
        else if (text[i] == 'n')
            out += '\n';
        else if (text[i] == 'r')
            out += '\r';
        else
            return false;
    }
    return true;
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\n' || c == '\r' ? ' ' : c;
    return out;
}

}  // namespace

bool IsManifestFile(const std::string& relative) {
    // The image's custody log names the manifest's hash, so it is written after it and listed
    // in none.
    if (relative == kCustodyLogName)
        return true;
    if (relative.find('/') != std::string::npos || !StartsWith(relative, kManifestName))
        return false;
    std::string rest = relative.substr(std::string(kManifestName).size());
    for (const char* suffix : {".sig", ".pub"})
        if (rest.size() >= 4 && rest.compare(rest.size() - 4, 4, suffix) == 0)
            rest.resize(rest.size() - 4);
    if (rest.empty())
        return true;
    if (rest[0] != '-' || rest.size() == 1)
        return false;
    for (std::size_t i = 1; i < rest.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(rest[i])))
            return false;
    return true;
}

int OlderManifestNumber(const std::string& relative) {
    const std::string base = std::string(kManifestName) + "-";
    if (relative == kCustodyLogName || !IsManifestFile(relative) ||
        relative.compare(0, base.size(), base) != 0)
        return 0;
    for (std::size_t i = base.size(); i < relative.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(relative[i])))
            return 0;  // its signature or key
    return std::atoi(relative.c_str() + base.size());
}

std::string OlderManifestName(const std::string& name, int n) {
    const std::string base = kManifestName;
    return base + "-" + std::to_string(n) + name.substr(base.size());
}

std::string FormatManifest(const std::map<std::string, FileDigest>& files,
                           const std::vector<std::string>& partialWhy) {
    std::string text;
    if (!partialWhy.empty()) {
        text += std::string(kPartialMarker) + ": " + OneLine(partialWhy[0]) +
                " Only the files listed below were completed; this is not the whole backup.\n";
        for (std::size_t i = 1; i < partialWhy.size(); ++i)
            text += "# " + OneLine(partialWhy[i]) + "\n";
    }
    for (const auto& [path, digest] : files) {
        bool marked = false;
        const std::string name = Escaped(path, marked);
        text += (marked ? "\\" : "") + digest.hex + "  " + name + "\n";
    }
    return text;
}

std::string ParseManifest(const std::string& text, Manifest& out) {
    out = Manifest{};
    std::set<std::string> listed;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (number == 1 && StartsWith(line, kPartialMarker))
                out.partial = true;
            out.comments.push_back(line.substr(line[1] == ' ' ? 2 : 1));
            continue;
        }
        const bool marked = line[0] == '\\';
        if (marked)
            line.erase(0, 1);
        ManifestLine entry;
        bool good = line.size() > 66 && line[64] == ' ' && (line[65] == ' ' || line[65] == '*');
        for (std::size_t i = 0; good && i < 64; ++i)
            good = std::isxdigit(static_cast<unsigned char>(line[i])) != 0;
        if (good) {
            entry.hex = line.substr(0, 64);
            for (char& c : entry.hex)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            good = marked ? Unescaped(line.substr(66), entry.path) : true;
            if (!marked)
                entry.path = line.substr(66);
        }
        if (!good)
            return "line " + std::to_string(number) + " is not a SHA-256 line";
        // Checkers differ on which of two lines for one name counts: a manifest that lists a
        // name twice vouches for neither.
        if (!listed.insert(entry.path).second)
            return "line " + std::to_string(number) + " lists " + entry.path + " a second time";
        out.lines.push_back(std::move(entry));
    }
    return std::string();
}

}  // namespace integrity
