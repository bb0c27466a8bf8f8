#include "video/CameraExport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "mp4/ExportFinisher.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/HostFiles.h"
#include "playback/LocalPictureSource.h"
#include "playback/PlayTime.h"
#include "storage/RecorderPaths.h"
#include "video/Mp4Encoder.h"

namespace video {
namespace {

// The host path of the camera's audio of a minute in the entry, "" when it has none: the
// recorder's models name it ".au" or ".aug" and the channel.
std::string AudioFile(const std::string& entryFolder, const std::string& day, int minuteOfDay,
                      int camera) {
    for (const char* kind : {".au", ".aug"}) {
        const std::string path =
            platform::ResolvePath(paths::DayFolder(entryFolder, day) + "\\Audio\\" +
                                  paths::SegmentName(day, minuteOfDay / 60, minuteOfDay % 60) +
                                  kind + std::to_string(camera));
        if (!path.empty() && platform::FileLength(path) > 0)
            return path;
    }
    return std::string();
}

// Unix seconds of a minute of a day "YYYYMMDD", as the recorder stamps its pictures.
long long MinuteStart(const std::string& day, int minuteOfDay) {
    using namespace std::chrono;
    const sys_days date{
        year{std::atoi(day.substr(0, 4).c_str())} /
        month{static_cast<unsigned>(std::atoi(day.substr(4, 2).c_str()))} /
        std::chrono::day{static_cast<unsigned>(std::atoi(day.substr(6, 2).c_str()))}};
    return date.time_since_epoch().count() * 86400LL + minuteOfDay * 60LL;
}

std::string MinuteName(const std::string& day, int minuteOfDay) {
    char text[32];
    std::snprintf(text, sizeof text, " %02d:%02d", minuteOfDay / 60, minuteOfDay % 60);
    return day + text;
}

// The encoder's file made the export's: the camera's UUID in its track, the segment and the
// exporting unit in the file's last box, signed when this machine has an export key.
std::string FinishFile(const CameraExportRequest& request, const CameraExportResult& result,
                       const Mp4Encoder& encoder, const std::string& encoded,
                       const std::string& final) {
    const long long durationMs = encoder.durationMs();
    mp4::FinishRequest finish;
    const mp4::Uuid segment = mp4::RandomUuid();
    finish.segment.segment = finish.segment.predecessor = finish.segment.successor = segment;
    finish.segment.startFileTime =
        mp4::FileTimeFromUnix(result.firstMs / 1000, static_cast<int>(result.firstMs % 1000));
    finish.segment.duration = static_cast<std::uint64_t>(durationMs) * 10000;
    finish.unit.unitName = request.unit;
    finish.unit.exportTime = mp4::Mp4TimeFromUnix(static_cast<std::int64_t>(std::time(nullptr)));
    const std::string cameraText = "camera " + std::to_string(request.camera + 1);
    mp4::VideoTrackInfo track;
    // The same camera of the same recorder keeps its UUID from one export to the next.
    track.id = mp4::NameUuid(request.unit + "\n" + cameraText);
    std::string description = request.memo;
    for (const std::string& m : result.missing)
        description += (description.empty() ? "missing " : "; missing ") + m;
    track.texts = {request.unit, cameraText, request.title, description};
    finish.unit.video.push_back(track);
    finish.cameras.push_back({1, track.id});  // the video is the file's first track
    if (encoder.hasAudio()) {
        mp4::AudioTrackInfo sound;
        sound.id = mp4::NameUuid(request.unit + "\n" + cameraText + " audio");
        sound.texts = {request.unit, cameraText + " audio", request.title};
        finish.unit.audio.push_back(sound);
        finish.cameras.push_back({2, sound.id});
    }
    integrity::ExportKey key;
    const std::string keys = integrity::SigningKeyFolder();
    if (integrity::HasExportKey(keys)) {
        if (const std::string why = integrity::LoadExportKey(keys, key); !why.empty())
            return "the export key cannot be used: " + why;
        finish.signer = &key;
    }
    return mp4::FinishExport(encoded, final, finish);
}

}  // namespace

std::string RecordedTimeText(long long unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return std::string();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

CameraExportResult ExportCamera(const CameraExportRequest& request) {
    CameraExportResult result;
    const std::string finalHost =
        platform::ResolvePath(request.outPath, platform::PathUse::kCreate);
    if (finalHost.empty()) {
        result.problem = "the file " + request.outPath + " cannot be made there";
        return result;
    }
    const std::string temp = platform::TempNameBeside(finalHost, platform::kTempFileSuffix);
    Mp4Encoder encoder;
    playback::LocalPictureSource source(request.entryFolder);
    std::vector<std::uint8_t> bytes;
    long long startMs = -1;
    long long textSecond = 0;  // the recorded second the open line of text is for
    bool textOpen = false;
    auto closeText = [&](std::string& why) {
        if (!textOpen)
            return true;
        textOpen = false;
        const long long from = std::max(0LL, textSecond * 1000 - startMs);
        return encoder.AddText(RecordedTimeText(textSecond), from,
                               textSecond * 1000 + 1000 - startMs, why);
    };
    auto fail = [&](const std::string& why) {
        result.problem = why;
        platform::DeleteFile(temp);
        return result;
    };
    std::vector<std::string> days = source.Days();
    std::sort(days.begin(), days.end());
    // The audio track is made when any minute of the camera has its channel recorded.
    bool withAudio = false;
    for (const std::string& day : days)
        for (const int minute : source.Minutes(day))
            withAudio =
                withAudio || !AudioFile(request.entryFolder, day, minute, request.camera).empty();
    std::string samples;
    for (const std::string& day : days) {
        for (const int minute : source.Minutes(day)) {
            if (request.stopped && request.stopped())
                return fail("the export was stopped");
            const playback::MinutePictures minutePictures =
                source.Pictures(day, minute, request.camera);
            if (!minutePictures.problem.empty()) {
                result.missing.push_back(MinuteName(day, minute) + ": " + minutePictures.problem);
                continue;
            }
            const std::vector<double> times = playback::PictureTimes(minutePictures.pictures);
            long long unreadable = 0;
            std::string firstWhy;
            bool heard = false;  // the minute's audio is in the file
            for (std::size_t i = 0; i < minutePictures.pictures.size(); ++i) {
                const playback::PictureRef& picture = minutePictures.pictures[i];
                std::string why;
                if (!source.Read(day, minute, picture, bytes, why)) {
                    if (!unreadable++)
                        firstWhy = why;
                    continue;
                }
                const long long at = std::llround(times[i] * 1000.0);
                if (startMs < 0) {
                    startMs = at;
                    encoder.Prepare(temp, at / 1000, request.title, withAudio);
                }
                // A picture stamped before the ones already in the file (a recorder's clock set
                // back) is shown right after them: nothing is dropped.
                const Mp4Encoder::Added added =
                    encoder.AddPicture(bytes.data(), bytes.size(), at - startMs, why);
                if (added == Mp4Encoder::Added::kFailed)
                    return fail(why);
                if (added == Mp4Encoder::Added::kUnreadable) {
                    if (!unreadable++)
                        firstWhy = why;
                    continue;
                }
                if (result.pictures++ == 0)
                    result.firstMs = at;
                // The minute's audio once the file is open, before the rest of its pictures.
                if (!heard && withAudio) {
                    heard = true;
                    const std::string audio =
                        AudioFile(request.entryFolder, day, minute, request.camera);
                    if (!audio.empty() &&
                        (!platform::ReadWholeFile(audio, samples, 64 << 20) ||
                         !encoder.AddAudio(reinterpret_cast<const std::uint8_t*>(samples.data()),
                                           samples.size(),
                                           MinuteStart(day, minute) * 1000 - startMs, why)))
                        return fail(why.empty() ? "the audio " + audio + " cannot be read" : why);
                }
                result.lastMs = std::max(result.lastMs, at);
                if (!textOpen || picture.rectime != textSecond) {
                    if (!closeText(why))
                        return fail(why);
                    textSecond = picture.rectime;
                    textOpen = true;
                }
            }
            if (unreadable)
                result.missing.push_back(MinuteName(day, minute) + ": " +
                                         std::to_string(unreadable) + " of " +
                                         std::to_string(minutePictures.pictures.size()) +
                                         " pictures cannot be read (" + firstWhy + ")");
        }
    }
    if (result.pictures == 0) {
        result.problem = "camera " + std::to_string(request.camera + 1) + " has no picture in " +
                         request.entryFolder;
        return result;
    }
    std::string why;
    if (!closeText(why) || !encoder.Finish(why))
        return fail(why);
    if (const std::string problem = FinishFile(request, result, encoder, temp, finalHost);
        !problem.empty())
        return fail(problem);
    platform::DeleteFile(temp);
    result.written = true;
    result.width = encoder.width();
    result.height = encoder.height();
    return result;
}

}  // namespace video
