#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "backup/exhibit/ExhibitFacts.h"
#include "companions/CppSQLite3.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/TimeZone.h"
#include "records/BackupInfo.h"
#include "records/ScheduleEntry.h"

namespace exhibit {
namespace {

namespace fs = std::filesystem;

bool AllDigits(const std::string& s, std::size_t n) {
    return s.size() == n &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Two(int n) {
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

// The bytes of one picture of a minute's data file; "" when they cannot be read.
std::string PictureBytes(const std::string& dataHost, long long position, long long size) {
    platform::File data;
    if (size <= 0 || size > (1 << 22) || !data.Open(dataHost, platform::File::kReadNoLink))
        return std::string();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const long long n =
        data.ReadAt(bytes.data(), bytes.size(), static_cast<std::uint64_t>(position));
    return n == size ? bytes : std::string();
}

// Seconds of the recorder's clock for a minute of the day, counted as it stamps pictures.
long long MinuteReading(const std::string& day, int minute) {
    std::tm t{};
    t.tm_year = std::stoi(day.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(day.substr(4, 2)) - 1;
    t.tm_mday = std::stoi(day.substr(6, 2));
    t.tm_min = minute;
    return platform::UtcSecondsOf(t);
}

// What one minute's index says of each camera: pictures, first and last stamp and where
// the first and last picture lie.
struct MinuteCamera {
    long long pictures = 0, first = 0, last = 0;
    long long firstPos = 0, firstSize = 0, lastPos = 0, lastSize = 0;
};

// The minute's cameras; false when its index is no readable picture table.
bool ReadMinute(const std::string& indexHost, std::map<int, MinuteCamera>& out) {
    try {
        CppSQLite3DB db;
        db.openReadOnlyResolved(indexHost);
        if (!db.tableExists("indextable"))
            return false;
        for (CppSQLite3Query q = db.execQuery(
                 "SELECT camnum, COUNT(*), MIN(rectime), MAX(rectime) FROM indextable GROUP BY "
                 "camnum");
             !q.eof(); q.nextRow()) {
            MinuteCamera& c = out[static_cast<int>(q.getInt64Field(0))];
            c.pictures = q.getInt64Field(1);
            c.first = q.getInt64Field(2);
            c.last = q.getInt64Field(3);
        }
        for (auto& [camera, c] : out) {
            const std::string of = " FROM indextable WHERE camnum = " + std::to_string(camera);
            CppSQLite3Query first = db.execQuery("SELECT imgposition, imgsize" + of +
                                                 " ORDER BY rectime, rowid LIMIT 1");
            if (!first.eof()) {
                c.firstPos = first.getInt64Field(0);
                c.firstSize = first.getInt64Field(1);
            }
            CppSQLite3Query last = db.execQuery("SELECT imgposition, imgsize" + of +
                                                " ORDER BY rectime DESC, rowid DESC LIMIT 1");
            if (!last.eof()) {
                c.lastPos = last.getInt64Field(0);
                c.lastSize = last.getInt64Field(1);
            }
        }
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

// Minutes of audio by camera (from 0): the day's audio folder holds one file a minute and
// camera, its name the minute and a suffix ending in the camera's number.
std::map<int, int> AudioMinutes(const std::string& dayHost) {
    std::map<int, int> minutes;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dayHost + "/Audio", ec)) {
        const std::string name = e.path().filename().string();
        std::size_t digits = name.size();
        while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
            --digits;
        if (digits == name.size() || name.size() - digits > 2 || name.find('.') != 12)
            continue;
        ++minutes[std::stoi(name.substr(digits))];
    }
    return minutes;
}

Entry EntryOfDay(const std::string& folder, const std::string& day, const std::string& dayHost) {
    Entry entry;
    entry.folder = folder;
    entry.day = day;
    BackupInfoRecord info{};
    std::string infoBytes;
    const bool hasInfo =
        platform::ReadWholeFile(dayHost + "/BackupInfo.dat", infoBytes, sizeof info) &&
        infoBytes.size() == sizeof info;
    if (hasInfo)
        std::memcpy(&info, infoBytes.data(), sizeof info);
    // Without its information file the entry spans the minutes whose files it holds.
    std::vector<int> held;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dayHost, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() == 17 && name.compare(0, 8, day) == 0 && AllDigits(name.substr(8, 4), 4))
            held.push_back(std::stoi(name.substr(8, 2)) * 60 + std::stoi(name.substr(10, 2)));
    }
    std::sort(held.begin(), held.end());
    if (hasInfo && info.startHour < 24 && info.endHour < 24 && info.startMinute < 60 &&
        info.endMinute < 60) {
        entry.firstMinute = static_cast<int>(info.startHour * 60 + info.startMinute);
        entry.lastMinute = static_cast<int>(info.endHour * 60 + info.endMinute);
        entry.memo = FieldText(info.memo, sizeof info.memo);
    } else if (!held.empty()) {
        entry.firstMinute = held.front();
        entry.lastMinute = held.back();
    }
    std::map<int, Camera> cameras;
    std::map<int, std::vector<int>> seen;  // minutes with pictures, by camera
    std::vector<int> damaged;
    for (int m = entry.firstMinute; m <= entry.lastMinute; ++m) {
        const std::string prefix = dayHost + "/" + day + Two(m / 60) + Two(m % 60) + "N.";
        std::map<int, MinuteCamera> minute;
        if (platform::FileLength(prefix + "idx") < 0)
            continue;
        if (!ReadMinute(prefix + "idx", minute)) {
            damaged.push_back(m);
            continue;
        }
        for (const auto& [number, c] : minute) {
            if (number < 0 || number >= 64 || c.pictures == 0)
                continue;
            Camera& camera = cameras[number];
            if (camera.pictures == 0) {
                camera.number = number + 1;
                camera.firstReading = c.first;
                camera.firstJpeg = PictureBytes(prefix + "dat", c.firstPos, c.firstSize);
            }
            camera.pictures += c.pictures;
            camera.lastReading = c.last;
            camera.lastJpeg = PictureBytes(prefix + "dat", c.lastPos, c.lastSize);
            seen[number].push_back(m);
        }
    }
    const std::map<int, int> audio = AudioMinutes(dayHost);
    for (auto& [number, camera] : cameras) {
        if (hasInfo)
            camera.name = FieldText(info.cameraName[number], sizeof info.cameraName[number]);
        camera.damagedMinutes = damaged;
        const std::vector<int>& with = seen[number];
        for (int m = entry.firstMinute; m <= entry.lastMinute; ++m)
            if (!std::binary_search(with.begin(), with.end(), m) &&
                !std::binary_search(damaged.begin(), damaged.end(), m))
                camera.missingMinutes.push_back(m);
        if (const auto a = audio.find(number); a != audio.end())
            camera.audioMinutes = a->second;
        entry.cameras.push_back(std::move(camera));
    }
    for (int m = entry.firstMinute; m <= entry.lastMinute; ++m) {
        const std::vector<platform::ClockInstant> instants =
            platform::InstantsOfLocalClock(MinuteReading(day, m));
        if (instants.size() == 2)
            entry.repeatedMinutes.push_back(m);
        const int offset = instants.empty() ? 0 : instants.front().offset;
        if (m == entry.firstMinute)
            entry.firstOffset = offset;
        entry.lastOffset = offset;
    }
    return entry;
}

}  // namespace

std::vector<Entry> EntriesOfImage(const std::string& rootHost) {
    std::vector<Entry> entries;
    std::error_code ec;
    std::vector<fs::path> folders;
    for (const auto& e : fs::directory_iterator(rootHost, ec))
        if (e.is_directory() && !e.is_symlink())
            folders.push_back(e.path());
    std::sort(folders.begin(), folders.end());
    for (const fs::path& folder : folders) {
        std::vector<fs::path> days;
        for (const auto& d : fs::directory_iterator(folder, ec))
            if (d.is_directory() && !d.is_symlink() && AllDigits(d.path().filename().string(), 8))
                days.push_back(d.path());
        std::sort(days.begin(), days.end());
        for (const fs::path& day : days)
            entries.push_back(
                EntryOfDay(folder.filename().string(), day.filename().string(), day.string()));
    }
    return entries;
}

}  // namespace exhibit
