#include "CliCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/CHKLM.h"
#include "backup/pass/BackupPackage.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/KeptCase.h"
#include "backup/schedule/ScheduleCommands.h"
#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"
#include "records/CameraList.h"
#include "storage/RecordedDays.h"
#include "storage/RecorderPaths.h"

namespace {

bool AllDigits(const std::string& s, std::size_t n) {
    return s.size() == n &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Day(const CliArgs& a, std::size_t at) {
    if (a.positional.size() <= at || !AllDigits(a.positional[at], 8))
        throw UsageError{"a day is eight digits YYYYMMDD"};
    return a.positional[at];
}

// "HHMM" as the two texts of the hour and minute fields.
std::pair<std::string, std::string> Time(const CliArgs& a, std::size_t at) {
    if (a.positional.size() <= at || !AllDigits(a.positional[at], 4))
        throw UsageError{"a time is four digits HHMM"};
    const std::string t = a.positional[at];
    if (std::atoi(t.substr(0, 2).c_str()) > 23 || std::atoi(t.substr(2, 2).c_str()) > 59)
        throw UsageError{"no such time: " + t};
    return {t.substr(0, 2), t.substr(2, 2)};
}

// The numbers of the set flags, counted from first, with runs as "00-09" when runs is true:
// "00-09,15,20-22"; "-" for none.
std::string Numbers(const DWORD* flags, int count, int first, bool runs) {
    const auto two = [first](int n) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d", n + first);
        return std::string(buf);
    };
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (!flags[i])
            continue;
        int j = i;
        while (runs && j + 1 < count && flags[j + 1])
            ++j;
        out += (out.empty() ? "" : ",") + two(i) + (i == j ? "" : "-" + two(j));
        i = j;
    }
    return out.empty() ? "-" : out;
}

// An entry as add and list show it: its label, size and cameras, and its memo when asked.
void PrintEntry(const backup::ListedEntry& e, bool memo) {
    const bool held = e.slot >= 0;
    std::printf("%s  %u KB  %s  cameras %s%s%s\n", e.label.c_str(), held ? e.record.nSize : 0,
                held && e.record.bAllCam ? "all cameras" : "selected cameras",
                held ? Numbers(e.record.bCam, kMaxCameras, 1, false).c_str() : "-",
                memo && !e.memo.empty() ? "  memo: " : "", memo ? Printable(e.memo).c_str() : "");
}

// Where the recordings are, for the operator.
std::string RecordingsPlace(const CliSession& s) {
    if (s.remote) {
        const backup::HostSettings host = s.session.Host();
        return "the recorder at " + host.serverAddress + ":" + std::to_string(host.port);
    }
    return GetStoragePath();
}

// The day as the dialog chooses it; a remote recorder's answer is waited for. True when the
// day holds recordings; false, having said so, when it has none. A request that failed is no
// empty day: it says why, and nothing more.
bool ChooseDay(CliSession& s, const std::string& day) {
    const backup::LoadedDay loaded = s.session.LoadDay(day);
    switch (loaded.answer) {
        case backup::DayAnswer::kRecorded:
            return true;
        case backup::DayAnswer::kEmpty:
            std::fprintf(stderr, "no recordings of %s on %s\n", day.c_str(),
                         RecordingsPlace(s).c_str());
            return false;
        case backup::DayAnswer::kNoAnswer:
            return Refuse(RecordingsPlace(s) + " did not answer");
        case backup::DayAnswer::kTrouble:
            return Refuse(loaded.why);
    }
    return false;
}

// The recordings root, or why it cannot be reached.
bool RecordingsReachable(const CliSession& s) {
    if (s.remote)
        return true;  // the server says when it cannot be reached
    const std::string missing = platform::MissingDriveText(GetStoragePath());
    return missing.empty() || Refuse("the recordings' " + missing);
}

// What the schedule's commands on a named entry say when none is listed by that name.
bool Named(const backup::CommandResult& r, const std::string& name) {
    if (r == backup::ScheduleEditor::kNoSuchEntry)
        Fail("no entry \"" + name +
             "\" in the schedule; give its label as list shows it, or its entry string");
    return r.done();
}

void NoteMemoCut(const std::string& memo) {
    if (MemoLength(memo) < memo.size())
        Fail("the memo holds " + std::to_string(memo.size()) + " bytes; it was cut to " +
             std::to_string(MemoLength(memo)));
}

}  // namespace

void NoteInfoProblem(const backup::ListedEntry& entry) {
    // An entry without its record is no entry without a memo: say so.
    if (!entry.infoProblem.empty())
        Fail(entry.label + ": the information file " + entry.infoProblem +
             "; its memo is not known");
}

int CmdDays(CliSession& s, const CliArgs&) {
    if (!RecordingsReachable(s))
        return 1;
    platform::Expected<share::RecorderDays> asked =
        s.remote ? s.remote->Days()
                 : share::RecorderDays{storage::ListRecordedDays(GetStoragePath()), ""};
    const std::vector<std::string> days = asked ? asked->days : std::vector<std::string>();
    for (const auto& d : days)
        std::printf("%s\n", d.c_str());
    const std::string problem = asked ? "" : asked.error().Said();
    if (days.empty())
        std::fprintf(stderr, "no recorded day %s %s%s%s\n", s.remote ? "on" : "below",
                     RecordingsPlace(s).c_str(), problem.empty() ? "" : ": ", problem.c_str());
    return asked ? 0 : 1;
}

