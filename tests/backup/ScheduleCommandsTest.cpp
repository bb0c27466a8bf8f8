// The schedule's commands and what they keep in the working folder: Add and its refusals, the
// camera pages, Select all and cameras chosen by number, pick, delete and the memo, the names of
// entries, the list's order, the listing a front end reads, the day map and reserve.dat as they
// are read back (also as another program rewrote it during a pass), and the estimate of a new
// entry over minutes written by hand.
#include "backup/schedule/ScheduleCommands.h"

#include <cstring>
#include <filesystem>
#include <numeric>

#include "PassTest.h"
#include "backup/pass/BackupReport.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleListing.h"
#include "companions/CppSQLite3.h"
#include "records/ScheduleEntry.h"
#include "share/Has.h"
#include "storage/MinuteCopy.h"
#include "storage/RecorderPaths.h"

namespace fs = std::filesystem;

class ScheduleCommandsTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        Record("20100512", 8 * 60 + 5);
    }
    // Four cameras of day in C:\QorData from 08:00 to minute last, the day chosen.
    void Record(const char* day, int last) {
        mkrec::MakeRecordings({.root = "C:\\QorData",
                               .days = {day},
                               .firstMinute = 480,
                               .lastMinute = last,
                               .width = 16,
                               .height = 16});
        ctx.m_chooser.SelectBackupDay(day);
    }
    std::string Reserved() { return driveC() + "/Prog/Reserved"; }
};

TEST_F(ScheduleCommandsTest, AddRefusesInItsOrderAndWritesNothingWhenItDoes) {
    ctx.m_run.running = 1;
    EXPECT_EQ(ctx.m_editor.OnAdd(view.Range()), "M010004");
    ctx.m_run.running = 0;
    EXPECT_EQ(ctx.m_editor.OnAdd({"08", "", "08", "05"}), "M010005");
    EXPECT_EQ(ctx.m_editor.OnAdd({"08", "00", "08", ""}), "M010006");
    EXPECT_EQ(AddRange("08", "03", "08", "01", {0}), "M010007");
    EXPECT_EQ(AddRange("08", "00", "08", "05", {}), "M010008");
    EXPECT_FALSE(fs::exists(Reserved() + "/2010_05_12=08,00~08,05"));
    EXPECT_EQ(view.messages.back().text, "Select at least one camera.");

    ASSERT_EQ(AddRange("08", "00", "08", "05", {1}), "");
    EXPECT_EQ(AddRange("08", "00", "08", "05", {2, 3}), "M010009");  // same range, other cameras
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);

    // Nothing recorded in the range: no entry folder is left behind, no slot is taken.
    Choose("09", "00", "09", "10", {0});
    ctx.m_day.camSel[0] = 1;
    EXPECT_EQ(ctx.m_editor.OnAdd(view.Range()), "M010002");
    EXPECT_FALSE(fs::exists(Reserved() + "/2010_05_12=09,00~09,10"));
    EXPECT_EQ(ctx.m_schedule.table[1].bUsed, 0u);

    // A full schedule: refused without overwriting a slot.
    for (int i = 0; i < kScheduleSlots; ++i) {
        ctx.m_schedule.table[static_cast<std::size_t>(i)].bUsed = 1;
        std::snprintf(ctx.m_schedule.table[static_cast<std::size_t>(i)].szStart, 15, "2001%08d", i);
    }
    const ScheduleTable before = ctx.m_schedule.table;
    EXPECT_EQ(AddRange("08", "01", "08", "04", {0}), "M010050");
    EXPECT_EQ(std::memcmp(before.data(), ctx.m_schedule.table.data(), sizeof before), 0);
    EXPECT_FALSE(fs::exists(Reserved() + "/2010_05_12=08,01~08,04"));
}

