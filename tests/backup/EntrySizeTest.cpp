// The estimate of a new entry over minutes written by hand: pictures, the allowance per picture
// and the margin, audio rounded per file, both ends of the range, and the total's texts.
#include "backup/schedule/EntrySize.h"

#include <filesystem>

#include "BackupFixture.h"
#include "backup/schedule/ReservedFolder.h"
#include "companions/CppSQLite3.h"
#include "storage/MinuteCopy.h"

namespace fs = std::filesystem;

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

TEST_F(EntrySizeTest, AudioIsRoundedPerFileAndTheRangeIncludesBothEnds) {
    WriteMinute("201005231058", {{1, 100}});
    WriteMinute("201005231102", {{1, 100}});
    WriteMinute("201005231103", {{1, 1 << 20}});  // after the end minute
    const std::string audio = driveC() + "/QorData/20100523/Audio/";
    WriteText(audio + "201005231058.au1", std::string(5000, 'a'));
    WriteText(audio + "201005231058.au3", std::string(5000, 'a'));
    WriteText(audio + "201005231102.aug1", std::string(500000, 'a'));  // other model's suffix
    ctx.m_day.camSel[1] = ctx.m_day.camSel[3] = 1;
    ASSERT_TRUE(Estimate("1058", "1102"));
    // 4 + 4 KB of audio (not 9), pictures below a kilobyte each, 2 pictures: no allowance.
    EXPECT_EQ(ctx.m_schedule.lastEntryKB, 3008u);
    ctx.m_host.modelCode = 0x1648D;
    ASSERT_TRUE(Estimate("1102", "1102"));
    EXPECT_EQ(ctx.m_schedule.lastEntryKB, 3000u + 488u);
    EXPECT_EQ(ctx.m_schedule.totalKB, 3008u + 3488u);
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
