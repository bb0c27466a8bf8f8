#include "video/CameraExport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "mp4/ExportFinisher.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/HostFiles.h"
#include "platform/WriteTap.h"
#include "playback/LocalPictureSource.h"
#include "playback/PlayTime.h"
#include "storage/RecorderPaths.h"
#include "video/CameraRedactor.h"
#include "video/ClockStatement.h"
#include "video/Mp4Encoder.h"
#include "video/RecordedClock.h"

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

std::string MinuteName(const RecordedPiece& piece, const std::string& mark) {
    char text[32];
    std::snprintf(text, sizeof text, " %02d:%02d", piece.minute / 60, piece.minute % 60);
    return piece.day + text + (mark.empty() ? "" : " " + mark);
}

// One file of the export: its encoder, and what its boxes will say of it.
struct Segment {
    std::string temp;  // where the encoder writes it
    std::unique_ptr<Mp4Encoder> encoder = std::make_unique<Mp4Encoder>();
    mp4::Uuid id = mp4::RandomUuid();
    long long startMs = -1;    // Unix ms (UTC) of its first picture; -1 before it
    long long textSecond = 0;  // the recorded second its open line of text is for, as stamped
    RecordedTime textTime;     // what that second stands for
    bool textOpen = false;

    bool CloseText(std::string& why) {
        if (!textOpen)
            return true;
        textOpen = false;
        const long long at = (textSecond - textTime.offset) * 1000 - startMs;
        return encoder->AddText(RecordedTimeText(textSecond, textTime.mark), std::max(0LL, at),
                                at + 1000, why);
    }
};

// A closed segment made the export's file under final: the camera's UUID in its tracks, the
// segment with its neighbours and the exporting unit in the file's last box, signed when this
// machine has an export key.
platform::Outcome FinishFile(const CameraExportRequest& request,
                             const std::vector<std::string>& missing, const Segment& segment,
                             const mp4::Uuid& predecessor, const mp4::Uuid& successor,
                             const std::string& final, std::string& signedPart) {
    const Mp4Encoder& encoder = *segment.encoder;
    mp4::FinishRequest finish;
    finish.segment.segment = segment.id;
    finish.segment.predecessor = predecessor;
    finish.segment.successor = successor;
    finish.segment.startFileTime =
        mp4::FileTimeFromUnix(segment.startMs / 1000, static_cast<int>(segment.startMs % 1000));
    finish.segment.duration = static_cast<std::uint64_t>(encoder.durationMs()) * 10000;
    finish.clockOffsetTicks = ClockOffsetTicks(request.clock);
    finish.unit.unitName = request.unit;
    finish.unit.exportTime = mp4::Mp4TimeFromUnix(static_cast<std::int64_t>(std::time(nullptr)));
    const std::string cameraText = "camera " + std::to_string(request.camera + 1);
    mp4::VideoTrackInfo track;
    // The same camera of the same recorder keeps its UUID from one export to the next.
    track.id = mp4::NameUuid(request.unit + "\n" + cameraText);
    std::string description = request.memo;
    for (const std::string& m : missing)
        description += (description.empty() ? "missing " : "; missing ") + m;
    // The camera's own name beside its number; the UUID stays that of the number.
    const std::string named =
        request.cameraName.empty() ? cameraText : cameraText + " (" + request.cameraName + ")";
    track.texts = {request.unit, named, request.title, description};
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
        platform::Expected<integrity::ExportKey> loaded = integrity::LoadExportKey(keys);
        if (!loaded)
            return platform::Error{loaded.error().kind,
                                   "the export key cannot be used: " + loaded.error().text, ""};
        key = std::move(*loaded);
        finish.signer = &key;
    }
    return mp4::FinishExport(segment.temp, final, finish, &signedPart);
}

// "…_cam03.mp4" as "…_cam03_part2.mp4".
std::string PartName(const std::string& path, int part) {
    return path.substr(0, path.size() - 4) + "_part" + std::to_string(part) + ".mp4";
}

}  // namespace