// Cameras chosen by number are held to what their boxes allow: none past the camera count, none
// without recordings in the range; a refusal selects nothing, a choice selects exactly those.
TEST_F(ScheduleCommandsTest, CamerasChosenByNumberAreThoseWhoseBoxesCouldBeTicked) {
    using Kind = backup::CameraRefusal::Kind;
    ctx.m_host.camCount = 8;
    ctx.m_chooser.SetTimeRange({"08", "00", "08", "05"});
    ctx.m_day.camSel[6] = 1;
    const backup::CameraRefusal beyond = ctx.m_chooser.SelectCameras({2, 9});
    EXPECT_EQ(beyond.kind, Kind::kBeyondCount);
    EXPECT_EQ(beyond.camera, 9);
    const backup::CameraRefusal silent = ctx.m_chooser.SelectCameras({1, 5});
    EXPECT_EQ(silent.kind, Kind::kNoRecordings);  // four cameras recorded
    EXPECT_EQ(silent.camera, 5);
    EXPECT_EQ(ctx.m_day.camSel[0], 0u);
    ASSERT_FALSE(ctx.m_chooser.SelectCameras({4, 2}).refused());
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(ctx.m_day.camSel[c] != 0, c == 1 || c == 3) << c;
    const auto& cameras = ctx.m_cameraPage.cameras;
    EXPECT_TRUE(cameras[1].selected && cameras[3].selected && !cameras[6].selected);
}

TEST_F(ScheduleCommandsTest, AddFillsTheSlotTheMinuteMapAndReserveDat) {
    Choose("08", "00", "08", "00", {0, 1, 2, 3});  // a single minute, every recorded camera
    ctx.m_editor.OnChangeMemo("typed before Add");
    ASSERT_EQ(ctx.m_editor.OnAdd(view.Range()), "");
    const ScheduleEntry& e = ctx.m_schedule.table[0];
    EXPECT_EQ(e.bUsed, 1u);
    EXPECT_EQ(e.bPending, 1u);
    EXPECT_STREQ(e.szStart, "201005120800");
    EXPECT_STREQ(e.szEnd, "201005120800");
    EXPECT_EQ(e.bAllCam, 1u);
    EXPECT_EQ(e.nSize, ctx.m_schedule.totalKB);
    EXPECT_GT(e.nSize, 3000u);
    EXPECT_EQ(ctx.m_day.selCamCount, 0);
    EXPECT_EQ(ctx.m_schedule.rows, std::vector<std::string>{"2010-05-12 - 08:00 ~ 08:00"});
    EXPECT_EQ(ReadText(Reserved() + "/reserve.dat").size(), 24400u);
    const std::string map = ReadText(Reserved() + "/2010_05_12=08,00~08,00/20100512/20100512.DAT");
    ASSERT_EQ(map.size(), 92164u);
    EXPECT_EQ(std::accumulate(map.begin(), map.end(), 0), 4);
    EXPECT_HAS(ReadText(Reserved() + "/2010_05_12=08,00~08,00/BackupInfo.dat"), "typed before Add");

    // One camera fewer: not an all-camera entry.
    ASSERT_EQ(AddRange("08", "01", "08", "02", {0, 1, 2}), "");
    EXPECT_EQ(ctx.m_schedule.table[1].bAllCam, 0u);
    EXPECT_EQ(ctx.m_schedule.table[1].bCam[3], 0u);
}

