#include "records/ScheduleEntry.h"

#include <gtest/gtest.h>

#include <cstring>

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
        ASSERT_EQ(label.size(), 26u);
        EXPECT_EQ(label.substr(13, 2), "08");
        EXPECT_EQ(label.substr(24, 2), "30");
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
    int marked = 0;
    for (std::size_t i = 0; i < sel.size(); ++i)
        marked += sel[i];
    EXPECT_EQ(marked, 91);
    EXPECT_EQ(sel[8 * 60], 1);
    EXPECT_EQ(sel[9 * 60 + 30], 1);
    EXPECT_EQ(sel[9 * 60 + 31], 0);
    EXPECT_EQ(sel[7 * 60 + 59], 0);

    // A single-minute entry covers exactly that minute.
    std::memcpy(e.szEnd, "201005120800", 12);
    BuildMinuteMap(table, 0, rec, sel);
    marked = 0;
    for (auto b : sel)
        marked += b;
    EXPECT_EQ(marked, 1);
}
