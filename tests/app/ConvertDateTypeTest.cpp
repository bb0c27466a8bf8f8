#include "app/CConvertDateType.h"

#include <gtest/gtest.h>

TEST(ConvertDateTypeTest, AllNineTypesBothWaysAndNoneOutOfRange) {
    const char* displays[9] = {"2010-03-15", "15-03-2010", "03-15-2010", "2010/03/15", "15/03/2010",
                               "03/15/2010", "2010.03.15", "15.03.2010", "03.15.2010"};
    CConvertDateType c;
    for (unsigned t = 0; t < 9; ++t) {
        EXPECT_EQ(c.DateToDisplay("2010-03-15", t), displays[t]) << t;
        EXPECT_EQ(c.DisplayToDate(displays[t], t), "20100315") << t;
    }
    // Out of range and of the wrong length.
    EXPECT_EQ(c.DateToDisplay("2010-03-15", 12), "2010-03-15");
    EXPECT_EQ(c.DateToDisplay("2010_03_15", 4), "15/03/2010");  // separators are not examined
    EXPECT_EQ(c.DisplayToDate("15.03.2010", 4), "20100315");
    EXPECT_EQ(c.DisplayToDate("2010-03-15", 9), "");
    EXPECT_EQ(c.DateToDisplay("20100315", 0), "");
    EXPECT_EQ(c.DisplayToDate("20100315", 0), "");
}