TEST_F(ScheduleCommandsTest, PickDeleteAndTheMemo) {
    EXPECT_EQ(ctx.m_editor.OnSelchangeSchedule(-1), "M010018");
    EXPECT_FALSE(view.memoEditable);
    EXPECT_EQ(ctx.m_editor.OnDelete(), "M010018");

    ASSERT_EQ(AddRange("08", "00", "08", "01", {1}), "");
    ASSERT_EQ(AddRange("08", "02", "08", "03", {0, 2}), "");
    const DWORD total = ctx.m_schedule.totalKB;

    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(1), "");  // 08:02 ~ 08:03
    EXPECT_EQ(ctx.m_day.camSel[0] + ctx.m_day.camSel[1] + ctx.m_day.camSel[2], 2u);
    EXPECT_TRUE(view.page.cameras[2].selected);
    EXPECT_TRUE(view.entryPicked);
    ctx.m_editor.OnChangeMemo(std::string(300, 'm'));  // the field keeps 250 characters
    ASSERT_EQ(ctx.m_editor.OnUpdateMemo(), "");
    EXPECT_EQ(ctx.m_editor.OnUpdateMemo(), "M010018");  // the pick is gone
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(1), "");
    EXPECT_EQ(view.memo, std::string(250, 'm'));

    view.answerYes = false;
    EXPECT_EQ(ctx.m_editor.OnDelete(), "M010019");
    EXPECT_EQ(ctx.m_schedule.rows.size(), 2u);
    view.answerYes = true;
    const DWORD second = ctx.m_schedule.table[1].nSize;
    ASSERT_EQ(ctx.m_editor.OnDelete(), "");
    EXPECT_EQ(ctx.m_schedule.totalKB, total - second);
    EXPECT_FALSE(fs::exists(Reserved() + "/2010_05_12=08,02~08,03"));
    EXPECT_EQ(ctx.m_schedule.table[1].bUsed, 0u);
    EXPECT_TRUE(fs::exists(Reserved() + "/reserve.dat"));

    // The list survives a restart through reserve.dat.
    BackupContext again(app, view);
    again.m_host.basePath = ctx.m_host.basePath;
    LoadScheduleTable(again.m_host, again.m_schedule, again.m_prompts);
    again.m_editor.FillScheduleList();
    EXPECT_EQ(again.m_schedule.rows, ctx.m_schedule.rows);
    EXPECT_EQ(again.m_schedule.totalKB, ctx.m_schedule.totalKB);

    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");
    ASSERT_EQ(ctx.m_editor.OnDelete(), "");
    EXPECT_FALSE(fs::exists(Reserved()));  // the last entry takes the folder with it
    EXPECT_EQ(ctx.m_schedule.totalKB, 0u);
    EXPECT_EQ(view.totalSize, "Total 0.0 KByte");
}

// An entry is named by its label exactly as the list shows it or by its entry string, never by
// a beginning of either; a name the list does not hold deletes and changes nothing.
TEST_F(ScheduleCommandsTest, AnEntryIsNamedExactlyAndNeverByItsBeginning) {
    ASSERT_EQ(AddRange("08", "00", "08", "05", {0}), "");
    ASSERT_EQ(AddRange("08", "02", "08", "04", {1}), "");
    const std::string first = ctx.m_schedule.rows[0], second = ctx.m_schedule.rows[1];
    for (const std::string& partial :
         {std::string("2010"), first.substr(0, 10), first.substr(0, first.size() - 1),
          std::string("2010_05_12=08,0"), std::string("2010_05_12=08,00~08,0")}) {
        SCOPED_TRACE(partial);
        EXPECT_EQ(ctx.m_editor.RowNamed(partial), -1);
        EXPECT_EQ(ctx.m_editor.DeleteEntry(partial), backup::ScheduleEditor::kNoSuchEntry);
        EXPECT_EQ(ctx.m_editor.UpdateMemo(partial, "x"), backup::ScheduleEditor::kNoSuchEntry);
    }
    EXPECT_EQ(ctx.m_schedule.rows.size(), 2u);
    EXPECT_EQ(ctx.m_editor.RowNamed("2010_05_12=08,02~08,04"), 1);
    ASSERT_EQ(ctx.m_editor.UpdateMemo("2010_05_12=08,02~08,04", "by its entry string"), "");
    EXPECT_HAS(ReadText(Reserved() + "/2010_05_12=08,02~08,04/BackupInfo.dat"),
               "by its entry string");
    ASSERT_EQ(ctx.m_editor.DeleteEntry(first), "");
    EXPECT_EQ(ctx.m_schedule.rows, std::vector<std::string>{second});
    EXPECT_FALSE(fs::exists(Reserved() + "/2010_05_12=08,00~08,05"));
}

