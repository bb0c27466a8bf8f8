#include "backup/server/ShareServiceDirect.h"

#include <cstdlib>
#include <ctime>

#include "platform/FileSystem.h"
#include "platform/FolderIndex.h"
#include "platform/TextCase.h"
#include "storage/IndexSnapshot.h"
#include "storage/RecorderPaths.h"

namespace {

// The recorder writes a minute while it lasts and a little after: a minute that ended longer
// ago than this on its clock is not written any more, and what is served later is what was
// hashed.
constexpr std::time_t kSettledSeconds = 120;

bool MinuteOver(const std::string& day, int hour, int minute) {
    std::tm t{};
    t.tm_year = std::atoi(day.substr(0, 4).c_str()) - 1900;
    t.tm_mon = std::atoi(day.substr(4, 2).c_str()) - 1;
    t.tm_mday = std::atoi(day.substr(6, 2).c_str());
    t.tm_hour = hour;
    t.tm_min = minute + 1;
    t.tm_isdst = -1;
    const std::time_t end = std::mktime(&t);
    return end != -1 && std::time(nullptr) - end > kSettledSeconds;
}

bool Plain(const platform::FindData& f) {
    return !f.isDirectory && !f.isLink;
}

}  // namespace

std::optional<std::vector<DirectFile>> DirectEntryFiles(const backup::HostSettings& host,
                                                        const ScheduleEntry& entry,
                                                        const EntryImagePaths& p,
                                                        const MinuteMapBlock& map) {
    const std::string dayPath = paths::DayFolder(host.StorageRoot(), p.day);
    const platform::FolderIndex day(dayPath), audio(dayPath + "\\Audio");
    std::vector<DirectFile> files;
    for (int h = p.startHour; h <= p.endHour && h < 24; ++h) {
        const int first = h == p.startHour ? p.startMinute : 0;
        const int last = h == p.endHour ? p.endMinute : 59;
        for (int m = first; m <= last && m < 60; ++m) {
            if (!MinuteOver(p.day, h, m))
                return std::nullopt;
            const std::string segment = paths::SegmentName(p.day, h, m);
            const std::vector<platform::FindData> all = day.Match(segment + "N.*");
            const platform::FindData *dat = nullptr, *idx = nullptr;
            for (const auto& found : all) {
                // The first of each name in search order, as the extraction takes it.
                if (!dat && platform::EqualIgnoringCase(found.name, segment + "N.dat"))
                    dat = &found;
                if (!idx && platform::EqualIgnoringCase(found.name, segment + "N.idx"))
                    idx = &found;
            }
            if (!dat && !idx) {
                if (MinuteRecorded(map, h, m))
                    return std::nullopt;
                continue;
            }
            if (!dat || !idx || !Plain(*dat) || !Plain(*idx) ||
                platform::FileLength(idx->hostPath + "-wal") > 0)
                return std::nullopt;
            {
                storage::IndexSnapshot snapshot(idx->hostPath);
                if (!snapshot.held() ||
                    !snapshot.RowsOutsideData(static_cast<long long>(dat->size)).empty())
                    return std::nullopt;
            }
            files.push_back({dat->name, dat->hostPath, static_cast<long long>(dat->size)});
            files.push_back({idx->name, idx->hostPath, static_cast<long long>(idx->size)});
            for (int c = 0; c < kMaxCameras; ++c) {
                if (!entry.bCam[c])
                    continue;
                platform::FindData a;
                const std::string name =
                    segment + paths::AudioSuffix(host.modelCode) + std::to_string(c);
                if (!audio.Find(name, a))
                    continue;
                if (!Plain(a))
                    return std::nullopt;
                files.push_back({"Audio/" + a.name, a.hostPath, static_cast<long long>(a.size)});
            }
        }
    }
    return files;
}
