#include "platform/PrivateProfile.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"

namespace platform {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

// Larger than any profile the tool reads or writes.
constexpr long long kMaxProfileBytes = 16LL << 20;

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    // Read whole and only when it is a file: a pipe in its place must not hang the program.
    std::string text;
    if (!ReadWholeFile(ResolvePath(path), text, kMaxProfileBytes))
        return false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // An editor's UTF-8 byte-order mark is not part of the first line.
        if (lines.empty() && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        lines.push_back(line);
    }
    return true;
}

// A file's values by section and key (folded to lower case and joined by a newline): the
// first section of a name counts, and in it the first line of a key.
using Values = std::shared_ptr<const std::unordered_map<std::string, std::string>>;

std::string Fold(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

Values Parse(const std::vector<std::string>& lines);

// The values of files read for lookups, kept while the file is unchanged: the language file is
// looked up for every status text, thousands of times in one backup. A file is trusted only
// once its last change lies more than a second back, so that a change within one tick of the
// clock is never missed; a changed file takes effect at the next lookup, as if read afresh.
class ProfileCache {
  public:
    Values Read(const std::string& path) {
        const std::string host = ResolvePath(path);
        struct stat st {};
        if (host.empty() || ::stat(host.c_str(), &st) != 0)
            return nullptr;
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files_.find(host);
        if (it != files_.end() && it->second.Matches(st))
            return it->second.values;
        std::vector<std::string> lines;
        if (!ReadLines(host, lines))
            return nullptr;
        Values values = Parse(lines);
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        if (now.tv_sec > st.st_mtim.tv_sec + 1 && now.tv_sec > st.st_ctim.tv_sec + 1) {
            if (files_.size() >= 64)
                files_.clear();
            files_[host] = Entry{st, values};
        }
        return values;
    }

  private:
    struct Entry {
        struct stat st;
        Values values;
        bool Matches(const struct stat& now) const {
            return now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
                   now.st_size == st.st_size && now.st_mtim.tv_sec == st.st_mtim.tv_sec &&
                   now.st_mtim.tv_nsec == st.st_mtim.tv_nsec &&
                   now.st_ctim.tv_sec == st.st_ctim.tv_sec &&
                   now.st_ctim.tv_nsec == st.st_ctim.tv_nsec;
        }
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> files_;
};

Values ReadForLookup(const std::string& path) {
    static ProfileCache cache;
    return cache.Read(path);
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return WriteFileAtomically(path, text.data(), text.size());
}

// Section name when the line opens a section.
bool SectionOf(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// Key and value when the line is key=value.
bool EntryOf(const std::string& line, std::string& key, std::string& value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';')
        return false;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

Values Parse(const std::vector<std::string>& lines) {
    auto values = std::make_shared<std::unordered_map<std::string, std::string>>();
    std::unordered_map<std::string, bool> seen;
    std::string section;
    bool counts = false;
    for (const auto& line : lines) {
        std::string name, k, v;
        if (SectionOf(line, name)) {
            section = Fold(name);
            counts = seen.emplace(section, true).second;
        } else if (counts && EntryOf(line, k, v)) {
            values->emplace(section + "\n" + Fold(k), v);
        }
    }
    return values;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, std::size_t bufferSize,
                                    const std::string& path) {
    auto cut = [bufferSize](std::string v) {
        if (bufferSize == 0)
            return std::string();
        if (v.size() > bufferSize - 1)
            v.resize(bufferSize - 1);
        return v;
    };
    const Values values = ReadForLookup(path);
    if (!values)
        return cut(def);
    const auto found = values->find(Fold(section) + "\n" + Fold(key));
    return cut(found == values->end() ? def : found->second);
}

UINT GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                          const std::string& path) {
    std::string v = GetPrivateProfileString(section, key, "", 256, path);
    if (v.empty())
        return static_cast<UINT>(def);
    return static_cast<UINT>(std::strtol(v.c_str(), nullptr, 10));
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
    std::vector<std::string> lines;
    ReadLines(path, lines);  // a missing file starts empty
    bool inSection = false;
    bool sectionFound = false;
    std::size_t insertAt = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string name, k, v;
        if (SectionOf(lines[i], name)) {
            if (inSection) {
                insertAt = i;
                break;
            }
            inSection = !sectionFound && EqualNoCase(name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (inSection) {
            if (EntryOf(lines[i], k, v) && EqualNoCase(k, key)) {
                lines[i] = k + "=" + value;  // the file's own spelling of the key stays
                return WriteLines(path, lines);
            }
            if (!Trim(lines[i]).empty())
                insertAt = i + 1;
        }
    }
    if (!sectionFound) {
        lines.push_back("[" + section + "]");
        insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
    return WriteLines(path, lines);
}

std::vector<std::string> GetPrivateProfileSectionNames(const std::string& path) {
    std::vector<std::string> lines, names;
    if (!ReadLines(path, lines))
        return names;
    for (const auto& line : lines) {
        std::string name;
        if (SectionOf(line, name))
            names.push_back(name);
    }
    return names;
}

bool ProfileSectionExists(const std::string& section, const std::string& path) {
    for (const auto& name : GetPrivateProfileSectionNames(path))
        if (EqualNoCase(name, section))
            return true;
    return false;
}

bool WriteProfileSection(const std::string& section, const std::string& path) {
    std::vector<std::string> lines;
    ReadLines(path, lines);
    lines.push_back("[" + section + "]");
    return WriteLines(path, lines);
}

std::string JoinProfileList(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items)
        out += item + ",";
    return out;
}

}  // namespace platform
