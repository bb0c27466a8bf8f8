// The recorder goes on writing its current minute while quillon-cli adds and backs it up: the
// program reads what the recorder committed and never takes the recorder's transient journal
// into the image. (Waiting out a writer that holds the minute is the minute copy's own test.)
#include <filesystem>
#include <set>

#include "CliDay.h"
#include "CliFixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kLive = "201005231002";  // the minute being written

long long CountRows(const std::string& idx, const std::string& where = "") {
    CppSQLite3DB db;
    db.openReadOnly(idx);
    return db.execQuery("select count(*) from indextable " + where).getInt64Field(0);
}

// The list's size column of its only entry.
std::string EntrySize(const RunResult& list) {
    const std::size_t at = list.out.find("  ");
    return at == std::string::npos ? std::string() : list.out.substr(at, list.out.find("KB") - at);
}

}  // namespace

class CliLiveMinuteTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
        Record(Plan(600, 604, 4, 64, 48));
        live = rec + kLive + "N.idx";
    }
    std::string Image(const std::string& entry) {
        return usb + "/Backup/" + entry + "/" + kDay + "/";
    }

    std::string usb, live;
};

TEST_F(CliLiveMinuteTest, AnOpenWriteTransactionLeavesAddAndBackupTheCommittedRows) {
    // The sizes of both entries while nobody writes.
    std::vector<std::string> quiet;
    for (const auto& cams : {"all", "1,2"}) {
        ASSERT_EQ(Add("1000", "1004", cams).status, 0);
        quiet.push_back(EntrySize(Cli({"list"})));
        ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:04"}).status, 0);
    }
    const long long committed = CountRows(live);
    const long long committedOfTwo = CountRows(live, "where camnum in (0,1)");
    const std::string committedBytes = ReadText(live);

    CppSQLite3DB writer;
    writer.open(live);
    writer.execDML("BEGIN IMMEDIATE");
    writer.execDML("insert into indextable select * from indextable where camnum = 0 limit 1");
    ASSERT_TRUE(fs::exists(live + "-journal"));

    // Each entry added alone gives the size it has without the writer.
    ASSERT_EQ(Add("1000", "1004").status, 0);
    EXPECT_EQ(EntrySize(Cli({"list"})), quiet[0]);
    ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:04"}).status, 0);
    ASSERT_EQ(Add("1000", "1004", "1,2").status, 0);
    EXPECT_EQ(EntrySize(Cli({"list"})), quiet[1]);
    ASSERT_EQ(Add("1001", "1003").status, 0);

    const RunResult run = Backup();
    EXPECT_EQ(run.status, 0) << run.err;
    writer.execDML("ROLLBACK");

    // The whole minute as committed, without the journal beside it.
    const std::string whole = Image("2010_05_23=10,01~10,03");
    std::set<std::string> expected{"BackupInfo.dat", kDay + ".DAT", "Audio"};
    for (const char* m : {"201005231001", "201005231002", "201005231003"})
        for (const char* ext : {"N.idx", "N.dat"})
            expected.insert(m + std::string(ext));
    EXPECT_EQ(Names(whole), expected);
    EXPECT_TRUE(ReadText(whole + kLive + "N.idx") == committedBytes);
    EXPECT_EQ(CountRows(whole + kLive + "N.idx"), committed);
    // The rebuilt minute holds the committed pictures of cameras 1 and 2.
    EXPECT_EQ(CountRows(Image("2010_05_23=10,00~10,04") + kLive + "N.idx"), committedOfTwo);
}
