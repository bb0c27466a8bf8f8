// A client's request reaches the recorder's disk only when it names one day within the
// recorder's schedule and cameras: the slot indexes the plan, the camera count a selection.
#include <gtest/gtest.h>

#include <cstring>

#include "backup/server/ShareRequest.h"

TEST(ShareRequestTest, AnImageRequestOutsideTheScheduleOrOneDayIsRefused) {
    _BACKUPMAKEIMAGE good{};
    good.nSlot = kScheduleSlots - 1;
    SetKeys(good.entry, "201005231000", "201005231001");
    EXPECT_EQ(ImageRequestProblem(good), "");
    const auto refused = [&](int slot, const char* start, const char* end) {
        _BACKUPMAKEIMAGE r = good;
        r.nSlot = slot;
        SetKeys(r.entry, start, end);
        return ImageRequestProblem(r) == kNotAnEntryOfOneDay;
    };
    EXPECT_TRUE(refused(kScheduleSlots, "201005231000", "201005231001"));
    EXPECT_TRUE(refused(-1, "201005231000", "201005231001"));
    EXPECT_TRUE(refused(0, "201005231000", "201005241001"));  // two days
    EXPECT_TRUE(refused(0, "201005231001", "201005231000"));  // backwards
    EXPECT_TRUE(refused(0, "20100523100x", "201005231001"));
    EXPECT_TRUE(refused(0, "2010052310", "2010052310"));
}

TEST(ShareRequestTest, ASizeRequestIsDigitsAndCountsNoMoreCamerasThanARecorderHas) {
    _BACKUPADDTOTALSIZE request{};
    std::memcpy(request.szDay, "20100523", 8);
    std::memcpy(request.szStart, "1000", 4);
    std::memcpy(request.szEnd, "1001", 4);
    EXPECT_TRUE(SizeRequestWellFormed(request));
    request.nCamCount = 1000;
    EXPECT_EQ(SizeRequestHost(ServedHost("C:\\QorData", 4, 0x670), request).camCount, kMaxCameras);
    EXPECT_EQ(ServedHost("C:\\QorData", 1000, 0x670).camCount, kMaxCameras);
    request.szEnd[3] = ' ';
    EXPECT_FALSE(SizeRequestWellFormed(request));
}
