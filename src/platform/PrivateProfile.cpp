#include "platform/PrivateProfile.h"

#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/ProfileText.h"

namespace platform {
namespace {

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    return ReadProfileLines(ResolvePath(path), lines);
}

// A file's values as read for lookups, shared while a lookup uses them.
using Values = std::shared_ptr<const ProfileValues>;

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
        Values values = std::make_shared<const ProfileValues>(ParseProfileValues(lines));
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
    return WriteTextAtomically(path, text);
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, std::size_t bufferSize,
                                    const std::string& path) {
    const Values values = ReadForLookup(path);
    const std::string* found = values ? FindProfileValue(*values, section, key) : nullptr;
    return CutProfileValue(found ? *found : def, bufferSize);
}

UINT GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                          const std::string& path) {
    return ProfileIntOf(GetPrivateProfileString(section, key, "", 256, path), def);
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
        if (ProfileSectionOf(lines[i], name)) {
            if (inSection) {
                insertAt = i;
                break;
            }
            inSection = !sectionFound && ProfileNamesEqual(name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (inSection) {
            if (ProfileEntryOf(lines[i], k, v) && ProfileNamesEqual(k, key)) {
                lines[i] = k + "=" + value;  // the file's own spelling of the key stays
                return WriteLines(path, lines);
            }
            if (!TrimProfileText(lines[i]).empty())
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
    std::vector<std::string> lines;
    if (!ReadLines(path, lines))
        return {};
    return ProfileSectionNames(lines);
}

bool ProfileSectionExists(const std::string& section, const std::string& path) {
    for (const auto& name : GetPrivateProfileSectionNames(path))
        if (ProfileNamesEqual(name, section))
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
