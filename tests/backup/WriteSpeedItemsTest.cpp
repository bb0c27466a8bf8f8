// The write speeds a disc writer offers, from its maximum down.
#include <gtest/gtest.h>

#include "backup/TargetPicker.h"

TEST(WriteSpeedItemsTest, StepsOfFourToEightThenHalvingAndMaxBelowOneStep) {
    auto labels = [](const std::vector<backup::WriteSpeedItem>& items) {
        std::vector<std::string> out;
        for (const auto& i : items)
            out.push_back(i.label + "=" + std::to_string(i.data));
        return out;
    };
    EXPECT_EQ(labels(WriteSpeedItems(16 * 1380, 0)),
              (std::vector<std::string>{"16 x=22080", "12 x=16560", "8 x=11040", "4 x=5520",
                                        "2 x=2760"}));
    EXPECT_EQ(labels(WriteSpeedItems(1000, 0)), (std::vector<std::string>{"MAX=0"}));
    EXPECT_EQ(WriteSpeedItems(48 * 176, 8).size(), 13u);  // 48 to 8 by four, then 4 and 2
    // Six steps: 6 x with the maximum, 3 x with it divided by 3, then 1.5 x (printed 2).
    EXPECT_EQ(labels(WriteSpeedItems(6 * 1380, 0)),
              (std::vector<std::string>{"6 x=8280", "3 x=2760", "2 x=1840"}));
}
