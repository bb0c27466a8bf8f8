#include "storage/WorkingFolder.h"

#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "records/RecordChecks.h"
#include "storage/RecorderPaths.h"

namespace storage {

bool SaveMinuteMap(const std::string& parent, const std::string& entry, const std::string& day,
                   const MinuteMapBlock& map) {
    const std::string folder = parent + "\\" + entry + "\\" + day;
    if (const platform::Status made = platform::CreateDirectory(folder);
        !made && made.code() != platform::ERROR_ALREADY_EXISTS)
        return false;
    return platform::WriteFileAtomically(folder + "\\" + day + ".DAT", map.data(), map.size());
}

bool SaveScheduleTable(const std::string& base, const ScheduleTable& table) {
    if (const platform::Status made = platform::CreateDirectory(paths::WorkingFolder(base));
        !made && made.code() != platform::ERROR_ALREADY_EXISTS)
        return false;
    // The schedule must survive a power cut once the operator was told it is saved.
    return platform::WriteFileAtomically(paths::ReservePath(base), table.data(), sizeof table,
                                         true);
}

ScheduleLoad LoadScheduleTable(const std::string& base, ScheduleTable& table) {
    ScheduleLoad load;
    platform::File f;
    const std::string what = platform::NotAFile(paths::ReservePath(base));
    if (what.empty() && !f.Open(paths::ReservePath(base), platform::File::kRead))
        return load;
    ScheduleTable read{};
    const long long length = f.Length();
    const long long got = f.ReadAt(read.data(), sizeof read, 0);
    f.Close();
    if (!what.empty())
        load.problem = "it is " + what + ", not a file";
    else if (length != static_cast<long long>(sizeof read) || got != length)
        load.problem = "it holds " + std::to_string(length) + " bytes instead of " +
                       std::to_string(sizeof read);
    else
        load.problem = CheckScheduleTable(read);
    if (!load.problem.empty()) {
        load.outcome = ScheduleLoad::kRejected;
        const std::string kept = paths::ReservePath(base) + ".damaged";
        platform::DeleteFile(kept);
        platform::MoveFile(paths::ReservePath(base), kept);
        return load;
    }
    table = read;
    load.outcome = ScheduleLoad::kLoaded;
    return load;
}

bool PeekScheduleTable(const std::string& base, ScheduleTable& table) {
    platform::File f;
    if (!platform::NotAFile(paths::ReservePath(base)).empty() ||
        !f.Open(paths::ReservePath(base), platform::File::kRead))
        return false;
    ScheduleTable read{};
    if (f.Length() != static_cast<long long>(sizeof read) ||
        f.ReadAt(read.data(), sizeof read, 0) != static_cast<long long>(sizeof read) ||
        !CheckScheduleTable(read).empty())
        return false;
    table = read;
    return true;
}

void DeleteFolderTree(const std::string& folder) {
    platform::DeleteTree(folder);
}

bool RemoveScheduleFile(const std::string& base) {
    const std::string path = paths::ReservePath(base);
    return platform::DeleteFile(path) || !platform::FileExists(path);
}

void ClearWorkingFolder(const std::string& base) {
    RemoveScheduleFile(base);
    platform::DeleteTree(paths::WorkingFolder(base));
}

MapRead ReadMinuteMapFile(const std::string& path, MinuteMapBlock& map) {
    MapRead read;
    map.fill(0);
    platform::File f;
    if (!f.Open(path, platform::File::kRead))
        return read;
    read.found = true;
    const long long length = f.Length();
    if (length != static_cast<long long>(map.size()) ||
        f.ReadAt(map.data(), map.size(), 0) != length) {
        read.problem = "it holds " + std::to_string(length) + " bytes instead of " +
                       std::to_string(map.size());
    } else {
        read.problem = CheckMinuteMap(map);
    }
    if (!read.problem.empty())
        map.fill(0);
    return read;
}

bool ReadDayMap(const std::string& folder, const std::string& day, MinuteMapBlock& map) {
    map.fill(0);
    platform::File f;
    if (!f.Open(paths::DayMapPath(folder, day), platform::File::kRead))
        return false;
    if (f.ReadAt(map.data(), map.size(), 0) < 0)
        map.fill(0);
    return true;
}

void RemoveLeftovers(const std::string& base) {
    const std::string working = paths::WorkingFolder(base);
    platform::RemoveLeftoverTempFiles(working);
    for (const auto& entry : platform::FindFiles(working + "\\*.*")) {
        if (!entry.isDirectory || entry.isLink)
            continue;
        const std::string folder = working + "\\" + entry.name;
        platform::RemoveLeftoverTempFiles(folder);
        for (const auto& day : platform::FindFiles(folder + "\\*.*"))
            if (day.isDirectory && !day.isLink)
                platform::RemoveLeftoverTempFiles(folder + "\\" + day.name);
    }
}

}  // namespace storage
