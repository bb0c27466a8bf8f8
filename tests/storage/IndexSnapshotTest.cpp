// The rows of a held index that address no picture in the data file, camera by camera: every
// kind of damage is counted, whether or not the quick look at the index's extremes decides.
#include "storage/IndexSnapshot.h"

#include <filesystem>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "companions/CppSQLite3.h"
#include "storage/MinuteCopy.h"

namespace {

struct Case {
    const char* what;
    std::vector<std::string> rows;  // values of camnum, imgposition, imgsize
    storage::RowsOutside expected;
};

}  // namespace

class IndexSnapshotTest : public TempPrefixTest {};

TEST_F(IndexSnapshotTest, RowsOutsideADataFileOf1000BytesAreCountedByCamera) {
    const std::vector<Case> cases = {
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
    for (const auto& c : cases) {
        const std::string path = driveC() + "/m" + std::to_string(n++) + "N.idx";
        {
            CppSQLite3DB db;
            db.open(path);
            db.execDML(storage::IndexTableCreateStatement());
            std::vector<std::string> rows = {"0,0,100", "1,100,100", "2,200,100"};
            rows.insert(rows.end(), c.rows.begin(), c.rows.end());
            for (const auto& row : rows)
                db.execDML("INSERT INTO indextable(camnum, imgposition, imgsize) VALUES(" + row +
                           ")");
        }
        storage::IndexSnapshot snapshot(path);
        ASSERT_TRUE(snapshot.held()) << c.what;
        EXPECT_EQ(snapshot.RowsOutsideData(1000), c.expected) << c.what;
        // A data file cut short names the sound rows too.
        EXPECT_EQ(snapshot.RowsOutsideData(250)[2], c.expected.count(2) ? 2 : 1) << c.what;
    }
}