// A program that ignores the lock rewrote reserve.dat during a pass, adding an entry: the pass's
// end keeps that entry and its folder, drops only what the pass made whole, and says so.
TEST_F(ScheduleCommandsTest, AScheduleRewrittenDuringAPassKeepsWhatTheOtherProgramAdded) {
    const std::string other = prefix() + "/other", added = "/2010_05_12=08,03~08,04";
    ASSERT_EQ(AddRange("08", "00", "08", "01", {0}), "");
    ASSERT_EQ(AddRange("08", "03", "08", "04", {1}), "");
    fs::copy(Reserved(), other, fs::copy_options::recursive);  // the other program's schedule
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(1), "");
    view.answerYes = true;
    ASSERT_EQ(ctx.m_editor.OnDelete(), "");
    fs::copy(other + added, Reserved() + added, fs::copy_options::recursive);
    fs::copy_file(other + "/reserve.dat", Reserved() + "/reserve.dat",
                  fs::copy_options::overwrite_existing);
    BackupReport report;
    report.EntryDone(0, true);
    ctx.m_editor.ClearAfterPass(report, true);
    EXPECT_EQ(ctx.m_schedule.rows, std::vector<std::string>{"2010-05-12 - 08:03 ~ 08:04"});
    EXPECT_TRUE(fs::exists(Reserved() + added + "/BackupInfo.dat"));
    EXPECT_FALSE(fs::exists(Reserved() + "/2010_05_12=08,00~08,01"));
    EXPECT_HAS(LastMessage(), "was changed by another program during the backup");
}

TEST_F(ScheduleCommandsTest, DateTypesSortTheListByTheirCharacters) {
    ctx.m_host.dateType = 1;  // day first
    for (const char* day : {"20100512", "20100611"}) {
        Record(day, 8 * 60);
        ASSERT_EQ(AddRange("08", "00", "08", "00", {0}), "");
    }
    EXPECT_EQ(ctx.m_schedule.rows, (std::vector<std::string>{"11-06-2010 - 08:00 ~ 08:00",
                                                             "12-05-2010 - 08:00 ~ 08:00"}));
}

TEST_F(ScheduleCommandsTest, AListedEntryCarriesItsRecordMemoAndModelOrWhyItsFileCannotSay) {
    ctx.m_host.modelCode = 0x671;
    Choose("08", "00", "08", "05", {1, 3});
    ctx.m_editor.OnChangeMemo("gate 2");
    ASSERT_EQ(ctx.m_editor.OnAdd(view.Range()), "");
    ctx.m_host.modelCode = 0x672;  // the file's model is the one the entry was made with
    backup::ScheduleListing listing = ctx.Schedule();
    ASSERT_EQ(listing.entries.size(), 1u);
    const backup::ListedEntry& e = listing.entries[0];
    EXPECT_EQ(e.label, ctx.m_schedule.rows[0]);
    ASSERT_GE(e.slot, 0);
    EXPECT_EQ(e.record.bCam[1], 1u);
    EXPECT_EQ(e.record.bCam[0], 0u);
    EXPECT_EQ(e.record.nSize, ctx.m_schedule.table[static_cast<std::size_t>(e.slot)].nSize);
    EXPECT_EQ(listing.totalKB, ctx.m_schedule.totalKB);
    EXPECT_FALSE(listing.totalText.empty());
    EXPECT_EQ(e.memo, "gate 2");
    EXPECT_EQ(e.model, 0x671u);
    EXPECT_EQ(e.infoProblem, "");

    // The file cut short, then gone: no memo, the host's model, and which of the two it is.
    const std::string info = paths::WorkingInfoPath(ctx.m_host.basePath, "2010_05_12=08,00~08,05");
    const std::string host = platform::ResolvePath(info);
    fs::resize_file(host, 3);
    listing = ctx.Schedule();
    EXPECT_EQ(listing.entries[0].memo, "");
    EXPECT_EQ(listing.entries[0].model, 0x672u);
    EXPECT_EQ(listing.entries[0].infoProblem, info + " is damaged");
    fs::remove(host);
    EXPECT_EQ(ctx.Schedule().entries[0].infoProblem, info + " is missing");
    // A row the table does not hold is listed without a slot.
    ctx.m_schedule.rows.push_back("2010/05/23 11:00~11:05");
    EXPECT_EQ(ctx.Schedule().entries.at(1).slot, -1);
}

