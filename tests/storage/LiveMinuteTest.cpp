// Indexes as a damaged recorder or a recorder still at work leaves them: rows that address no
// picture, a minute larger than 32 bits can count, and a writer that holds the index while the
// copy and the estimate read it.
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "TestEnv.h"
#include "companions/CppSQLite3.h"
#include "mkrec/Recorder.h"
#include "storage/MinuteCopy.h"
#include "storage/SizeEstimate.h"

namespace fs = std::filesystem;

namespace {

const std::string kSource = "C:\\QorData\\20100523\\201005231405";
const std::string kDest = "C:\\img\\201005231405";

struct Row {
    long long cam;
    std::string position, size;  // SQL literals, so that a text can stand where a number should
};

long long CountRows(const std::string& idx) {
    CppSQLite3DB db;
    db.openReadOnly(idx);
    return db.execQuery("select count(*) from indextable").getInt64Field(0);
}

CameraSet Cameras(std::initializer_list<int> cams) {
    CameraSet set;
    for (int c : cams)
        set.set(static_cast<std::size_t>(c));
    return set;
}

}  // namespace

class LiveMinuteTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        src = driveC() + "/QorData/20100523/201005231405";
        fs::create_directories(driveC() + "/QorData/20100523");
        fs::create_directories(driveC() + "/img");
    }
    // A minute written by hand: the data file's bytes and the index rows as given.
    void WriteMinute(const std::string& data, const std::vector<Row>& rows) {
        WriteText(src + "N.dat", data);
        CppSQLite3DB db;
        db.open(src + "N.idx");
        db.execDML(storage::IndexTableCreateStatement());
        db.execDML("BEGIN");
        long long t = 0;
        for (const Row& r : rows)
            db.execDML("insert into indextable values(" + std::to_string(r.cam) + "," +
                       std::to_string(++t) + ",'N',8,8,'I'," + r.position + "," + r.size +
                       ",'J','0');");
        db.execDML("COMMIT");
    }
    // Three cameras of the generator, a picture a second each.
    void RecordMinute() {
        mkrec::RecorderPlan plan;
        plan.root = "C:\\QorData";
        plan.days = {"20100523"};
        plan.cameras = 3;
        plan.firstMinute = plan.lastMinute = 14 * 60 + 5;
        plan.width = 32;
        plan.height = 24;
        mkrec::MakeRecordings(plan);
    }
    long long DataLength() { return static_cast<long long>(fs::file_size(src + "N.dat")); }

    std::string src;
};

TEST_F(LiveMinuteTest, RowsThatAddressNoPictureAreLeftOutAndTheEstimateCountsWhatTheCopyTook) {
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 251);
    WriteMinute(data, {
                          {0, "0", "1000"},
                          {0, "9223372036854775800", "100"},  // its end lies past 2^63
                          {0, "9223372036854775807", "1"},
                          {0, "1000", "-5"},
                          {0, "-1000", "500"},
                          {1, "1000", "1000"},
                          {1, "9223372036854775000", "2000"},
                          {0, "2000", "1000"},
                          {0, "2500", "-9223372036854775807"},
                          {0, "1500", "9223372036854775807"},
                          {0, "'far'", "10"},
                          {1, "2000", "'big'"},
                      });
    struct Case {
        CameraSet cameras;
        std::string data;
        long long rows, leftOut;
    };
    const std::vector<Case> cases = {
        {Cameras({0}), data.substr(0, 1000) + data.substr(2000, 1000), 2, 7},
        {Cameras({1}), data.substr(1000, 1000), 1, 2},
        {Cameras({0, 1}), data, 3, 9},
        {Cameras({2}), "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cameras.to_string().substr(61));
        const storage::MinuteCopyResult r = storage::CopyMinuteSegment(c.cameras, kSource, kDest);
        ASSERT_EQ(r.result, 1) << r.why;
        EXPECT_EQ(r.picturesLeftOut, c.leftOut);
        EXPECT_EQ(CountRows(driveC() + "/img/201005231405N.idx"), c.rows);
        EXPECT_TRUE(ReadText(driveC() + "/img/201005231405N.dat") == c.data);

        const storage::MinuteFigures f =
            storage::QueryMinuteFigures(kSource + "N.idx", DataLength(), c.cameras);
        EXPECT_EQ(f.pictures, c.rows);
        EXPECT_EQ(f.bytes, static_cast<long long>(c.data.size()));
    }
}

TEST_F(LiveMinuteTest, AMinuteOverFourGibibytesIsCountedInSixtyFourBits) {
    // 4100 pictures of 1 MiB in a sparse data file, and a row of negative size among them.
    std::vector<Row> rows;
    for (long long i = 0; i < 4100; ++i)
        rows.push_back({0, std::to_string(i << 20), std::to_string(1 << 20)});
    rows.push_back({0, "0", "-2147483648"});
    WriteMinute("", rows);
    fs::resize_file(src + "N.dat", 4100ull << 20);

    DWORD hourHasRec[24] = {}, minuteHasRec[1440] = {};
    hourHasRec[14] = minuteHasRec[14 * 60 + 5] = 1;
    storage::EstimateRequest request;
    request.root = "C:\\QorData";
    request.day = "20100523";
    request.startHour = request.endHour = 14;
    request.startMinute = request.endMinute = 5;
    request.hourHasRec = hourHasRec;
    request.minuteHasRec = minuteHasRec;
    request.cameras = Cameras({0});
    request.modelCode = 0x670;
    const storage::EstimateTotals t = storage::EstimateRange(request);
    EXPECT_EQ(t.kb, 4100ll << 10);
    EXPECT_EQ(t.pictures, 4100);
    EXPECT_EQ(storage::EntrySizeKB(t), (4100u << 10) + 4100u / 37 + 3000u);
}

TEST_F(LiveMinuteTest, AWriterAtWorkOnTheMinuteLeavesTheReadersTheCommittedRows) {
    RecordMinute();
    const long long committed = CountRows(src + "N.idx");
    const CameraSet all = Cameras({0, 1, 2});
    const std::string copied = driveC() + "/img/201005231405N.idx";
    auto copy = [&] { return storage::CopyMinuteSegment(all, kSource, kDest).result; };
    auto estimate = [&] {
        return storage::QueryMinuteFigures(kSource + "N.idx", DataLength(), all).pictures;
    };

    // An open write transaction: the readers go on with what was committed before it.
    {
        CppSQLite3DB writer;
        writer.open(src + "N.idx");
        writer.execDML("BEGIN IMMEDIATE");
        writer.execDML("insert into indextable select * from indextable limit 1");
        EXPECT_EQ(estimate(), committed);
        EXPECT_EQ(copy(), 1);
        EXPECT_EQ(CountRows(copied), committed);
        writer.execDML("ROLLBACK");
    }

    // A writer that holds the minute to itself for a second is waited for, and what it
    // committed is read.
    long long expected = committed;
    for (int reader = 0; reader < 2; ++reader) {
        SCOPED_TRACE(reader == 0 ? "estimate" : "copy");
        std::promise<void> held;
        std::thread writer([&] {
            CppSQLite3DB db;
            db.open(src + "N.idx");
            db.execDML("BEGIN EXCLUSIVE");
            db.execDML("insert into indextable select * from indextable limit 1");
            held.set_value();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            db.execDML("COMMIT");
        });
        held.get_future().wait();
        ++expected;
        if (reader == 0) {
            EXPECT_EQ(estimate(), expected);
        } else {
            EXPECT_EQ(copy(), 1);
            EXPECT_EQ(CountRows(copied), expected);
        }
        writer.join();
    }
}
