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

#include "platform/AtomicFile.h"
#include "platform/PrivateProfile.h"

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

DriveTable DriveTable::Load(const std::string& prefix) {
    DriveTable table;
    const std::string ini = prefix + "/drives.ini";
    std::error_code ec;
    if (fs::exists(ini, ec)) {
        for (const auto& section : GetPrivateProfileSectionNames(ini)) {
            if (section.size() != 2 || section[1] != ':' || !std::isalpha(section[0]))
                continue;
            DriveInfo d;
            d.letter = static_cast<char>(std::toupper(section[0]));
            d.hostRoot = StripSlash(GetPrivateProfileString(section, "Path", "", 4096, ini));
            d.type = DriveTypeFromName(GetPrivateProfileString(section, "Type", "fixed", 64, ini));
            d.device = GetPrivateProfileString(section, "Device", "", 4096, ini);
            d.media = GetPrivateProfileString(section, "Media", "", 64, ini);
            d.capacityMB = static_cast<int>(GetPrivateProfileInt(section, "CapacityMB", 0, ini));
            if (!d.hostRoot.empty() && !table.Find(d.letter))
                table.drives_.push_back(d);
        }
    } else {
        DriveInfo c{'C', prefix + "/drive_c", DRIVE_FIXED, ""};
        fs::create_directories(c.hostRoot, ec);
        table.drives_.push_back(c);
        // Removable media the desktop mounted, from E: on.
        std::ifstream mounts("/proc/mounts");
        std::string dev, dir, rest;
        char next = 'E';
        while (mounts >> dev >> dir && std::getline(mounts, rest)) {
            if ((dir.rfind("/media/", 0) == 0 || dir.rfind("/run/media/", 0) == 0) && next < 'Z')
                table.drives_.push_back({next++, dir, DRIVE_REMOVABLE, ""});
        }
        table.drives_.push_back({'Z', "/", DRIVE_FIXED, ""});
    }
    std::sort(table.drives_.begin(), table.drives_.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    return table;
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
        out << "[" << d.letter << ":]\nPath=" << d.hostRoot << "\nType=" << DriveTypeName(d.type)
            << "\n";
        if (!d.device.empty())
            out << "Device=" << d.device << "\n";
        if (!d.media.empty())
            out << "Media=" << d.media << "\n";
        if (d.capacityMB > 0)
            out << "CapacityMB=" << d.capacityMB << "\n";
    }
    const std::string text = out.str();
    const bool saved = WriteFileAtomically(prefix + "/drives.ini", text.data(), text.size());
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