CameraExportResult ExportCamera(const CameraExportRequest& request) {
    CameraExportResult result;
    const std::string finalHost =
        platform::ResolvePath(request.outPath, platform::PathUse::kCreate);
    if (finalHost.empty()) {
        result.problem = "the file " + request.outPath + " cannot be made there";
        return result;
    }
    const std::string folder = finalHost.substr(0, finalHost.find_last_of('/'));
    const long long maxBytes =
        request.maxFileBytes > 0 ? request.maxFileBytes : platform::MaxFileBytes(folder);
    playback::LocalPictureSource source(request.entryFolder);
    std::vector<std::uint8_t> bytes;
    std::string samples;
    auto segment = std::make_unique<Segment>();
    segment->temp = platform::TempNameBeside(finalHost, platform::kTempFileSuffix);
    mp4::Uuid predecessor = segment->id;
    int part = 1;
    long long minuteBytes = 0;  // what the last minute added to the file
    auto fail = [&](const std::string& why) {
        result.problem = why;
        platform::DeleteFile(segment->temp);
        // Parts already made stand for nothing without the rest (nor in an image's manifest).
        for (const std::string& f : result.files)
            platform::WithdrawWrittenFile(f);
        result.files.clear();
        result.signedParts.clear();
        result.redacted.clear();
        return result;
    };
    std::unique_ptr<CameraRedactor> redactor;
    if (request.redaction)
        redactor = std::make_unique<CameraRedactor>(*request.redaction, request.camera);
    if (redactor && !redactor->any())
        redactor.reset();
    // Each file's encoder hides what the masks cover before it takes a picture.
    auto redacting = [&redactor](Segment& s) {
        if (redactor)
            s.encoder->EditPictures(
                [r = redactor.get()](PlanarPicture& p, int w, int h) { r->Apply(p, w, h); });
    };
    redacting(*segment);
    std::vector<std::string> days = source.Days();
    std::sort(days.begin(), days.end());
    // The audio track is made when any minute of the camera has its channel recorded.
    bool withAudio = false;
    for (const std::string& day : days)
        for (const int minute : source.Minutes(day))
            withAudio =
                withAudio || !AudioFile(request.entryFolder, day, minute, request.camera).empty();
    // In recorded order: an hour the clock showed twice is exported twice over, once with each
    // reading, not minute by minute with both.
    std::vector<RecordedPiece> pieces;
    for (const std::string& day : days)
        for (const RecordedPiece& piece : RecordedOrder(day, source.Minutes(day)))
            pieces.push_back(piece);
    for (const RecordedPiece& piece : pieces) {
        const std::string& day = piece.day;
        const int minute = piece.minute;
        {
            if (request.stopped && request.stopped())
                return fail("the export was stopped");
            const playback::MinutePictures minutePictures =
                source.Pictures(day, minute, request.camera);
            if (!minutePictures.problem.empty()) {
                if (piece.reading != 2)
                    result.missing.push_back(MinuteName(piece, "") + ": " + minutePictures.problem);
                continue;
            }
            bool resolved = false;
            const std::vector<playback::PictureRef> pictures =
                PicturesOfPiece(minutePictures.pictures, piece.reading, resolved);
            if (pictures.empty() && piece.reading == 2)
                continue;
            const RecordedTime minuteTime =
                TimeOfReading(MinuteReading(day, minute), piece.reading, resolved);
            std::string why;
            // A file the target's file system could not hold is cut before the minute that
            // would outgrow it (with room for its index), and the export goes on in a file of
            // its own that names the one before it.
            const long long size = segment->encoder->bytesWritten();
            if (maxBytes > 0 && segment->startMs >= 0 && !pictures.empty() &&
                size + 2 * minuteBytes + (64LL << 20) + 64 * result.pictures > maxBytes) {
                if (!segment->CloseText(why) || !segment->encoder->Finish(why))
                    return fail(why);
                auto next = std::make_unique<Segment>();
                redacting(*next);
                next->temp = platform::TempNameBeside(finalHost, platform::kTempFileSuffix);
                const std::string name = PartName(finalHost, part);
                std::string signedPart;
                if (const platform::Outcome finished = FinishFile(
                        request, result.missing, *segment, predecessor, next->id, name, signedPart);
                    !finished)
                    return fail(finished.error().Said());
                platform::DeleteFile(segment->temp);
                result.files.push_back(name);
                result.signedParts.push_back(signedPart);
                if (redactor)
                    result.redacted.push_back(redactor->TakeFile());
                predecessor = segment->id;
                segment = std::move(next);
                ++part;
            }
            const long long before = segment->encoder->bytesWritten();
            const std::vector<double> times = playback::PictureTimes(pictures);
            long long unreadable = 0;
            std::string firstWhy;
            // The minute's audio is in the file: the recorder keeps one for both readings of a
            // repeated minute, and it goes with the first.
            bool heard = piece.reading == 2;
            long long timeSecond = -1;  // the stamp time is for
            RecordedTime time;
            for (std::size_t i = 0; i < pictures.size(); ++i) {
                const playback::PictureRef& picture = pictures[i];
                if (const platform::Outcome read = source.Read(day, minute, picture, bytes);
                    !read) {
                    if (!unreadable++)
                        firstWhy = read.error().Said();
                    continue;
                }
                if (picture.rectime != timeSecond) {
                    timeSecond = picture.rectime;
                    time = TimeOfReading(timeSecond, piece.reading, resolved);
                }
                // The file's timeline runs in true time, which the recorder's readings are not.
                const long long at = std::llround(times[i] * 1000.0) - time.offset * 1000;
                if (redactor)
                    redactor->At(picture.rectime, time.mark);
                if (segment->startMs < 0) {
                    segment->startMs = at;
                    segment->encoder->Prepare(segment->temp, at / 1000, request.title, withAudio,
                                              RecorderZoneText(picture.rectime),
                                              ClockStatement(request.clock));
                }
                // A picture stamped before the ones already in the file (a recorder's clock set
                // back) is shown right after them: nothing is dropped.
                const Mp4Encoder::Added added = segment->encoder->AddPicture(
                    bytes.data(), bytes.size(), at - segment->startMs, why);
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
                    const bool read =
                        !audio.empty() && platform::ReadWholeFile(audio, samples, 64 << 20);
                    auto* heardSamples = reinterpret_cast<std::uint8_t*>(samples.data());
                    if (read && redactor)
                        redactor->Mute(heardSamples, samples.size(), MinuteReading(day, minute));
                    if (!audio.empty() &&
                        (!read || !segment->encoder->AddAudio(
                                      heardSamples, samples.size(),
                                      (MinuteReading(day, minute) - minuteTime.offset) * 1000 -
                                          segment->startMs,
                                      why)))
                        return fail(why.empty() ? "the audio " + audio + " cannot be read" : why);
                }
                result.lastMs = std::max(result.lastMs, at);
                if (!segment->textOpen || picture.rectime != segment->textSecond ||
                    time.offset != segment->textTime.offset) {
                    if (!segment->CloseText(why))
                        return fail(why);
                    segment->textSecond = picture.rectime;
                    segment->textTime = time;
                    segment->textOpen = true;
                }
            }
            minuteBytes = segment->encoder->bytesWritten() - before;
            if (unreadable)
                result.missing.push_back(MinuteName(piece, minuteTime.mark) + ": " +
                                         std::to_string(unreadable) + " of " +
                                         std::to_string(pictures.size()) +
                                         " pictures cannot be read (" + firstWhy + ")");
        }
    }
    if (result.pictures == 0) {
        result.problem = "camera " + std::to_string(request.camera + 1) + " has no picture in " +
                         request.entryFolder;
        return result;
    }
    std::string why;
    if (!segment->CloseText(why) || !segment->encoder->Finish(why))
        return fail(why);
    const std::string name = part == 1 ? finalHost : PartName(finalHost, part);
    std::string signedPart;
    if (const platform::Outcome finished = FinishFile(request, result.missing, *segment,
                                                      predecessor, segment->id, name, signedPart);
        !finished)
        return fail(finished.error().Said());
    platform::DeleteFile(segment->temp);
    result.files.push_back(name);
    result.signedParts.push_back(signedPart);
    if (redactor)
        result.redacted.push_back(redactor->TakeFile());
    result.written = true;
    result.width = segment->encoder->width();
    result.height = segment->encoder->height();
    return result;
}

}  // namespace video
