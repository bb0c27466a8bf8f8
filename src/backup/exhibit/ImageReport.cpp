#include "backup/exhibit/ImageReport.h"

#include <algorithm>
#include <cstdlib>

#include "backup/exhibit/ExhibitReport.h"
#include "backup/exhibit/JsonValue.h"
#include "backup/exhibit/ReportNames.h"
#include "backup/exhibit/ReportedClock.h"
#include "integrity/Manifest.h"
#include "integrity/Signing.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace exhibit {
namespace {

// What the backup's own report said that the image's files cannot say again.
void TakeRecorded(const JsonValue& r, Facts& f) {
    const JsonValue& c = r["case"];
    f.caseDetails = {c["reference"].String(), c["exhibit"].String(), c["operator"].String()};
    f.machine = r["exporter"]["machine"].String();
    f.program = r["exporter"]["program"].String();
    f.madeUtc = r["made"].String();
    const JsonValue& rec = r["recorder"];
    f.recorder.name = rec["name"].String();
    f.recorder.address = rec["address"].String();
    f.recorder.zone = rec["zone"].String();
    f.recorder.clock = ClockOfReport(r);
    for (const JsonValue& part : r["copies"]["signed_parts"].items)
        if (!part["path"].String().empty() && part["sha256"].String().size() == 64)
            f.signedParts[part["path"].String()] = part["sha256"].String();
}

int MinuteOf(const std::string& text) {
    return text.size() == 5 && text[2] == ':'
               ? std::atoi(text.c_str()) * 60 + std::atoi(text.c_str() + 3)
               : -1;
}

// What the backup found damaged in the recording and could not copy: said by its report, as the
// image holds nothing of it.
void TakeDamage(const JsonValue& r, Entry& e) {
    for (const JsonValue& was : r["entries"].items) {
        if (was["folder"].String() != e.folder)
            continue;
        for (const JsonValue& problem : was["problems"].items)
            e.problems.push_back(problem.String());
        for (const JsonValue& camera : was["cameras"].items)
            for (Camera& c : e.cameras) {
                if (camera["number"].number != c.number)
                    continue;
                for (const JsonValue& minute : camera["damaged_minutes"].items) {
                    const int m = MinuteOf(minute.String());
                    if (m < 0 || std::find(c.damagedMinutes.begin(), c.damagedMinutes.end(), m) !=
                                     c.damagedMinutes.end())
                        continue;
                    std::erase(c.missingMinutes, m);
                    c.damagedMinutes.insert(
                        std::upper_bound(c.damagedMinutes.begin(), c.damagedMinutes.end(), m), m);
                }
            }
    }
}

}  // namespace

std::string FactsOfImage(const std::string& rootHost, Facts& f) {
    std::string text;
    if (!platform::ReadWholeFile(rootHost + "/" + integrity::kManifestName, text, 64 << 20))
        return std::string("the image has no readable ") + integrity::kManifestName;
    integrity::Manifest manifest;
    if (const std::string bad = integrity::ParseManifest(text, manifest); !bad.empty())
        return std::string(integrity::kManifestName) + " cannot be read: " + bad;
    std::string recorded;
    JsonValue report;
    const std::string reportName = ListedReportJson(manifest);
    if (!reportName.empty() &&
        platform::ReadWholeFile(rootHost + "/" + reportName, recorded, 64 << 20)) {
        // What the backup recorded is taken only as the manifest vouches for it: a report
        // changed since would have its words stated again as the backup's.
        if (!ListedAs(manifest, reportName, recorded)) {
            f.recorder.clock.detail = "the image's " + reportName +
                                      " does not match its digest in " + integrity::kManifestName +
                                      ": nothing of it is taken";
        } else {
            if (const std::string bad = JsonValue::Parse(recorded, report); !bad.empty())
                return "the image's " + reportName + " cannot be read: " + bad;
            TakeRecorded(report, f);
        }
    } else {
        f.recorder.clock.detail = "the image holds no report of its backup";
    }
    for (const integrity::ManifestLine& line : manifest.lines) {
        if (IsReportFile(line.path))
            continue;
        integrity::FileDigest digest;
        digest.hex = line.hex;
        digest.length = platform::FileLength(rootHost + "/" + line.path);
        f.files[line.path] = digest;
        if (line.path.size() > 4 && line.path.compare(line.path.size() - 4, 4, ".mp4") == 0)
            f.workingCopies.push_back(line.path);
    }
    // The entries the manifest lists files of (a folder may hold those of older images too).
    for (Entry& e : EntriesOfImage(rootHost)) {
        const std::string folder = e.folder + "/";
        const auto first = f.files.lower_bound(folder);
        if (first != f.files.end() && first->first.compare(0, folder.size(), folder) == 0) {
            TakeDamage(report, e);
            f.entries.push_back(std::move(e));
        }
    }
    std::string publicPem;
    if (platform::ReadWholeFile(rootHost + "/" + integrity::kPublicKeyName, publicPem, 65536))
        f.keys.emplace_back(integrity::kManifestName, integrity::Fingerprint(publicPem));
    return std::string();
}

}  // namespace exhibit
