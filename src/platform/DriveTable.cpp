#include "platform/DriveTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/HostFiles.h"
#include "platform/ProfileText.h"
#include "platform/TextCase.h"

namespace platform {
namespace fs = std::filesystem;

namespace {
std::atomic<unsigned> gSaves{0};  // a table saved here is read again at once
}

std::string MachinePrefix() {
    const char* p = std::getenv("QUILLON_PREFIX");
    if (p && *p)
        return p;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/quillon";
}

const char* DriveTypeName(UINT type) {
    switch (type) {
        case DRIVE_REMOVABLE:
            return "removable";
        case DRIVE_CDROM:
            return "cdrom";
        case DRIVE_REMOTE:
            return "remote";
        default:
            return "fixed";
    }
}

UINT DriveTypeFromName(const std::string& name) {
    if (name == "removable")
        return DRIVE_REMOVABLE;
    if (name == "cdrom")
        return DRIVE_CDROM;
    if (name == "remote")
        return DRIVE_REMOTE;
    return DRIVE_FIXED;
}

static std::string StripSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

bool IsPseudoMediaName(const std::string& name) {
    const std::string n = FoldCase(name);
    for (const char* known : {"", "cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd+r", "dvd+rw", "none"})
        if (n == known)
            return true;
    return false;
}

namespace {

bool KnownTypeName(const std::string& name) {
    for (const char* known : {"fixed", "removable", "remote", "cdrom"})
        if (name == known)
            return true;
    return false;
}

// What keeps the table from using a section ("" when it can be used).
std::string SectionProblem(const DriveInfo& d, const std::string& typeName) {
    if (!KnownTypeName(typeName))
        return "Type=" + typeName + " is none of fixed, removable, remote and cdrom";
    if (!d.hostRoot.empty() && d.hostRoot[0] != '/')
        return "Path=" + d.hostRoot + " is not a host folder from the root (such as /media/usb)";
    if (d.type != DRIVE_CDROM) {
        if (!d.device.empty())
            return "Device= is only for a disc writer (Type=cdrom)";
        if (d.hostRoot.empty())
            return "it has no Path= (the host folder the drive stands for)";
        return std::string();
    }
    if (d.device.empty()) {
        if (d.hostRoot.empty())
            return "a disc writer needs Device= (a writer such as /dev/sr0, or stdio:FILE)";
        return std::string();  // a disc drive that only reads, through its mount folder
    }
    if (d.device.rfind("stdio:", 0) != 0)
        return std::string();
    // A pseudo-drive: its disc is a file, made on the first write when it is missing.
    if (!IsPseudoMediaName(d.media))
        return "Media=" + d.media + " is none of cd-r, cd-rw, dvd-r, dvd-rw, dvd+r and dvd+rw";
    if (d.capacityMB < 0)
        return "CapacityMB= must be a number of megabytes";
    const std::string file = d.device.substr(6);
    if (file.empty())
        return std::string();  // a drive without a disc
    if (file[0] != '/')
        return "Device=" + d.device + " must name its file from the root (stdio:/path/disc.iso)";
    std::error_code ec;
    if (fs::is_directory(file, ec))
        return "Device=" + d.device + " is a folder; a pseudo-drive's disc is a file";
    if (!fs::is_directory(fs::path(file).parent_path(), ec))
        return "Device=" + d.device + ": the folder for its file does not exist";
    return std::string();
}

}  // namespace

DriveTable DriveTable::Load(const std::string& prefix) {
    DriveTable table;
    const std::string ini = prefix + "/drives.ini";
    std::error_code ec;
    const DriveInfo defaultC{'C', prefix + "/drive_c", DRIVE_FIXED, "", "", 0, true};
    const DriveInfo defaultZ{'Z', "/", DRIVE_FIXED, "", "", 0, true};
    if (fs::exists(ini, ec)) {
        // By host path with the profile rules, not through the profile functions: they find
        // their files through the drive paths, which need this table.
        std::vector<std::string> lines;
        ReadProfileLines(ini, lines);
        const ProfileValues values = ParseProfileValues(lines);
        auto value = [&values](const std::string& section, const char* key, const std::string& def,
                               std::size_t bufferSize) {
            const std::string* found = FindProfileValue(values, section, key);
            return CutProfileValue(found ? *found : def, bufferSize);
        };
        std::string named;  // the letters the table names, usable or not
        for (const auto& section : ProfileSectionNames(lines)) {
            auto refuse = [&](char letter, const std::string& why) {
                table.problems_.push_back(
                    {letter, ini + " [" + section + "]: " + why + "; the section is not used"});
                std::string text = "[" + section + "]\n";
                for (const char* key : {"Path", "Type", "Device", "Media", "CapacityMB"}) {
                    const std::string v = value(section, key, "\x01", 4096);
                    if (v != "\x01")
                        text += std::string(key) + "=" + v + "\n";
                }
                table.unused_.push_back({letter, text});
            };
            if (section.size() != 2 || section[1] != ':' ||
                !std::isalpha(static_cast<unsigned char>(section[0]))) {
                refuse(0, "not a drive letter such as [E:]");
                continue;
            }
            DriveInfo d;
            d.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(section[0])));
            if (named.find(d.letter) != std::string::npos) {
                refuse(d.letter, "the drive has an earlier section");
                continue;
            }
            named += d.letter;
            d.hostRoot = StripSlash(value(section, "Path", "", 4096));
            const std::string typeName = value(section, "Type", "fixed", 64);
            d.type = DriveTypeFromName(typeName);
            d.device = value(section, "Device", "", 4096);
            d.media = value(section, "Media", "", 64);
            d.capacityMB = static_cast<int>(ProfileIntOf(value(section, "CapacityMB", "", 256), 0));
            const std::string problem = SectionProblem(d, typeName);
            if (!problem.empty()) {
                refuse(d.letter, problem);
                continue;
            }
            table.drives_.push_back(d);
        }
        // The program's own C: and the host's root stay unless the table gives the letters.
        if (named.find('C') == std::string::npos) {
            fs::create_directories(defaultC.hostRoot, ec);
            table.drives_.push_back(defaultC);
        }
        if (named.find('Z') == std::string::npos)
            table.drives_.push_back(defaultZ);
    } else {
        fs::create_directories(defaultC.hostRoot, ec);
        table.drives_.push_back(defaultC);
        // Removable media the desktop mounted, from E: on.
        std::ifstream mounts("/proc/mounts");
        std::string dev, dir, rest;
        char next = 'E';
        while (mounts >> dev >> dir && std::getline(mounts, rest)) {
            if ((dir.rfind("/media/", 0) == 0 || dir.rfind("/run/media/", 0) == 0) && next < 'Z')
                table.drives_.push_back({next++, dir, DRIVE_REMOVABLE, ""});
        }
        table.drives_.push_back(defaultZ);
    }
    std::sort(table.drives_.begin(), table.drives_.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    return table;
}

