// A schedule whose file is a folder is no schedule: it is said as such and set aside, not taken
// for an empty one.
#include <filesystem>

#include "TestEnv.h"
#include "storage/WorkingFolder.h"

using ScheduleFileKindTest = TempPrefixTest;

TEST_F(ScheduleFileKindTest, AScheduleThatIsAFolderIsSaidAndSetAside) {
    const std::string reserve = driveC() + "/Base/Reserved/reserve.dat";
    std::filesystem::create_directories(reserve);
    ScheduleTable table{};
    const storage::ScheduleLoad load = storage::LoadScheduleTable("C:\\Base\\", table);
    EXPECT_EQ(load.outcome, storage::ScheduleLoad::kRejected);
    EXPECT_EQ(load.problem, "it is a folder, not a file");
    EXPECT_TRUE(std::filesystem::is_directory(reserve + ".damaged"));
}
