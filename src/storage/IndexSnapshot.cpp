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

}  // namespace storage