std::string DriveTable::ProblemsOf(char letter) const {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    std::string text;
    for (const auto& p : problems_)
        if (p.letter == letter)
            text += (text.empty() ? "" : "\n") + p.text;
    return text;
}

const DriveInfo* DriveTable::Find(char letter) const {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const auto& d : drives_)
        if (d.letter == letter)
            return &d;
    return nullptr;
}

void DriveTable::Set(const DriveInfo& drive) {
    DriveInfo d = drive;
    d.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(d.letter)));
    d.hostRoot = StripSlash(d.hostRoot);
    for (auto& existing : drives_) {
        if (existing.letter == d.letter) {
            existing = d;
            return;
        }
    }
    drives_.push_back(d);
    std::sort(drives_.begin(), drives_.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
}

bool DriveTable::Save(const std::string& prefix) const {
    std::error_code ec;
    fs::create_directories(prefix, ec);
    std::ostringstream out;
    for (const auto& d : drives_) {
        if (d.builtIn)
            continue;
        out << "[" << d.letter << ":]\n";
        if (!d.hostRoot.empty())
            out << "Path=" << d.hostRoot << "\n";
        out << "Type=" << DriveTypeName(d.type) << "\n";
        if (!d.device.empty())
            out << "Device=" << d.device << "\n";
        if (!d.media.empty())
            out << "Media=" << d.media << "\n";
        if (d.capacityMB > 0)
            out << "CapacityMB=" << d.capacityMB << "\n";
    }
    for (const auto& u : unused_)
        if (u.letter == 0 || !Find(u.letter))
            out << u.text;
    const bool saved = ReplaceHostFile(prefix + "/drives.ini", out.str());
    ++gSaves;
    return saved;
}

std::shared_ptr<const DriveTable> CurrentDrives() {
    // Re-reading the table for every path would cost a file parse per file operation; it is kept
    // until the prefix or the file's modification time changes, and the file is looked at no
    // more than five times a second (a backup resolves thousands of paths a second).
    static std::mutex mutex;
    static std::string cachedPrefix;
    static long long cachedStamp = -2;
    static unsigned cachedSaves = 0;
    static std::chrono::steady_clock::time_point lastLook;
    static std::shared_ptr<const DriveTable> cached;
    const std::string prefix = MachinePrefix();
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (cached && prefix == cachedPrefix && cachedSaves == gSaves &&
            now - lastLook < std::chrono::milliseconds(200))
            return cached;
    }
    struct stat st {};
    long long stamp = -1;
    if (::stat((prefix + "/drives.ini").c_str(), &st) == 0)
        stamp = (static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec) ^
                (static_cast<long long>(st.st_size) << 40) ^ static_cast<long long>(st.st_ino);
    std::lock_guard<std::mutex> lock(mutex);
    if (prefix != cachedPrefix || stamp != cachedStamp || cachedSaves != gSaves) {
        cached = std::make_shared<const DriveTable>(DriveTable::Load(prefix));
        cachedPrefix = prefix;
        cachedStamp = stamp;
        cachedSaves = gSaves;
    }
    lastLook = now;
    return cached;
}

}  // namespace platform