TEST_F(ScheduleCommandsTest, TheDayMapSetsFlagsOnlyForRecordedMinutes) {
    std::string day(92164, '\0');
    day[2 * 1440 + 10 * 60 + 7] = 5;  // any nonzero byte counts as recorded
    day[0 * 1440 + 23 * 60 + 59] = 1;
    WriteText(driveC() + "/QorData/20100523/20100523.dat", day);
    ctx.m_day = backup::DaySelection();  // nothing of the day the fixture chose
    ctx.m_day.recMap.fill(9);
    ASSERT_TRUE(ScanRecordedDay(ctx.m_host, ctx.m_day, "20100523"));
    EXPECT_EQ(std::accumulate(ctx.m_day.recMap.begin(), ctx.m_day.recMap.end(), 0), 2);
    EXPECT_EQ(ctx.m_day.recMap[2 * 1440 + 10 * 60 + 7], 1);
    EXPECT_TRUE(ctx.m_day.hourHasRec[10] && ctx.m_day.hourHasRec[23] && !ctx.m_day.hourHasRec[11]);
    EXPECT_TRUE(ctx.m_day.minuteHasRec[10 * 60 + 7] && !ctx.m_day.minuteHasRec[10 * 60 + 8]);
    EXPECT_TRUE(ctx.m_day.camExist[0] && ctx.m_day.camExist[2] && !ctx.m_day.camExist[1]);
    EXPECT_FALSE(ScanRecordedDay(ctx.m_host, ctx.m_day, "20100524"));
}

TEST_F(ScheduleCommandsTest, ADamagedScheduleIsShownToTheOperatorAndNotLoaded) {
    ASSERT_EQ(AddRange("08", "00", "08", "01", {0}), "");
    WriteText(Reserved() + "/reserve.dat", std::string(24400, '\x07'));
    ctx.Clear();
    ctx.m_host.basePath = "C:\\Prog\\";
    view.messages.clear();
    EXPECT_FALSE(LoadScheduleTable(ctx.m_host, ctx.m_schedule, ctx.m_prompts));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_HAS(view.messages[0].text, "damaged");
    EXPECT_HAS(view.messages[0].text, "slot 1");
    EXPECT_EQ(ctx.m_schedule.table[0].bUsed, 0u);
    EXPECT_TRUE(fs::exists(Reserved() + "/reserve.dat.damaged"));
}

// The 24-camera recorder pages once and has no camera past the 24th, and a camera's selection
// outlives paging.
TEST_F(ScheduleCommandsTest, TwentyFourCamerasPageOnceAndKeepTheirSelection) {
    ctx.m_host.camCount = 24;
    RecordDay(600, 602, 0, 24);
    ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
    ctx.m_chooser.SetTimeRange({"10", "00", "10", "02"});
    ctx.m_chooser.OnNextPage();
    EXPECT_EQ(ctx.m_day.camPage, 1);
    EXPECT_EQ(view.page.number, "2/2");
    EXPECT_EQ(view.page.cameras[0].name, "17");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(view.page.cameras[i].present, i < 8) << i;
    ctx.m_chooser.OnCameraBox(3);  // camera 20
    EXPECT_EQ(ctx.m_day.camSel[19], 1u);
    ctx.m_chooser.OnNextPage();  // the last page already
    EXPECT_EQ(ctx.m_day.camPage, 1);
    ctx.m_chooser.OnPrevPage();
    EXPECT_EQ(ctx.m_day.camPage, 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(view.page.cameras[i].present) << i;
    ctx.m_chooser.OnNextPage();
    EXPECT_TRUE(view.page.cameras[3].selected);
}

// Select all takes every camera that recorded.
TEST_F(ScheduleCommandsTest, SelectAllTakesEveryCameraThatRecordedInTheRange) {
    ctx.m_host.camCount = 16;
    RecordDay(600, 602, 0, 8);
    ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
    ctx.m_chooser.SetTimeRange({"10", "01", "10", "01"});
    ctx.m_chooser.OnSelectAllCameras();
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(ctx.m_day.camSel[c], c < 8 ? 1u : 0u) << c;
        EXPECT_EQ(view.page.cameras[c].selected, c < 8) << c;
    }
}

