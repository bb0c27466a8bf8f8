// The minute copy and the figures of a minute: rows packed in position order, rows that address
// no picture left out, values a foreign writer left, and a writer at work on the index; and the
// estimate of a range of many minutes, asked on several threads, as each minute asked alone; the
// working folder's files: the schedule table, the minute maps, leftovers and the tree's removal.
#include "storage/MinuteCopy.h"

#include <cstring>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "TestEnv.h"
#include "companions/CppSQLite3.h"
#include "mkrec/Recorder.h"
#include "platform/Threading.h"
#include "share/Has.h"
#include "storage/IndexSnapshot.h"
#include "storage/RecorderPaths.h"
#include "storage/SizeEstimate.h"
#include "storage/WorkingFolder.h"

namespace fs = std::filesystem;

namespace {

struct IndexRow {
    long long camnum, rectime;
    std::string capstatus;
    long long width, height;
    std::string frametype;
    long long position, size;
    std::string codectype, reserve;
    std::string types;  // typeof() of the ten columns, joined
    bool operator==(const IndexRow&) const = default;
};

std::vector<IndexRow> ReadRows(const std::string& idx, const std::string& order = "rowid") {
    CppSQLite3DB db;
    db.openReadOnly(idx);
    CppSQLite3Query q = db.execQuery(
        "select *, typeof(camnum)||typeof(rectime)||typeof(capstatus)||typeof(imgwidth)||"
        "typeof(imgheight)||typeof(frametype)||typeof(imgposition)||typeof(imgsize)||"
        "typeof(codectype)||typeof(reserve) from indextable order by " +
        order);
    std::vector<IndexRow> rows;
    for (; !q.eof(); q.nextRow())
        rows.push_back({q.getInt64Field(0), q.getInt64Field(1), q.getStringField(2),
                        q.getInt64Field(3), q.getInt64Field(4), q.getStringField(5),
                        q.getInt64Field(6), q.getInt64Field(7), q.getStringField(8),
                        q.getStringField(9), q.getStringField(10)});
    return rows;
}

// The default file layer with its sleep noted: SQLite sleeps there only while a connection waits
// for another's lock, which is how a test knows that a reader waits.
struct WaitingReaders {
    static void Install() {
        if (sleep)
            return;
        vfs = *sqlite3_vfs_find(nullptr);
        sleep = vfs.xSleep;
        vfs.zName = "quillon-test-waiting-readers";
        vfs.xSleep = [](sqlite3_vfs* v, int us) {
            waiting.Set();
            return sleep(v, us);
        };
        sqlite3_vfs_register(&vfs, 1);
    }
    static inline sqlite3_vfs vfs;
    static inline int (*sleep)(sqlite3_vfs*, int) = nullptr;
    static inline platform::AutoResetEvent waiting{false};
};

const std::string kRecorderTypes = "integerintegertextintegerintegertextintegerintegertexttext";

}  // namespace

using storage::IndexTableCreateStatement;

class MinuteCopyTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        fs::create_directories(driveC() + "/img");
        fs::create_directories(driveC() + "/QorData/20100523");
        srcHost = driveC() + "/QorData/20100523/201005231405";
    }
    // Three cameras, one picture a second, rows stored against position order.
    void Record(bool reverseRows = true, std::map<int, mkrec::Damage> damage = {}) {
        mkrec::MakeRecordings({.root = "C:\\QorData",
                               .days = {"20100523"},
                               .firstMinute = 14 * 60 + 5,
                               .lastMinute = 14 * 60 + 5,
                               .cameras = 3,
                               .width = 32,
                               .height = 24,
                               .reverseRowOrder = reverseRows,
                               .damagedMinutes = damage});
    }
    // A minute written by hand: the data file's bytes and the index rows' values as given.
    void WriteMinute(const std::string& data, const std::vector<std::string>& rows,
                     const std::string& create = IndexTableCreateStatement()) {
        WriteText(srcHost + "N.dat", data);
        CppSQLite3DB db;
        db.open(srcHost + "N.idx");
        db.execDML(create);
        db.execDML("BEGIN");
        for (const std::string& r : rows)
            db.execDML("insert into indextable values(" + r + ");");
        db.execDML("COMMIT");
    }
    void Select(std::initializer_list<int> cams) {
        for (int c : cams)
            cameras.set(static_cast<std::size_t>(c));
    }
    int Copy() {
        last = storage::CopyMinuteSegment(cameras, src, "C:\\img\\201005231405",
                                          [this] { ++copyingCalls; });
        return last.result;
    }
    std::string Host(const std::string& name) { return driveC() + "/img/201005231405" + name; }
    long long DataLength() { return static_cast<long long>(fs::file_size(srcHost + "N.dat")); }

    const std::string src = "C:\\QorData\\20100523\\201005231405";
    std::string srcHost;
    CameraSet cameras;
    storage::MinuteCopyResult last;
    int copyingCalls = 0;
};

