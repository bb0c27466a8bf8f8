#include "video/EntryExport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "companions/CppSQLite3.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "playback/LocalPictureSource.h"
#include "records/BackupInfo.h"
#include "records/RecordChecks.h"
#include "storage/RecorderPaths.h"
#include "video/RecordedClock.h"

namespace video {
namespace {

bool Digits(const std::string& s, std::size_t at, std::size_t count) {
    for (std::size_t i = at; i < at + count; ++i)
        if (i >= s.size() || s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

std::string LastName(const std::string& path) {
    std::string p = path;
    while (!p.empty() && (p.back() == '\\' || p.back() == '/'))
        p.pop_back();
    const std::size_t cut = p.find_last_of("\\/");
    return cut == std::string::npos ? p : p.substr(cut + 1);
}

}  // namespace

std::string CameraFileName(const std::string& entryName, int camera) {
    // YYYY_MM_DD=HH,MM~HH,MM
    const std::string& e = entryName;
    if (e.size() != 22 || !Digits(e, 0, 4) || e[4] != '_' || !Digits(e, 5, 2) || e[7] != '_' ||
        !Digits(e, 8, 2) || e[10] != '=' || !Digits(e, 11, 2) || e[13] != ',' ||
        !Digits(e, 14, 2) || e[16] != '~' || !Digits(e, 17, 2) || e[19] != ',' ||
        !Digits(e, 20, 2) || camera < 0 || camera > 63)
        return std::string();
    char cam[16];
    std::snprintf(cam, sizeof cam, "%02d", camera + 1);
    return e.substr(0, 4) + "-" + e.substr(5, 2) + "-" + e.substr(8, 2) + "_" + e.substr(11, 2) +
           e.substr(14, 2) + "-" + e.substr(17, 2) + e.substr(20, 2) + "_cam" + cam + ".mp4";
}

std::string PlainEntryName(const std::string& entryName) {
    const std::string file = CameraFileName(entryName, 0);
    return file.empty() ? file : file.substr(0, file.size() - std::strlen("_cam01.mp4"));
}

std::string EntryZoneText(const std::string& e) {
    if (CameraFileName(e, 0).empty())
        return RecorderZoneText(0);
    const std::string day = e.substr(0, 4) + e.substr(5, 2) + e.substr(8, 2);
    return RecorderZoneText(MinuteReading(
        day, std::atoi(e.substr(11, 2).c_str()) * 60 + std::atoi(e.substr(14, 2).c_str())));
}

std::vector<int> CamerasInEntry(const std::string& entryFolder) {
    std::set<int> cameras;
    playback::LocalPictureSource source(entryFolder);
    for (const std::string& day : source.Days())
        for (const int minute : source.Minutes(day)) {
            try {
                CppSQLite3DB db;
                db.openReadOnly(paths::MinutePrefix(entryFolder, day, minute / 60, minute % 60) +
                                "N.idx");
                CppSQLite3Statement q = db.compileStatement(
                    "SELECT DISTINCT camnum FROM indextable WHERE camnum BETWEEN 0 AND 63");
                q.eachRow([&](const CppSQLite3Query& row) {
                    cameras.insert(static_cast<int>(row.getInt64Field(0)));
                });
            } catch (const CppSQLite3Exception&) {
            }
        }
    return std::vector<int>(cameras.begin(), cameras.end());
}

EntryTexts ReadEntryTexts(const std::string& entryFolder) {
    EntryTexts texts;
    playback::LocalPictureSource source(entryFolder);
    for (const std::string& day : source.Days()) {
        platform::File f;
        BackupInfoRecord r{};
        if (!f.Open(paths::DayFolder(entryFolder, day) + "\\BackupInfo.dat",
                    platform::File::kRead) ||
            f.Length() != static_cast<long long>(sizeof r) ||
            f.ReadAt(&r, sizeof r, 0) != static_cast<long long>(sizeof r) ||
            !CheckEntryInfo(r).empty())
            continue;
        texts.memo = std::string(r.memo, strnlen(r.memo, sizeof r.memo));
        for (const auto& name : r.cameraName)
            texts.cameraNames.emplace_back(name, strnlen(name, sizeof name));
        break;
    }
    return texts;
}

std::vector<CameraFile> ExportEntry(const EntryExportRequest& request) {
    const std::string entryName = LastName(request.entryFolder);
    const std::string& folder = request.outFolder;
    std::vector<CameraFile> files;
    for (const int camera : request.cameras)
        files.push_back({camera, folder + "\\" + CameraFileName(entryName, camera), {}});
    if (CameraFileName(entryName, 0).empty()) {
        for (CameraFile& f : files)
            f.result.problem = request.entryFolder + " is no entry's folder";
        return files;
    }
    if (!platform::CreateDirectoryTree(folder)) {
        for (CameraFile& f : files)
            f.result.problem = "the folder " + folder + " cannot be made";
        return files;
    }
    // What a killed export left half-written under temporary names.
    platform::RemoveLeftoverTempFiles(folder);
    const EntryTexts texts = ReadEntryTexts(request.entryFolder);
    // Each camera is encoded on one thread; the cameras share the machine's cores.
    std::mutex mutex;
    std::size_t next = 0;
    auto work = [&] {
        platform::ScopedWriteTap tap(request.tap);
        for (;;) {
            std::size_t mine;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (next == files.size())
                    return;
                mine = next++;
            }
            CameraExportRequest one;
            one.entryFolder = request.entryFolder;
            one.camera = files[mine].camera;
            one.outPath = files[mine].path;
            one.title = request.label;
            one.memo = request.memo.empty() ? texts.memo : request.memo;
            if (request.redaction) {
                // The file's title and its tracks' texts say what it is not: the recording.
                const std::string copy = "redacted copy of " + request.redaction->masterHash;
                one.title += " (" + copy + ")";
                one.memo = one.memo.empty() ? copy : copy + "; " + one.memo;
                one.redaction = request.redaction;
            }
            if (one.camera >= 0 && one.camera < static_cast<int>(texts.cameraNames.size()))
                one.cameraName = texts.cameraNames[static_cast<std::size_t>(one.camera)];
            one.unit = request.unit;
            one.stopped = request.stopped;
            one.clock = request.clock;
            CameraExportResult result = ExportCamera(one);
            std::lock_guard<std::mutex> lock(mutex);
            files[mine].result = std::move(result);
            if (request.done)
                request.done(files[mine].camera, files[mine].result);
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < std::min<std::size_t>(cores, files.size()); ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    return files;
}

}  // namespace video
