#include "storage/IndexSnapshot.h"

namespace storage {

std::string IndexDamageText(int code, const std::string& message) {
    switch (code & 0xff) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return "the recording is damaged: its index is not a readable database";
        case SQLITE_ERROR:
            if (message.find("no such table") != std::string::npos)
                return "the recording is damaged: its index holds no picture table";
            if (message.find("no such column") != std::string::npos)
                return "the recording is damaged: its index has a foreign table layout";
            return std::string();
        default:
            return std::string();
    }
}

IndexSnapshot::IndexSnapshot(const std::string& indexPath) {
    try {
        db_.openReadOnly(indexPath);
        db_.execDML("BEGIN");
        // The first read takes the shared lock; it is kept until the transaction ends.
        CppSQLite3Query q = db_.execQuery("SELECT count(*) FROM sqlite_master");
        held_ = true;
    } catch (const CppSQLite3Exception& e) {
        damage_ = IndexDamageText(e.errorCode(), e.errorMessage());
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
