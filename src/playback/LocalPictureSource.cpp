#include "playback/LocalPictureSource.h"

#include <algorithm>
#include <cstdio>

#include "companions/CppSQLite3.h"
#include "platform/FolderIndex.h"
#include "storage/PictureRows.h"
#include "storage/RecordedDays.h"
#include "storage/RecorderPaths.h"

namespace playback {
namespace {

std::string Clock(int minuteOfDay) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minuteOfDay / 60 % 100, minuteOfDay % 60);
    return text;
}

}  // namespace

LocalPictureSource::LocalPictureSource(std::string root) : root_(std::move(root)) {}

std::vector<std::string> LocalPictureSource::Days() {
    return storage::ListRecordedDays(root_);
}

std::vector<int> LocalPictureSource::Minutes(const std::string& day) {
    // A minute plays when both its index and its data file are there.
    const platform::FolderIndex folder(paths::DayFolder(root_, day));
    std::vector<int> minutes;
    for (const auto& idx : folder.Match(day + "????N.idx")) {
        const std::string hhmm = idx.name.substr(8, 4);
        if (hhmm.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int hour = std::stoi(hhmm.substr(0, 2)), minute = std::stoi(hhmm.substr(2, 2));
        platform::FindData dat;
        if (hour < 24 && minute < 60 && !idx.isDirectory &&
            folder.Find(idx.name.substr(0, 13) + ".dat", dat) && !dat.isDirectory)
            minutes.push_back(hour * 60 + minute);
    }
    std::sort(minutes.begin(), minutes.end());
    minutes.erase(std::unique(minutes.begin(), minutes.end()), minutes.end());
    return minutes;
}

MinutePictures LocalPictureSource::Pictures(const std::string& day, int minuteOfDay, int camera) {
    MinutePictures out;
    CameraSet cameras;
    if (camera < 0 || camera >= static_cast<int>(cameras.size()))
        return out;
    cameras.set(static_cast<std::size_t>(camera));
    const std::string prefix = paths::MinutePrefix(root_, day, minuteOfDay / 60, minuteOfDay % 60);
    platform::File data;
    if (!data.Open(prefix + "N.dat", platform::File::kRead)) {
        out.problem = "the pictures of " + Clock(minuteOfDay) + " cannot be opened";
        return out;
    }
    const long long length = data.Length();
    try {
        CppSQLite3DB db;
        db.openReadOnly(prefix + "N.idx");
        CppSQLite3Statement q =
            db.compileStatement("SELECT pos, size, rectime, r FROM (" +
                                storage::SelectRows("main", cameras, storage::Rows::kPictures) +
                                ") ORDER BY rectime, r");
        q.bind(1, length);
        q.eachRow([&](const CppSQLite3Query& row) {
            out.pictures.push_back({row.getInt64Field(2), row.getInt64Field(0),
                                    row.getInt64Field(1), row.getInt64Field(3)});
        });
    } catch (const CppSQLite3Exception& e) {
        out.pictures.clear();
        out.problem = "the index of " + Clock(minuteOfDay) + " cannot be read: " + e.errorMessage();
    }
    return out;
}

platform::Outcome LocalPictureSource::Read(const std::string& day, int minuteOfDay,
                                           const PictureRef& picture,
                                           std::vector<std::uint8_t>& bytes) {
    using Kind = platform::Error::Kind;
    const auto fail = [&](Kind kind, const std::string& what) {
        bytes.clear();
        return platform::Error{kind, what, ""};
    };
    const std::string prefix = paths::MinutePrefix(root_, day, minuteOfDay / 60, minuteOfDay % 60);
    if (prefix != openPrefix_ || !data_.IsOpen()) {
        data_.Close();
        openPrefix_.clear();
        if (!data_.Open(prefix + "N.dat", platform::File::kRead))
            return fail(Kind::kNotFound,
                        "the pictures of " + Clock(minuteOfDay) + " cannot be opened");
        openPrefix_ = prefix;
    }
    if (picture.size < 0 || picture.size > static_cast<long long>(storage::kMaxPictureBytes) ||
        picture.pos < 0)
        return fail(Kind::kDamaged,
                    "a picture of " + Clock(minuteOfDay) + " has an impossible size");
    bytes.resize(static_cast<std::size_t>(picture.size));
    const long long got =
        data_.ReadAt(bytes.data(), bytes.size(), static_cast<std::uint64_t>(picture.pos));
    if (got != picture.size)
        return fail(Kind::kDamaged, "a picture of " + Clock(minuteOfDay) + " is cut short");
    return platform::Succeeded();
}

}  // namespace playback
