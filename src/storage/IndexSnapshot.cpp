#include "storage/IndexSnapshot.h"

namespace storage {

IndexSnapshot::IndexSnapshot(const std::string& indexPath) {
    try {
        db_.openReadOnly(indexPath);
        db_.execDML("BEGIN");
        // The first read takes the shared lock; it is kept until the transaction ends.
        CppSQLite3Query q = db_.execQuery("SELECT count(*) FROM sqlite_master");
        held_ = true;
    } catch (const CppSQLite3Exception&) {
        db_.close();
    }
}

IndexSnapshot::~IndexSnapshot() {
    try {
        if (held_)
            db_.execDML("COMMIT");
    } catch (const CppSQLite3Exception&) {
    }
}

RowsOutside IndexSnapshot::RowsOutsideData(long long dataLength) {
    RowsOutside outside;
    if (!held_)
        return outside;
    CameraSet all;
    all.set();
    try {
        CppSQLite3Statement count = db_.compileStatement(CountRowsOutside("main", all));
        count.bind(1, dataLength);
        count.eachRow([&](const CppSQLite3Query& q) {
            outside[static_cast<int>(q.getInt64Field(0))] += q.getInt64Field(1);
        });
    } catch (const CppSQLite3Exception&) {
        // A table that cannot be read as pictures names none of them: all of it is damaged.
        outside[-1] = 1;
    }
    return outside;
}

}  // namespace storage
