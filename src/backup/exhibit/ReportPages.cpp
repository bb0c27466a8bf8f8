#include <cstdio>

#include "backup/exhibit/ExhibitReport.h"
#include "platform/TimeZone.h"

namespace exhibit {
namespace {

using Doc = ports::ExhibitDocument;

// "none" or the minutes, runs of them joined ("10:03-10:05, 10:09").
std::string MinuteRuns(const std::vector<int>& minutes) {
    if (minutes.empty())
        return "none";
    std::string text;
    for (std::size_t i = 0; i < minutes.size();) {
        std::size_t end = i;
        while (end + 1 < minutes.size() && minutes[end + 1] == minutes[end] + 1)
            ++end;
        if (!text.empty())
            text += ", ";
        text += MinuteText(minutes[i]);
        if (end > i)
            text += "-" + MinuteText(minutes[end]);
        i = end + 1;
    }
    return text;
}

std::string Or(const std::string& text, const char* otherwise) {
    return text.empty() ? otherwise : text;
}

std::string ClockText(const ClockCheck& c) {
    char text[160];
    if (c.method == "link")
        std::snprintf(text, sizeof text,
                      "%+.3f s against this machine, within %.3f s (measured over the link)",
                      c.offsetSeconds, c.uncertaintySeconds);
    else if (c.method == "kernel")
        std::snprintf(text, sizeof text, "this machine's clock, %s (maximum error %.3f s)",
                      c.synchronised ? "synchronised" : "NOT synchronised", c.uncertaintySeconds);
    else
        std::snprintf(text, sizeof text, "not measured");
    return c.detail.empty() ? text : std::string(text) + "; " + c.detail;
}

Doc::Section EntrySection(const Entry& e) {
    Doc::Section s;
    s.title = "Entry " + e.folder;
    Doc::Facts facts;
    facts.rows = {{"Day", e.day.substr(0, 4) + "-" + e.day.substr(4, 2) + "-" + e.day.substr(6, 2)},
                  {"Minutes", MinuteText(e.firstMinute) + " to " + MinuteText(e.lastMinute) +
                                  " (recorder's clock)"},
                  {"UTC offset", platform::OffsetText(e.firstOffset) + " at the first minute, " +
                                     platform::OffsetText(e.lastOffset) + " at the last"},
                  {"Shown twice by the clock", MinuteRuns(e.repeatedMinutes)},
                  {"Memo", Or(e.memo, "(none)")}};
    for (const std::string& problem : e.problems)
        facts.rows.emplace_back("Not copied", problem);
    s.blocks.emplace_back(std::move(facts));
    Doc::Table cameras;
    cameras.header = {"Camera",       "Pictures", "First recorded", "Last recorded",
                      "No recording", "Damaged",  "Audio minutes"};
    for (const Camera& c : e.cameras)
        cameras.rows.push_back(
            {std::to_string(c.number) + (c.name.empty() ? "" : " " + c.name),
             std::to_string(c.pictures),
             ReadingText(c.firstReading) + " (" + ReadingUtc(c.firstReading) + ")",
             ReadingText(c.lastReading) + " (" + ReadingUtc(c.lastReading) + ")",
             MinuteRuns(c.missingMinutes), MinuteRuns(c.damagedMinutes),
             std::to_string(c.audioMinutes)});
    s.blocks.emplace_back(std::move(cameras));
    Doc::Pictures pictures;
    for (const Camera& c : e.cameras) {
        const std::string who = "camera " + std::to_string(c.number);
        pictures.pictures.push_back({c.firstJpeg, who + ", first: " + ReadingText(c.firstReading)});
        pictures.pictures.push_back({c.lastJpeg, who + ", last: " + ReadingText(c.lastReading)});
    }
    if (!pictures.pictures.empty())
        s.blocks.emplace_back(std::move(pictures));
    return s;
}

}  // namespace

std::vector<std::string> VerifySteps(bool signedImage) {
    std::vector<std::string> steps = {
        "Every file of the image is listed in SHA256SUMS with its SHA-256. In the image folder, "
        "run: sha256sum -c SHA256SUMS (every line must say OK).",
    };
    if (signedImage)
        steps.push_back(
            "SHA256SUMS is signed with the key in SHA256SUMS.pub (its fingerprint is above). Run: "
            "openssl pkeyutl -verify -pubin -inkey SHA256SUMS.pub -rawin -in SHA256SUMS "
            "-sigfile SHA256SUMS.sig (it must say Signature Verified Successfully), and compare "
            "the key's fingerprint with the one the exporting site gives you.");
    steps.push_back(
        "With Quillon Backup: quillon-cli verify IMAGE-FOLDER checks the files, the signature and "
        "(with --deep) every minute's index.");
    return steps;
}

ports::ExhibitDocument ReportPages(const Facts& f) {
    Doc doc;
    doc.title = "Exhibit report";
    doc.subtitle = "Case " + Or(f.caseDetails.caseReference, "(none given)") + ", exhibit " +
                   Or(f.caseDetails.exhibitNumber, "(none given)");
    doc.footer = f.program + ", made " + f.madeUtc;
    Doc::Section about;
    about.title = "The exhibit";
    Doc::Facts facts;
    facts.rows = {{"Case reference", Or(f.caseDetails.caseReference, "(none given)")},
                  {"Exhibit", Or(f.caseDetails.exhibitNumber, "(none given)")},
                  {"Operator", Or(f.caseDetails.operatorName, "(none given)")},
                  {"Made (UTC)", f.madeUtc},
                  {"Exporting machine", f.machine},
                  {"Program", f.program},
                  {"Recorder", f.recorder.name},
                  {"Recorder's time zone", f.recorder.zone},
                  {"Recorder's clock", ClockText(f.recorder.clock)}};
    for (const auto& [signs, fingerprint] : f.keys)
        facts.rows.emplace_back("Key signing " + signs, fingerprint);
    about.blocks.emplace_back(std::move(facts));
    about.blocks.emplace_back(Doc::Text{
        "The master copy is this native image: the recorder's minute files as recorded, with "
        "their index files rebuilt for the chosen cameras. " +
        std::string(f.workingCopies.empty()
                        ? "It holds no working copies."
                        : "The MP4 files listed below are working copies made from it; where "
                          "they differ, the master holds.")});
    doc.sections.push_back(std::move(about));
    for (const Entry& e : f.entries)
        doc.sections.push_back(EntrySection(e));
    if (!f.workingCopies.empty()) {
        Doc::Section copies;
        copies.title = "Working copies";
        Doc::Table table;
        table.header = {"MP4 file"};
        table.fixed = {true};
        for (const std::string& mp4 : f.workingCopies)
            table.rows.push_back({mp4});
        copies.blocks.emplace_back(std::move(table));
        doc.sections.push_back(std::move(copies));
    }
    Doc::Section files;
    files.title = "Files and their SHA-256";
    Doc::Table table;
    table.header = {"File", "Bytes", "SHA-256"};
    table.fixed = {true, false, true};
    for (const auto& [path, digest] : f.files)
        table.rows.push_back({path, std::to_string(digest.length), digest.hex});
    files.blocks.emplace_back(std::move(table));
    doc.sections.push_back(std::move(files));
    Doc::Section verify;
    verify.title = "How to verify";
    for (const std::string& step : VerifySteps(!f.keys.empty()))
        verify.blocks.emplace_back(Doc::Text{step});
    doc.sections.push_back(std::move(verify));
    return doc;
}

}  // namespace exhibit
