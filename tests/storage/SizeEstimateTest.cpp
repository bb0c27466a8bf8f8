// The estimate of a range that spans many minutes, whose indexes are asked on several threads:
// the same figures as each minute asked on its own, a broken index counted as nothing, and a
// range of a few minutes as before.
#include <filesystem>

#include "TestEnv.h"
#include "mkrec/Recorder.h"
#include "storage/RecorderPaths.h"
#include "storage/SizeEstimate.h"

namespace fs = std::filesystem;

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