int CmdDay(CliSession& s, const CliArgs& a) {
    const std::string day = Day(a, 0);
    if (!RecordingsReachable(s))
        return 1;
    if (!ChooseDay(s, day))
        return 1;
    const backup::DaySelection chosen = s.session.Day();
    std::printf("%s cameras %s\n", day.c_str(),
                Numbers(chosen.camExist, kMaxCameras, 1, false).c_str());
    for (int h = 0; h < 24; ++h) {
        if (!chosen.hourHasRec[h])
            continue;
        DWORD cams[kMaxCameras] = {};
        for (int c = 0; c < kMaxCameras; ++c)
            for (int m = 0; m < 60; ++m)
                if (chosen.recMap[static_cast<std::size_t>(c) * 1440 + h * 60 + m])
                    cams[c] = 1;
        std::printf("%02d minutes %s cameras %s\n", h,
                    Numbers(chosen.minuteHasRec + h * 60, 60, 0, true).c_str(),
                    Numbers(cams, kMaxCameras, 1, false).c_str());
    }
    return 0;
}

int CmdAdd(CliSession& s, const CliArgs& a) {
    backup::Session& session = s.session;
    const std::string day = Day(a, 0);
    const auto [sh, sm] = Time(a, 1);
    const auto [eh, em] = Time(a, 2);
    if (a.cams.empty())
        throw UsageError{"--cams is required: camera numbers 1-64, or all"};
    if (!RecordingsReachable(s))
        return 1;
    if (!ChooseDay(s, day))
        return 1;
    const backup::TimeFields range{sh, sm, eh, em};
    session.ChooseRange(range);
    const auto cameras = ParseCameraList(a.cams);
    if (!cameras)
        throw UsageError{cameras.error().Said()};
    const backup::CameraRefusal refusal = session.SelectCameras(*cameras);
    if (refusal.kind == backup::CameraRefusal::Kind::kBeyondCount) {
        std::fprintf(stderr, "camera %d is beyond the camera count %d\n", refusal.camera,
                     session.Host().camCount);
        return 1;
    }
    if (refusal.refused()) {
        std::fprintf(stderr, "camera %d has no recordings between %s:%s and %s:%s\n",
                     refusal.camera, sh.c_str(), sm.c_str(), eh.c_str(), em.c_str());
        return 1;
    }
    if (a.hasMemo) {
        NoteMemoCut(a.memo);
        session.MemoEdited(a.memo);
    }
    switch (session.AddEntryAndWait(range)) {
        case backup::AddAnswer::kAdded:
            break;
        case backup::AddAnswer::kRefused:
            return 1;
        case backup::AddAnswer::kNoAnswer:
            return Fail(RecordingsPlace(s) + " did not answer");
    }
    const std::string label =
        EntryToLabel(MakeEntryString(day, sh, sm, eh, em), session.Host().dateType);
    const backup::ScheduleListing listing = session.Schedule();
    const backup::ListedEntry* e = listing.Held(label);
    if (!e)
        return 1;
    PrintEntry(*e, false);
    std::printf("%s\n", listing.totalText.c_str());
    return 0;
}

int CmdList(CliSession& s, const CliArgs&) {
    const backup::ScheduleListing listing = s.session.Schedule();
    for (const backup::ListedEntry& e : listing.entries) {
        NoteInfoProblem(e);
        PrintEntry(e, true);
    }
    std::printf("%zu entries, %s\n", listing.entries.size(), listing.totalText.c_str());
    return 0;
}

int CmdDelete(CliSession& s, const CliArgs& a) {
    if (a.positional.empty())
        throw UsageError{"delete takes the entry's label, as list shows it, or its entry string"};
    const int row = s.session.RowNamed(a.positional[0]);
    const std::string label =
        row < 0 ? a.positional[0]
                : s.session.Schedule().entries[static_cast<std::size_t>(row)].label;
    if (!Named(s.session.DeleteEntry(a.positional[0]), a.positional[0]))
        return 1;
    std::printf("deleted %s\n%s\n", label.c_str(), s.session.Schedule().totalText.c_str());
    return 0;
}

int CmdCase(CliSession& s, const CliArgs& a) {
    if (!a.positional.empty())
        throw UsageError{"case takes --case, --exhibit, --operator or --clear, no other word"};
    const exhibit::CaseDetails& given = a.caseDetails;
    const bool giving =
        !given.caseReference.empty() || !given.exhibitNumber.empty() || !given.operatorName.empty();
    if (giving && a.clear)
        throw UsageError{"case takes --clear alone"};
    if (giving || a.clear) {
        const exhibit::CaseDetails kept =
            a.clear ? exhibit::CaseDetails{}
                    : backup::CaseGivenOverKept(given, s.session.KeptCase());
        if (!s.session.KeepCase(kept))
            return Fail("the case cannot be kept in the working folder");
    }
    const exhibit::CaseDetails now = s.session.KeptCase();
    std::printf("case: %s\nexhibit: %s\noperator: %s\n", Printable(now.caseReference).c_str(),
                Printable(now.exhibitNumber).c_str(), Printable(now.operatorName).c_str());
    return 0;
}

int CmdMemo(CliSession& s, const CliArgs& a) {
    if (a.positional.size() < 2)
        throw UsageError{"memo takes the entry's label (or entry string) and the text"};
    if (s.session.RowNamed(a.positional[0]) >= 0)
        NoteMemoCut(a.positional[1]);
    return Named(s.session.UpdateMemo(a.positional[0], a.positional[1]), a.positional[0]) ? 0 : 1;
}
