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
        mkrec::RecorderPlan plan;
        plan.root = "C:\\QorData";
        plan.days = {"20100523"};
        plan.firstMinute = 600;
        plan.lastMinute = 779;
        plan.width = plan.height = 16;
        plan.audioChannels = 2;
        plan.audioBytesPerMinute = 5000;
        plan.gapMinutes = {640, 641, 700};
        plan.damagedMinutes = {{620, mkrec::Damage::kNotADatabase},
                               {650, mkrec::Damage::kNoTable},
                               {760, mkrec::Damage::kShortData}};
        mkrec::MakeRecordings(plan);
        for (int h = 0; h < 24; ++h)
            hourHasRec[h] = 1;
        for (auto& m : minuteHasRec)
            m = 1;
    }
    storage::EstimateRequest Request(int startHour, int startMinute, int endHour, int endMinute,
                                     const CameraSet& cameras) {
        storage::EstimateRequest r;
        r.root = "C:\\QorData";
        r.day = "20100523";
        r.startHour = startHour;
        r.startMinute = startMinute;
        r.endHour = endHour;
        r.endMinute = endMinute;
        r.hourHasRec = hourHasRec;
        r.minuteHasRec = minuteHasRec;
        r.cameras = cameras;
        r.modelCode = 0x670;
        return r;
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
    CameraSet some;
    some.set(0);
    some.set(2);
    CameraSet all;
    for (std::size_t c = 0; c < 4; ++c)
        all.set(c);
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
