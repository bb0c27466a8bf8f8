#include <cstdio>

#include "backup/exhibit/ExhibitReport.h"
#include "backup/exhibit/JsonText.h"
#include "platform/TimeZone.h"

namespace exhibit {
namespace {

std::string DayText(const std::string& day) {
    return day.size() == 8 ? day.substr(0, 4) + "-" + day.substr(4, 2) + "-" + day.substr(6, 2)
                           : day;
}

void Minutes(JsonText& json, const char* key, const std::vector<int>& minutes) {
    json.Key(key).OpenList();
    for (const int m : minutes)
        json.Value(MinuteText(m));
    json.CloseList();
}

void CameraJson(JsonText& json, const Camera& c) {
    json.Open()
        .Key("number")
        .Value(c.number)
        .Key("name")
        .Value(c.name)
        .Key("pictures")
        .Value(c.pictures);
    if (c.pictures > 0) {
        json.Key("first_recorded").Value(ReadingText(c.firstReading));
        json.Key("last_recorded").Value(ReadingText(c.lastReading));
        json.Key("first_utc").Value(ReadingUtc(c.firstReading));
        json.Key("last_utc").Value(ReadingUtc(c.lastReading));
    }
    Minutes(json, "missing_minutes", c.missingMinutes);
    Minutes(json, "damaged_minutes", c.damagedMinutes);
    json.Key("audio_minutes").Value(c.audioMinutes).Close();
}

}  // namespace

std::string MinuteText(int minute) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minute / 60 % 24, minute % 60);
    return text;
}

std::string ReadingText(long long reading) {
    std::tm t{};
    if (!platform::UtcTimeAt(static_cast<std::time_t>(reading), t))
        return std::to_string(reading);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
    return text;
}

std::string ReadingUtc(long long reading) {
    const std::vector<platform::ClockInstant> instants = platform::InstantsOfLocalClock(reading);
    // A reading the clock skipped is taken at the offset of the day before.
    platform::ClockInstant before;
    const long long utc = !instants.empty() ? instants.front().utc
                          : platform::LocalClockAt(reading - 86400, before)
                              ? reading - before.offset
                              : reading;
    std::tm t{};
    if (!platform::UtcTimeAt(static_cast<std::time_t>(utc), t))
        return std::to_string(utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &t);
    return text;
}

std::string ReportJson(const Facts& f) {
    JsonText json;
    json.Open().Key("schema").Value(kSchemaName).Key("made").Value(f.madeUtc);
    json.Key("case")
        .Open()
        .Key("reference")
        .Value(f.caseDetails.caseReference)
        .Key("exhibit")
        .Value(f.caseDetails.exhibitNumber)
        .Key("operator")
        .Value(f.caseDetails.operatorName)
        .Close();
    json.Key("exporter")
        .Open()
        .Key("machine")
        .Value(f.machine)
        .Key("program")
        .Value(f.program)
        .Close();
    const ClockCheck& clock = f.recorder.clock;
    json.Key("recorder")
        .Open()
        .Key("name")
        .Value(f.recorder.name)
        .Key("address")
        .Value(f.recorder.address)
        .Key("zone")
        .Value(f.recorder.zone)
        .Key("clock")
        .Open()
        .Key("method")
        .Value(clock.method)
        .Key("offset_seconds")
        .Value(clock.offsetSeconds)
        .Key("uncertainty_seconds")
        .Value(clock.uncertaintySeconds)
        .Key("synchronised")
        .Value(clock.synchronised)
        .Key("detail")
        .Value(clock.detail)
        .Close()
        .Close();
    json.Key("entries").OpenList();
    for (const Entry& e : f.entries) {
        json.Open()
            .Key("folder")
            .Value(e.folder)
            .Key("day")
            .Value(DayText(e.day))
            .Key("first_minute")
            .Value(MinuteText(e.firstMinute))
            .Key("last_minute")
            .Value(MinuteText(e.lastMinute))
            .Key("memo")
            .Value(e.memo)
            .Key("utc_offset_first")
            .Value(platform::OffsetText(e.firstOffset))
            .Key("utc_offset_last")
            .Value(platform::OffsetText(e.lastOffset));
        Minutes(json, "repeated_minutes", e.repeatedMinutes);
        json.Key("problems").OpenList();
        for (const std::string& problem : e.problems)
            json.Value(problem);
        json.CloseList();
        json.Key("cameras").OpenList();
        for (const Camera& c : e.cameras)
            CameraJson(json, c);
        json.CloseList().Close();
    }
    json.CloseList();
    json.Key("files").OpenList();
    for (const auto& [path, digest] : f.files)
        json.Open()
            .Key("path")
            .Value(path)
            .Key("size")
            .Value(digest.length)
            .Key("sha256")
            .Value(digest.hex)
            .Close();
    json.CloseList();
    json.Key("keys").OpenList();
    for (const auto& [signs, fingerprint] : f.keys)
        json.Open().Key("signs").Value(signs).Key("fingerprint").Value(fingerprint).Close();
    json.CloseList();
    json.Key("copies")
        .Open()
        .Key("master")
        .Value(
            "the native image: the recorder's minute files as recorded, with index files "
            "rebuilt for the chosen cameras")
        .Key("working")
        .OpenList();
    for (const std::string& mp4 : f.workingCopies)
        json.Value(mp4);
    json.CloseList();
    json.Key("signed_parts").OpenList();
    for (const auto& [path, digest] : f.signedParts)
        json.Open().Key("path").Value(path).Key("sha256").Value(digest).Close();
    json.CloseList().Close();
    json.Key("verify").OpenList();
    for (const std::string& step : VerifySteps(!f.keys.empty()))
        json.Value(step);
    json.CloseList().Close();
    return json.text();
}

}  // namespace exhibit