// The entry strings and labels themselves, and the minute map of an entry.
TEST(ScheduleEntryTest, LabelsOfEveryDateTypeTurnBackIntoTheEntryString) {
    const std::string entry = "2010_05_12=08,00~09,30";
    const char* labels[9] = {
        "2010-05-12 - 08:00 ~ 09:30", "12-05-2010 - 08:00 ~ 09:30", "05-12-2010 - 08:00 ~ 09:30",
        "2010/05/12 - 08:00 ~ 09:30", "12/05/2010 - 08:00 ~ 09:30", "05/12/2010 - 08:00 ~ 09:30",
        "2010.05.12 - 08:00 ~ 09:30", "12.05.2010 - 08:00 ~ 09:30", "05.12.2010 - 08:00 ~ 09:30"};
    EXPECT_EQ(MakeEntryString("20100512", "08", "00", "09", "30"), entry);
    for (int t = 0; t < 9; ++t) {
        SCOPED_TRACE(t);
        const std::string label = EntryToLabel(entry, t);
        EXPECT_EQ(label, labels[t]);
        EXPECT_EQ(LabelToEntry(label, t), entry);
        EXPECT_EQ(NormalizeLabelSeparators(entry, t), entry);
    }
    EXPECT_EQ(EntryToLabel(entry, 9), "");
    EXPECT_EQ(LabelToEntry(labels[0], -1), "");
    EXPECT_EQ(EntryTimeKey(entry, 0), "201005120800");
    EXPECT_EQ(EntryTimeKey(entry, 1), "201005120930");
    EXPECT_EQ(EntryRangeKey(entry), "2010051208000930");
}

TEST(ScheduleEntryTest, MinuteMapTakesRecordedSelectedMinutesOfTheRangeOnly) {
    ScheduleTable table{};
    ScheduleEntry& e = table[0];
    e.bUsed = 1;
    std::memcpy(e.szStart, "201005120800", 12);
    std::memcpy(e.szEnd, "201005120930", 12);
    e.bCam[0] = e.bCam[2] = 1;
    MinuteMapBlock rec{}, sel{};
    for (int m = 0; m < 1440; ++m) {
        rec[0 * 1440 + m] = 1;
        rec[1 * 1440 + m] = 1;  // recorded, not selected
        rec[2 * 1440 + m] = 2;  // nonzero but not 1: not taken
    }
    sel.fill(7);
    BuildMinuteMap(table, 0, rec, sel);
    EXPECT_EQ(std::accumulate(sel.begin(), sel.end(), 0), 91);
    EXPECT_EQ(sel[8 * 60], 1);
    EXPECT_EQ(sel[9 * 60 + 30], 1);
    EXPECT_EQ(sel[9 * 60 + 31], 0);
    EXPECT_EQ(sel[7 * 60 + 59], 0);

    // A single-minute entry covers exactly that minute.
    std::memcpy(e.szEnd, "201005120800", 12);
    BuildMinuteMap(table, 0, rec, sel);
    EXPECT_EQ(std::accumulate(sel.begin(), sel.end(), 0), 1);
}

class EntrySizeTest : public BackupFixture {
  protected:
    // One minute whose index holds the given (camera, size) rows, its pictures back to back in
    // its data file; flagged as recorded.
    void WriteMinute(const std::string& segment, const std::vector<std::pair<int, int>>& rows) {
        const std::string dir = driveC() + "/QorData/" + segment.substr(0, 8);
        fs::create_directories(dir + "/Audio");
        CppSQLite3DB db;
        db.open(dir + "/" + segment + "N.idx");
        db.execDML(storage::IndexTableCreateStatement());
        long long pos = 0;
        for (auto [cam, size] : rows) {
            db.execDML("insert into indextable values(" + std::to_string(cam) +
                       ",0,'N','8','8','I'," + std::to_string(pos) + "," + std::to_string(size) +
                       ",'J','0');");
            pos += size;
        }
        WriteText(dir + "/" + segment + "N.dat", "");
        fs::resize_file(dir + "/" + segment + "N.dat", static_cast<std::uintmax_t>(pos));
        const int minute = std::stoi(segment.substr(8, 2)) * 60 + std::stoi(segment.substr(10, 2));
        ctx.m_day.hourHasRec[minute / 60] = ctx.m_day.minuteHasRec[minute] = 1;
    }
    bool Estimate(const char* start, const char* end) {
        return EstimateEntrySize(ctx.m_host, ctx.m_day, ctx.m_schedule, "20100523", start, end);
    }
};