TEST_F(MinuteCopyTest, SelectedCameraRowsArePackedInSourcePositionOrder) {
    Record();
    Select({1});
    ASSERT_EQ(Copy(), 1);

    const auto source = ReadRows(srcHost + "N.idx", "imgposition");
    const std::string sourceData = ReadText(srcHost + "N.dat");
    const auto copied = ReadRows(Host("N.idx"));
    const std::string copiedData = ReadText(Host("N.dat"));

    std::string expectedData;
    std::size_t next = 0;
    for (const auto& s : source) {
        if (s.camnum != 1)
            continue;
        ASSERT_LT(next, copied.size());
        // The source's row, at its place in the packed data, marked as copied.
        IndexRow expected = s;
        expected.position = static_cast<long long>(expectedData.size());
        expected.reserve = "\x01";
        expected.types = kRecorderTypes;
        EXPECT_EQ(copied[next++], expected);
        expectedData += sourceData.substr(static_cast<std::size_t>(s.position),
                                          static_cast<std::size_t>(s.size));
    }
    EXPECT_EQ(next, 60u);
    EXPECT_EQ(copied.size(), 60u);
    EXPECT_TRUE(copiedData == expectedData) << copiedData.size() << " vs " << expectedData.size();
    EXPECT_EQ(last.dataBytes, static_cast<long long>(expectedData.size()));
    EXPECT_EQ(copyingCalls, 1);
    // Both files took their names: nothing under a temporary one is left.
    for (const auto& e : fs::directory_iterator(driveC() + "/img"))
        EXPECT_LACKS(e.path().filename().string(), ".quillon-part");
}

TEST_F(MinuteCopyTest, NoSelectionLeavesAnEmptyMinuteInPlaceOfAnEarlierCopy) {
    Record(false);  // rows in position order, as a recorder writes them
    Select({0, 1, 2});
    ASSERT_EQ(Copy(), 1);
    ASSERT_EQ(ReadRows(Host("N.idx")).size(), 180u);
    // A second run into the same folder replaces the table: rows and data still agree.
    cameras.reset();
    ASSERT_EQ(Copy(), 1);  // the source held rows, none selected
    EXPECT_EQ(fs::file_size(Host("N.dat")), 0u);
    EXPECT_TRUE(ReadRows(Host("N.idx")).empty());
    EXPECT_EQ(last.dataBytes, 0);
}

TEST_F(MinuteCopyTest, DamagedIndexesCopyNothingAndTheRecorderFolderStaysUntouched) {
    Select({0, 1});
    for (auto damage : {mkrec::Damage::kNotADatabase, mkrec::Damage::kNoTable}) {
        Record(true, {{14 * 60 + 5, damage}});
        EXPECT_EQ(Copy(), 0);
        EXPECT_FALSE(last.why.empty());
        EXPECT_FALSE(fs::exists(Host("N.dat")));
        EXPECT_FALSE(fs::exists(Host("N.idx")));
    }
    // A missing index beside its data file: nothing is created, on either side.
    fs::remove(srcHost + "N.idx");
    const auto entries = [&] { return EntriesBelow(driveC() + "/QorData/20100523"); };
    const auto before = entries();
    EXPECT_EQ(Copy(), 0);
    EXPECT_EQ(entries(), before);
    EXPECT_FALSE(fs::exists(Host("N.idx")));

    // No data file at all.
    fs::remove(srcHost + "N.dat");
    EXPECT_EQ(Copy(), 0);
    EXPECT_FALSE(fs::exists(Host("N.dat")));
}

