#include "mkrec/Recorder.h"

#include <cmath>
#include <ctime>
#include <stdexcept>
#include <vector>

#include "companions/CppSQLite3.h"
#include "mkrec/JpegPicture.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/TimeZone.h"
#include "records/ScheduleEntry.h"
#include "storage/MinuteCopy.h"
#include "storage/RecorderPaths.h"

namespace mkrec {
namespace {

void MakeFolder(const std::string& path) {
    if (!platform::CreateDirectoryTree(path))
        throw std::runtime_error("cannot create folder " + path);
}

void WriteFile(const std::string& path, const void* data, std::size_t size) {
    platform::File f;
    if (!f.Open(path, platform::File::kCreateWrite) || !f.Write(data, size))
        throw std::runtime_error("cannot write " + path);
}

long long DayEpoch(const std::string& day) {
    std::tm tm{};
    tm.tm_year = std::stoi(day.substr(0, 4)) - 1900;
    tm.tm_mon = std::stoi(day.substr(4, 2)) - 1;
    tm.tm_mday = std::stoi(day.substr(6, 2));
    return platform::UtcSecondsOf(tm);
}

bool Records(const RecorderPlan& plan, int camera, int minuteOfDay) {
    auto stop = plan.cameraStops.find(camera);
    return stop == plan.cameraStops.end() || minuteOfDay < stop->second;
}

struct Row {
    int cam;
    long long rectime;
    long long pos;
    long long size;
};

void WriteMinute(const RecorderPlan& plan, const std::string& day, int minuteOfDay,
                 RecorderStats& stats) {
    const int hour = minuteOfDay / 60, minute = minuteOfDay % 60;
    const std::string prefix = paths::MinutePrefix(plan.root, day, hour, minute);
    std::vector<std::uint8_t> data;
    std::vector<Row> rows;
    const long long t0 = DayEpoch(day) + minuteOfDay * 60LL;
    const int readings = plan.repeatedMinutes.count(minuteOfDay) ? 2 : 1;
    for (int k = 0; k < readings * 60; ++k) {
        const int s = k % 60;
        std::vector<std::vector<std::uint8_t>> pictures(static_cast<std::size_t>(plan.cameras));
        for (int c = 0; c < plan.cameras; ++c)
            if (Records(plan, c, minuteOfDay))
                pictures[c] =
                    MakeJpegPicture(plan.width, plan.height, c, hour, minute, s,
                                    plan.seed + static_cast<std::uint32_t>(k / 60), plan.quality);
        for (int f = 0; f < plan.fps; ++f)
            for (int c = 0; c < plan.cameras; ++c) {
                if (pictures[c].empty())
                    continue;
                rows.push_back({c, t0 + s, static_cast<long long>(data.size()),
                                static_cast<long long>(pictures[c].size())});
                data.insert(data.end(), pictures[c].begin(), pictures[c].end());
            }
    }
    auto damage = plan.damagedMinutes.find(minuteOfDay);
    std::size_t dataLength = data.size();
    if (damage != plan.damagedMinutes.end() && damage->second == Damage::kShortData)
        dataLength /= 2;
    WriteFile(prefix + "N.dat", data.data(), dataLength);

    const std::string idx = prefix + "N.idx";
    if (damage != plan.damagedMinutes.end() && damage->second == Damage::kNotADatabase) {
        const std::string junk = "this is not an index file\n";
        WriteFile(idx, junk.data(), junk.size());
    } else {
        platform::DeleteFile(idx);
        CppSQLite3DB db;
        db.open(idx);
        db.execDML("BEGIN TRANSACTION");
        if (damage != plan.damagedMinutes.end() && damage->second == Damage::kNoTable) {
            db.execDML("CREATE TABLE other(x int);");
        } else {
            db.execDML(storage::IndexTableCreateStatement());
            CppSQLite3Statement ins =
                db.compileStatement("insert into indextable values(?,?,'N',?,?,'I',?,?,'J','0');");
            auto put = [&](const Row& r) {
                ins.bind(1, r.cam);
                ins.bind(2, r.rectime);
                ins.bind(3, plan.width);
                ins.bind(4, plan.height);
                ins.bind(5, r.pos);
                ins.bind(6, r.size);
                ins.execDML();
            };
            if (plan.reverseRowOrder)
                for (auto it = rows.rbegin(); it != rows.rend(); ++it)
                    put(*it);
            else
                for (const auto& r : rows)
                    put(r);
        }
        db.execDML("COMMIT TRANSACTION");
    }
    stats.minutes++;
    stats.pictures += static_cast<long long>(rows.size());
    stats.pictureBytes += static_cast<long long>(data.size());

    // Audio: a tone a channel, its pitch by channel and minute.
    for (int ch = 0; ch < plan.audioChannels; ++ch) {
        std::vector<std::uint8_t> samples(static_cast<std::size_t>(plan.audioBytesPerMinute));
        const double freq = 220.0 * (1 + ch) + minute;
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::uint8_t>(
                128 + 60 * std::sin(2 * M_PI * freq * static_cast<double>(i) / 8000.0));
        WriteFile(paths::AudioPath(plan.root, day, hour, minute, ch, plan.modelCode),
                  samples.data(), samples.size());
        stats.audioBytes += static_cast<long long>(samples.size());
    }
}

}  // namespace

RecorderStats MakeRecordings(const RecorderPlan& plan) {
    if (plan.cameras < 1 || plan.cameras > 64)
        throw std::runtime_error("cameras must be 1 to 64");
    if (plan.firstMinute < 0 || plan.lastMinute > 1439 || plan.firstMinute > plan.lastMinute)
        throw std::runtime_error("minutes must lie within one day, first before last");
    if (plan.fps < 1 || plan.width < 8 || plan.height < 8)
        throw std::runtime_error("frame rate and picture size must be positive");
    RecorderStats stats;
    for (const auto& day : plan.days) {
        if (day.size() != 8)
            throw std::runtime_error("a day is 8 digits YYYYMMDD: " + day);
        const std::string folder = paths::DayFolder(plan.root, day);
        MakeFolder(folder + "\\Audio");
        std::vector<std::uint8_t> map(kMinuteMapBytes, 0);
        for (int m = plan.firstMinute; m <= plan.lastMinute; ++m) {
            if (plan.gapMinutes.count(m))
                continue;
            bool any = false;
            for (int c = 0; c < plan.cameras; ++c)
                if (Records(plan, c, m)) {
                    map[static_cast<std::size_t>(c) * 1440 + m] = 1;
                    any = true;
                }
            if (any)
                WriteMinute(plan, day, m, stats);
        }
        WriteFile(paths::DayMapPath(folder, day), map.data(), map.size());
    }
    return stats;
}

}  // namespace mkrec