TEST_F(EntrySizeTest, PicturesAllowanceAndMarginAddUpAsComputedByHand) {
    // 74 pictures, 2,050,000 bytes: 2001 KB + 74 / 37 + 3000.
    std::vector<std::pair<int, int>> rows;
    for (int i = 0; i < 74; ++i)
        rows.push_back({i % 2, i < 73 ? 27700 : 2050000 - 73 * 27700});
    WriteMinute("201005231400", rows);
    WriteMinute("201005231401", {{5, 99999}});  // unselected camera only
    ctx.m_host.camCount = 16;
    ctx.m_day.camSel[0] = ctx.m_day.camSel[1] = 1;
    ctx.m_day.camSel[20] = 1;  // beyond the camera count
    ASSERT_TRUE(Estimate("1400", "1401"));
    EXPECT_EQ(ctx.m_schedule.lastEntryKB, 5003u);
    EXPECT_EQ(ctx.m_schedule.totalKB, 5003u);
    EXPECT_EQ(ctx.m_day.selCamCount, 2);
}

// The audio is counted under the name the recorder's model gives it (how a file is rounded, and
// which minutes a range takes, are the estimate's own).
TEST_F(EntrySizeTest, AudioIsCountedUnderTheNameOfTheRecordersModel) {
    WriteMinute("201005231102", {{1, 100}});
    const std::string audio = driveC() + "/QorData/20100523/Audio/201005231102.au";
    WriteText(audio + "1", std::string(5000, 'a'));
    WriteText(audio + "g1", std::string(500000, 'a'));
    ctx.m_day.camSel[1] = 1;
    ASSERT_TRUE(Estimate("1102", "1102"));
    EXPECT_EQ(ctx.m_schedule.lastEntryKB, 3004u);
    ctx.m_host.modelCode = 0x1648D;
    ASSERT_TRUE(Estimate("1102", "1102"));
    EXPECT_EQ(ctx.m_schedule.lastEntryKB, 3000u + 488u);
    EXPECT_EQ(ctx.m_schedule.totalKB, 3004u + 3488u);
}

TEST_F(EntrySizeTest, EmptyRangesAndBrokenIndexesLeaveTotalsUnchanged) {
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 602;
    plan.width = plan.height = 16;
    plan.damagedMinutes[600] = mkrec::Damage::kNotADatabase;
    plan.damagedMinutes[601] = mkrec::Damage::kNoTable;
    mkrec::MakeRecordings(plan);
    ASSERT_TRUE(ScanRecordedDay(ctx.m_host, ctx.m_day, "20100523"));
    ctx.m_day.camSel[0] = 1;
    ctx.m_schedule.totalKB = 7;
    EXPECT_FALSE(Estimate("1000", "1001"));  // both minutes broken
    EXPECT_FALSE(Estimate("1100", "0900"));  // start after end
    EXPECT_EQ(ctx.m_schedule.totalKB, 7u);
    EXPECT_EQ(ctx.m_day.selCamCount, 0);
    EXPECT_TRUE(Estimate("1000", "1002"));  // 10:02 counts
    EXPECT_GT(ctx.m_schedule.totalKB, 7u + 3000u);
}

TEST_F(EntrySizeTest, TheTotalsTextTakesTheLanguageFilesFormatOnlyWhenItIsOne) {
    const std::pair<DWORD, const char*> builtIn[] = {
        {0, "Total 0.0 KByte"}, {1024, "Total 1024.0 KByte"}, {1025, "Total 1.0 MByte"}};
    for (const auto& [kb, text] : builtIn)
        EXPECT_EQ(FormatTotalSize(ctx.m_profile, kb), text) << kb;
    ctx.m_profile.SetExePath("C:\\Prog", "C:\\Prog", "eng", 0);
    WriteText(driveC() + "/Prog/language.eng",
              "[Common Quillon]\nDataSize MByte=Size %.2f MB\nDataSize KByte=%s %d\n");
    EXPECT_EQ(FormatTotalSize(ctx.m_profile, 2048), "Size 2.00 MB");
    EXPECT_EQ(FormatTotalSize(ctx.m_profile, 10), "Total 10.0 KByte");  // a bad format is not used
}