TEST_F(MinuteCopyTest, RowsReachingPastAShortDataFileAreSkippedAndTheRestKept) {
    Record(true, {{14 * 60 + 5, mkrec::Damage::kShortData}});
    Select({0, 1, 2});
    ASSERT_EQ(Copy(), 1);
    const long long shortLength = static_cast<long long>(fs::file_size(srcHost + "N.dat"));
    std::string expected;
    for (const auto& s : ReadRows(srcHost + "N.idx", "imgposition"))
        if (s.position + s.size <= shortLength)
            expected +=
                ReadText(srcHost + "N.dat")
                    .substr(static_cast<std::size_t>(s.position), static_cast<std::size_t>(s.size));
    const auto copied = ReadRows(Host("N.idx"));
    EXPECT_GT(copied.size(), 0u);
    EXPECT_LT(copied.size(), 180u);
    EXPECT_TRUE(ReadText(Host("N.dat")) == expected);
}

TEST_F(MinuteCopyTest, NullEmptyAndOversizedValuesFromAForeignWriter) {
    WriteMinute(std::string(3000, 'p'),
                {"0,1,NULL,'8','8','',0,1000,'J','0'", "0,2,'N','8','8','I',1000,-5,'J','0'",
                 "0,3,'N','8','8','I',1000,2000000,'J','0'", "70,4,'N','8','8','I',1000,10,'J','0'",
                 "0,5,'NX','8','8','I',2000,1000,'J','0'"});
    Select({0});
    ASSERT_EQ(Copy(), 1);
    const auto rows = ReadRows(Host("N.idx"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(last.picturesLeftOut, 2);  // camera 70 is not selected
    EXPECT_EQ(rows[0].rectime, 1);
    EXPECT_EQ(rows[0].types.substr(14, 4), "null");  // capstatus stays NULL
    EXPECT_EQ(rows[0].frametype, "");
    EXPECT_EQ(rows[1].rectime, 5);
    EXPECT_EQ(rows[1].capstatus, "N");  // first character only
    EXPECT_EQ(rows[1].position, 1000);
    EXPECT_EQ(fs::file_size(Host("N.dat")), 2000u);
}

TEST_F(MinuteCopyTest, PositionsAForeignWriterStoredAsTextAreTakenAsTheNumbersTheySpell) {
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>('a' + i % 23);
    // A column without the number affinity keeps what it is given as text.
    WriteMinute(data,
                {"0,1,'N',8,8,'I','1e3',10,'J','0'", "0,2,'N',8,8,'I',20,5,'J','0'",
                 "0,3,'N',8,8,'I','100',7,'J','0'"},
                "CREATE TABLE indextable(camnum int,rectime int,capstatus char(1),imgwidth int,"
                "imgheight int,frametype char(1),imgposition text,imgsize int,codectype char(1),"
                "reserve char(1));");
    Select({0});
    ASSERT_EQ(Copy(), 1);
    // In source position order: 20, 100, 1000 (not 1, as a text cut at the exponent reads).
    EXPECT_EQ(ReadText(Host("N.dat")),
              data.substr(20, 5) + data.substr(100, 7) + data.substr(1000, 10));
    const auto rows = ReadRows(Host("N.idx"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].rectime, 2);
    EXPECT_EQ(rows[1].rectime, 3);
    EXPECT_EQ(rows[2].rectime, 1);
    EXPECT_EQ(rows[2].position, 12);
    EXPECT_EQ(rows[2].types, kRecorderTypes);
}

TEST_F(MinuteCopyTest, AMinuteOverFourGibibytesIsCountedInSixtyFourBits) {
    // 4100 pictures of 1 MiB in a sparse data file, and a row of negative size among them.
    std::vector<std::string> rows;
    for (long long i = 0; i < 4100; ++i)
        rows.push_back("0," + std::to_string(i) + ",'N',8,8,'I'," + std::to_string(i << 20) + "," +
                       std::to_string(1 << 20) + ",'J','0'");
    rows.push_back("0,4100,'N',8,8,'I',0,-2147483648,'J','0'");
    WriteMinute("", rows);
    fs::resize_file(srcHost + "N.dat", 4100ull << 20);

    DWORD hourHasRec[24] = {}, minuteHasRec[1440] = {};
    hourHasRec[14] = minuteHasRec[14 * 60 + 5] = 1;
    const storage::EstimateTotals t = storage::EstimateRange(
        {"C:\\QorData", "20100523", 14, 5, 14, 5, hourHasRec, minuteHasRec, CameraSet(1), 0x670});
    EXPECT_EQ(t.kb, 4100ll << 10);
    EXPECT_EQ(t.pictures, 4100);
    EXPECT_EQ(storage::EntrySizeKB(t), (4100u << 10) + 4100u / 37 + 3000u);
}

TEST_F(MinuteCopyTest, AWriterAtWorkOnTheMinuteLeavesTheReadersTheCommittedRows) {
    Record(false);
    Select({0, 1, 2});
    const long long committed = static_cast<long long>(ReadRows(srcHost + "N.idx").size());
    auto estimate = [&] {
        return storage::QueryMinuteFigures(src + "N.idx", DataLength(), cameras).pictures;
    };
    auto copied = [&] { return static_cast<long long>(ReadRows(Host("N.idx")).size()); };

    // An open write transaction: the readers go on with what was committed before it.
    {
        CppSQLite3DB writer;
        writer.open(srcHost + "N.idx");
        writer.execDML("BEGIN IMMEDIATE");
        writer.execDML("insert into indextable select * from indextable limit 1");
        EXPECT_EQ(estimate(), committed);
        EXPECT_EQ(Copy(), 1);
        EXPECT_EQ(copied(), committed);
        writer.execDML("ROLLBACK");
    }

    // A writer that holds the minute to itself is waited for, and what it committed is read:
    // it commits once the reader has waited for its lock.
    WaitingReaders::Install();
    long long expected = committed;
    for (int reader = 0; reader < 2; ++reader) {
        SCOPED_TRACE(reader == 0 ? "estimate" : "copy");
        std::promise<void> held;
        std::thread writer([&] {
            CppSQLite3DB db;
            db.open(srcHost + "N.idx");
            db.execDML("BEGIN EXCLUSIVE");
            db.execDML("insert into indextable select * from indextable limit 1");
            WaitingReaders::waiting.Reset();
            held.set_value();
            EXPECT_TRUE(WaitingReaders::waiting.WaitFor(kHangGuardMs));
            db.execDML("COMMIT");
        });
        held.get_future().wait();
        ++expected;
        if (reader == 0) {
            EXPECT_EQ(estimate(), expected);
        } else {
            EXPECT_EQ(Copy(), 1);
            EXPECT_EQ(copied(), expected);
        }
        WaitingReaders::waiting.Set();  // a reader that did not wait lets the writer go too
        writer.join();
    }
}

// The rows of a held index that address no picture in the data file, camera by camera: every
// kind of damage is counted, whether or not the quick look at the index's extremes decides.
TEST_F(MinuteCopyTest, RowsOutsideADataFileOf1000BytesAreCountedByCamera) {
    // The case, the rows' values of camnum, imgposition and imgsize, the rows outside by camera.
    const std::vector<std::tuple<const char*, std::vector<std::string>, storage::RowsOutside>>
        cases = {
            {"sound", {}, {}},
            {"past the end", {"1,950,100"}, {{1, 1}}},
            {"reaching exactly to the end", {"1,900,100"}, {}},
            {"a negative size", {"2,300,-5"}, {{2, 1}}},
            {"no position", {"0,NULL,10"}, {{0, 1}}},
            {"no size", {"0,10,NULL"}, {{0, 1}}},
            {"larger than the copy buffer", {"3,0,2000000"}, {{3, 1}}},
            {"a size that is text", {"2,0,'abc'"}, {{2, 1}}},
            {"a negative position", {"1,-1,10"}, {{1, 1}}},
            // A fraction whose end rounds onto the end of the file: only the condition sees it.
            {"a fraction just past the end", {"1,0.10000000000002275,999.9"}, {{1, 1}}},
            {"a fraction inside", {"1,10.5,20"}, {}},
            // Positions whose sum no integer holds.
            {"huge positions", {"1,9000000000000000000,10", "1,9000000000000000000,10"}, {{1, 2}}},
            {"a camera number that is no number, of no camera", {"'x',950,100"}, {}},
            {"a camera beyond every set", {"70,950,100"}, {}},
            {"two cameras", {"0,999,2", "4,5000,1", "4,0,5"}, {{0, 1}, {4, 1}}},
        };
    int n = 0;
    for (const auto& [what, extra, expected] : cases) {
        SCOPED_TRACE(what);
        const std::string path = driveC() + "/m" + std::to_string(n++) + "N.idx";
        {
            CppSQLite3DB db;
            db.open(path);
            db.execDML(storage::IndexTableCreateStatement());
            for (const auto& rows :
                 {std::vector<std::string>{"0,0,100", "1,100,100", "2,200,100"}, extra})
                for (const auto& row : rows)
                    db.execDML("INSERT INTO indextable(camnum, imgposition, imgsize) VALUES(" +
                               row + ")");
        }
        storage::IndexSnapshot snapshot(path);
        ASSERT_TRUE(snapshot.held());
        EXPECT_EQ(snapshot.RowsOutsideData(1000), expected);
        // A data file cut short names the sound rows too.
        EXPECT_EQ(snapshot.RowsOutsideData(250)[2], expected.count(2) ? 2 : 1);
    }
}

class SizeEstimateTest : public TempPrefixTest {
  protected:
    // Minutes 10:00 to 12:59 of 4 cameras, audio on the first two, some minutes broken or
    // missing; every minute flagged as recorded, so that the missing ones are looked for too.
    void SetUp() override {
        TempPrefixTest::SetUp();
        mkrec::MakeRecordings({.root = "C:\\QorData",
                               .days = {"20100523"},
                               .firstMinute = 600,
                               .lastMinute = 779,
                               .width = 16,
                               .height = 16,
                               .audioChannels = 2,
                               .audioBytesPerMinute = 5000,
                               .gapMinutes = {640, 641, 700},
                               .damagedMinutes = {{620, mkrec::Damage::kNotADatabase},
                                                  {650, mkrec::Damage::kNoTable},
                                                  {760, mkrec::Damage::kShortData}}});
        std::fill(std::begin(hourHasRec), std::end(hourHasRec), 1);
        std::fill(std::begin(minuteHasRec), std::end(minuteHasRec), 1);
    }
    storage::EstimateRequest Request(int startHour, int startMinute, int endHour, int endMinute,
                                     const CameraSet& cameras) {
        return {"C:\\QorData", "20100523", startHour,    startMinute, endHour,
                endMinute,     hourHasRec, minuteHasRec, cameras,     0x670};
    }
    // Minute by minute, one index at a time.
    storage::EstimateTotals OneByOne(const storage::EstimateRequest& r) {
        storage::EstimateTotals t;
        const std::string day = driveC() + "/QorData/20100523/";
        for (int m = r.startHour * 60 + r.startMinute; m <= r.endHour * 60 + r.endMinute; ++m) {
            const std::string segment = paths::SegmentName(r.day, m / 60, m % 60);
            std::error_code ec;
            const auto length = fs::file_size(day + segment + "N.dat", ec);
            if (!ec && fs::exists(day + segment + "N.idx")) {
                const storage::MinuteFigures f = storage::QueryMinuteFigures(
                    day + segment + "N.idx", static_cast<long long>(length), r.cameras);
                t.kb += f.bytes / 1024;
                t.pictures += f.pictures;
            }
            for (int c = 0; c < 4; ++c) {
                const auto audio = fs::file_size(
                    day + "Audio/" + segment + paths::AudioSuffix(r.modelCode) + std::to_string(c),
                    ec);
                if (r.cameras[static_cast<std::size_t>(c)] && !ec)
                    t.kb += static_cast<long long>(audio / 1024);
            }
        }
        return t;
    }
    DWORD hourHasRec[24] = {};
    DWORD minuteHasRec[1440] = {};
};

TEST_F(SizeEstimateTest, ManyMinutesSumAsEachMinuteAskedOnItsOwn) {
    const CameraSet some(0b101), all(0b1111);
    for (const CameraSet& cameras : {some, all}) {
        for (int run = 0; run < 3; ++run) {  // a lost or doubled sum would not show every time
            const storage::EstimateRequest r = Request(10, 0, 12, 59, cameras);
            const storage::EstimateTotals expected = OneByOne(r);
            const storage::EstimateTotals t = storage::EstimateRange(r);
            EXPECT_GT(expected.pictures, 0);
            EXPECT_EQ(t.kb, expected.kb);
            EXPECT_EQ(t.pictures, expected.pictures);
        }
    }
    // A few minutes, with the broken index among them: asked without threads, the same way.
    const storage::EstimateRequest few = Request(10, 18, 10, 22, all);
    const storage::EstimateTotals t = storage::EstimateRange(few);
    EXPECT_EQ(t.kb, OneByOne(few).kb);
    EXPECT_EQ(t.pictures, OneByOne(few).pictures);
    EXPECT_LT(t.pictures, OneByOne(Request(10, 23, 10, 27, all)).pictures);
    // The cameras as the indexes are asked for them; none is still a statement.
    EXPECT_EQ(storage::BuildCameraWhereClause(some), "where camnum in(0,2)");
    EXPECT_EQ(storage::BuildCameraWhereClause(CameraSet()), "where camnum in()");
}

using namespace storage;

class WorkingFolderTest : public TempPrefixTest {};

TEST_F(WorkingFolderTest, DeleteFolderTreeRemovesReadOnlyEntriesButNeverFollowsALink) {
    WriteText(driveC() + "/W/a/b/deep.txt", "x");
    WriteText(driveC() + "/W/ro.txt", "y");
    fs::permissions(driveC() + "/W/ro.txt", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(driveC() + "/W/a/b", fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::replace);
    // Links inside the folder lead to files and a folder of somebody else's.
    WriteText(driveC() + "/outside/keep.txt", "keep");
    fs::create_directory_symlink(driveC() + "/outside", driveC() + "/W/a/to-folder");
    fs::create_symlink(driveC() + "/outside/keep.txt", driveC() + "/W/to-file");
    DeleteFolderTree("C:\\w");
    EXPECT_FALSE(fs::exists(driveC() + "/W"));
    EXPECT_EQ(ReadText(driveC() + "/outside/keep.txt"), "keep");

    // The folder itself a link: the link goes, what it leads to stays.
    fs::create_directory_symlink(driveC() + "/outside", driveC() + "/Reserved");
    DeleteFolderTree("C:\\Reserved");
    EXPECT_FALSE(fs::is_symlink(driveC() + "/Reserved"));
    EXPECT_EQ(ReadText(driveC() + "/outside/keep.txt"), "keep");
    DeleteFolderTree("C:\\missing");  // nothing there, nothing reported
}

TEST_F(WorkingFolderTest, ScheduleTableRoundTripsAndADamagedOneIsKeptAsideNotTrusted) {
    fs::create_directories(driveC() + "/Backup");
    ScheduleTable table{}, loaded{};
    EXPECT_EQ(LoadScheduleTable("C:\\Backup\\", loaded).outcome, ScheduleLoad::kMissing);
    table[3].bUsed = 1;
    SetKeys(table[3], "201005231400", "201005231530");
    table[3].bCam[40] = 1;
    table[3].nSize = 5003;
    ASSERT_TRUE(SaveScheduleTable("C:\\Backup\\", table));
    const std::string file = driveC() + "/Backup/Reserved/reserve.dat";
    ASSERT_EQ(fs::file_size(file), 24400u);
    const std::string bytes = ReadText(file);
    EXPECT_EQ(bytes[3 * 488], 1);
    EXPECT_EQ(bytes.substr(3 * 488 + 4, 12), "201005231400");
    EXPECT_EQ(bytes[3 * 488 + 36 + 40 * 4], 1);
    ASSERT_EQ(LoadScheduleTable("C:\\Backup\\", loaded).outcome, ScheduleLoad::kLoaded);
    EXPECT_EQ(std::memcmp(loaded.data(), table.data(), 24400), 0);

    // Random bytes, a cut file and a slot whose range runs backwards: none is loaded, each is
    // kept beside for the operator, and what was in the table stays.
    std::string random(24400, '\0');
    for (std::size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>((i * 7919 + 13) % 251);
    const std::string backwards = [&] {
        ScheduleTable t = table;
        SetKeys(t[3], "201005231530", "201005231400");
        return std::string(reinterpret_cast<const char*>(t.data()), sizeof t);
    }();
    for (const std::string& damaged : {random, bytes.substr(0, 1000), backwards}) {
        WriteText(file, damaged);
        ScheduleTable kept = table;
        const ScheduleLoad load = LoadScheduleTable("C:\\Backup\\", kept);
        EXPECT_EQ(load.outcome, ScheduleLoad::kRejected);
        EXPECT_FALSE(load.problem.empty());
        EXPECT_EQ(std::memcmp(kept.data(), table.data(), 24400), 0);
        EXPECT_FALSE(fs::exists(file));
        EXPECT_TRUE(ReadText(file + ".damaged") == damaged);
    }
}

TEST_F(WorkingFolderTest, MinuteMapsAreWrittenWholeAndReadBackOnlyWhenWhole) {
    const std::string entry = "2010_05_23=14,00~15,30";
    fs::create_directories(driveC() + "/Backup/Reserved/" + entry);
    MinuteMapBlock map{};
    map[3 * 1440 + 14 * 60 + 5] = 1;
    map[63 * 1440 + 1439] = 1;
    ASSERT_TRUE(SaveMinuteMap("C:\\Backup\\Reserved", entry, "20100523", map));
    const std::string host = driveC() + "/Backup/Reserved/" + entry + "/20100523/20100523.DAT";
    ASSERT_EQ(fs::file_size(host), 92164u);
    EXPECT_EQ(ReadText(host).substr(92160), std::string(4, '\0'));

    MinuteMapBlock back{};
    const std::string path = paths::WorkingMinuteMapPath("C:\\Backup", entry, "20100523");
    const MapRead read = ReadMinuteMapFile(path, back);  // written .DAT, read .dat
    EXPECT_TRUE(read.found && read.problem.empty());
    EXPECT_EQ(back, map);

    // A cut map would hide the minutes past its end; a byte of 7 is no flag.
    const std::string whole = ReadText(host);
    WriteText(host, whole.substr(0, 100));
    EXPECT_HAS(ReadMinuteMapFile(path, back).problem, "100 bytes");
    std::string seven = whole;
    seven[5] = 7;
    WriteText(host, seven);
    EXPECT_FALSE(ReadMinuteMapFile(path, back).problem.empty());
    EXPECT_EQ(back, MinuteMapBlock{});
    EXPECT_FALSE(ReadMinuteMapFile(path + "x", back).found);

    // A map that cannot be written leaves no file under its name.
    fs::remove_all(driveC() + "/Backup/Reserved");
    EXPECT_FALSE(SaveMinuteMap("C:\\Backup\\Reserved", entry, "20100523", map));
}

TEST_F(WorkingFolderTest, LeftoversOfAKilledRunAreRemovedAndNothingElse) {
    const std::string reserved = driveC() + "/Backup/Reserved/", entry = "2010_05_23=14,00~15,30/";
    for (const char* part : {".reserve.dat.4242-0.quillon-part",
                             "2010_05_23=14,00~15,30/.BackupInfo.dat.4242-1.quillon-part",
                             "2010_05_23=14,00~15,30/20100523/.20100523.DAT.4242-2.quillon-part"})
        WriteText(reserved + part, "half");
    WriteText(reserved + entry + "BackupInfo.dat", "whole");
    RemoveLeftovers("C:\\Backup\\");
    EXPECT_EQ(FilesBelow(reserved),
              (std::map<std::string, std::string>{{entry + "BackupInfo.dat", "whole"}}));
}

TEST(WorkingFolderPathsTest, ABaseFolderWithOrWithoutItsSeparatorGivesOneBeforeReserved) {
    // The local base folder ends in one ("C:\Backup\"), the share server's does not.
    for (const std::string base : {"C:\\Backup", "C:\\Backup\\"}) {
        EXPECT_EQ(paths::WorkingFolder(base), "C:\\Backup\\Reserved") << base;
        EXPECT_EQ(paths::ReservePath(base), "C:\\Backup\\Reserved\\reserve.dat") << base;
        EXPECT_EQ(paths::WorkingInfoPath(base, "2010_05_23=10,00~10,03"),
                  "C:\\Backup\\Reserved\\2010_05_23=10,00~10,03\\BackupInfo.dat")
            << base;
        EXPECT_EQ(paths::WorkingMinuteMapPath(base, "2010_05_23=10,00~10,03", "20100523"),
                  "C:\\Backup\\Reserved\\2010_05_23=10,00~10,03\\20100523\\20100523.dat")
            << base;
    }
}
