#include "companions/CppSQLite3.h"

#include <cctype>
#include <cstring>

#include "platform/DrivePaths.h"
#include "platform/HostFiles.h"
#include "platform/HostPaths.h"

namespace {

// A file URI of a host path: every byte that could end the path part or start an escape is
// written as an escape.
std::string FileUri(const std::string& host, const std::string& query) {
    std::string uri = "file:";
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char ch : host) {
        if (std::isalnum(ch) || std::strchr("/-_.~,=+:", ch)) {
            uri += static_cast<char>(ch);
        } else {
            uri += '%';
            uri += kHex[ch >> 4];
            uri += kHex[ch & 15];
        }
    }
    return uri + "?" + query;
}

bool Exists(const std::string& path) {
    return platform::LookAtHostPath(path).kind != platform::HostKind::kNothing;
}

// How a database that is not ours is opened for reading without a file ever being made beside
// it: one in WAL mode whose -wal and -shm files are not both there already is read as it stands,
// since opening it otherwise would create them.
// Only a regular file is opened: a pipe in its place would hold the reader for good.
std::string ReadOnlyQuery(const std::string& host) {
    unsigned char header[20] = {};
    const long long got = platform::ReadHostFileHead(host, header, sizeof header);
    if (got == platform::kCannotOpen)
        return "mode=ro";  // SQLite says why it cannot open it
    if (got == platform::kNotAFile)
        throw CppSQLite3Exception(SQLITE_CANTOPEN, host + " is no file");
    const bool full = got == sizeof header;
    const bool wal = full && header[18] == 2 && header[19] == 2;
    if (wal && !(Exists(host + "-wal") && Exists(host + "-shm")))
        return "mode=ro&immutable=1";
    return "mode=ro";
}

[[noreturn]] void Raise(sqlite3* db, int rc, const std::string& what) {
    std::string msg = what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    throw CppSQLite3Exception(rc, msg);
}

}  // namespace

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* stmt, bool eof)
    : m_pDB(db), m_pStmt(stmt), m_bEof(eof) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : m_pDB(other.m_pDB), m_pStmt(other.m_pStmt), m_bEof(other.m_bEof) {
    other.m_pStmt = nullptr;
    other.m_bEof = true;
}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
    if (this != &other) {
        finalize();
        m_pDB = other.m_pDB;
        m_pStmt = other.m_pStmt;
        m_bEof = other.m_bEof;
        other.m_pStmt = nullptr;
        other.m_bEof = true;
    }
    return *this;
}

void CppSQLite3Query::nextRow() {
    if (!m_pStmt)
        throw CppSQLite3Exception(SQLITE_MISUSE, "query finalized");
    int rc = sqlite3_step(m_pStmt);
    if (rc == SQLITE_DONE) {
        m_bEof = true;
    } else if (rc != SQLITE_ROW) {
        Raise(m_pDB, rc, "step");
    }
}

int CppSQLite3Query::numFields() const {
    return m_pStmt ? sqlite3_column_count(m_pStmt) : 0;
}

void CppSQLite3Query::CheckField(int field) const {
    if (!m_pStmt || m_bEof)
        throw CppSQLite3Exception(SQLITE_MISUSE, "no current row");
    if (field < 0 || field >= sqlite3_column_count(m_pStmt))
        throw CppSQLite3Exception(SQLITE_RANGE, "invalid field index");
}

int CppSQLite3Query::getIntField(int field, int nullValue) const {
    CheckField(field);
    if (sqlite3_column_type(m_pStmt, field) == SQLITE_NULL)
        return nullValue;
    return sqlite3_column_int(m_pStmt, field);
}

long long CppSQLite3Query::getInt64Field(int field, long long nullValue) const {
    CheckField(field);
    if (sqlite3_column_type(m_pStmt, field) == SQLITE_NULL)
        return nullValue;
    return sqlite3_column_int64(m_pStmt, field);
}

const char* CppSQLite3Query::getStringField(int field, const char* nullValue) const {
    CheckField(field);
    if (sqlite3_column_type(m_pStmt, field) == SQLITE_NULL)
        return nullValue;
    return reinterpret_cast<const char*>(sqlite3_column_text(m_pStmt, field));
}

bool CppSQLite3Query::fieldIsNull(int field) const {
    CheckField(field);
    return sqlite3_column_type(m_pStmt, field) == SQLITE_NULL;
}

int CppSQLite3Query::fieldDataType(int field) const {
    CheckField(field);
    return sqlite3_column_type(m_pStmt, field);
}

void CppSQLite3Query::finalize() {
    if (m_pStmt)
        sqlite3_finalize(m_pStmt);
    m_pStmt = nullptr;
    m_bEof = true;
}

CppSQLite3Statement::CppSQLite3Statement(CppSQLite3Statement&& other) noexcept
    : m_pDB(other.m_pDB), m_pStmt(other.m_pStmt) {
    other.m_pStmt = nullptr;
}

void CppSQLite3Statement::Check(int rc) {
    if (rc != SQLITE_OK)
        Raise(m_pDB, rc, "bind");
}

void CppSQLite3Statement::bind(int param, long long value) {
    Check(sqlite3_bind_int64(m_pStmt, param, value));
}

void CppSQLite3Statement::bind(int param, const char* text, int length) {
    Check(sqlite3_bind_text(m_pStmt, param, text, length, SQLITE_TRANSIENT));
}

void CppSQLite3Statement::bindNull(int param) {
    Check(sqlite3_bind_null(m_pStmt, param));
}

int CppSQLite3Statement::execDML() {
    int rc = sqlite3_step(m_pStmt);
    sqlite3_reset(m_pStmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        Raise(m_pDB, rc, "execDML");
    return sqlite3_changes(m_pDB);
}

CppSQLite3Query CppSQLite3Statement::Query() {
    int rc = sqlite3_step(m_pStmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        sqlite3_reset(m_pStmt);
        Raise(m_pDB, rc, "query");
    }
    return CppSQLite3Query(m_pDB, m_pStmt, rc == SQLITE_DONE);
}

void CppSQLite3Statement::finalize() {
    if (m_pStmt)
        sqlite3_finalize(m_pStmt);
    m_pStmt = nullptr;
}

void CppSQLite3DB::OpenWith(const std::string& path, int flags) {
    close();
    const bool uri = path.rfind("file:", 0) == 0;
    std::string host = path == ":memory:" || uri ? path : platform::ResolvePath(path);
    if (host.empty())
        throw CppSQLite3Exception(SQLITE_CANTOPEN, "unknown drive: " + path);
    int rc = sqlite3_open_v2(host.c_str(), &m_pDB, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = m_pDB ? sqlite3_errmsg(m_pDB) : sqlite3_errstr(rc);
        close();
        throw CppSQLite3Exception(rc, "open " + path + ": " + msg);
    }
    sqlite3_extended_result_codes(m_pDB, 1);
    // The recorder writes its current minute while we read it: wait out its commits.
    sqlite3_busy_timeout(m_pDB, kBusyTimeoutMs);
}

void CppSQLite3DB::open(const std::string& path) {
    OpenWith(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

void CppSQLite3DB::openReadOnly(const std::string& path) {
    const std::string host = platform::ResolvePath(path);
    if (host.empty())
        throw CppSQLite3Exception(SQLITE_CANTOPEN, "unknown drive: " + path);
    openReadOnlyResolved(host);
}

void CppSQLite3DB::openReadOnlyResolved(const std::string& hostPath) {
    OpenWith(FileUri(hostPath, ReadOnlyQuery(hostPath)), SQLITE_OPEN_READONLY);
}

void CppSQLite3DB::attach(const std::string& path, const std::string& schema, bool readOnly) {
    const std::string host = platform::ResolvePath(path);
    if (host.empty())
        throw CppSQLite3Exception(SQLITE_CANTOPEN, "unknown drive: " + path);
    // A file URI, so that the open mode can be given.
    const std::string uri = FileUri(host, readOnly ? ReadOnlyQuery(host) : "mode=rwc");
    sqlite3_stmt* s = Compile("ATTACH DATABASE ? AS \"" + schema + "\"");
    sqlite3_bind_text(s, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        Raise(m_pDB, rc, "attach " + path);
}

void CppSQLite3DB::detach(const std::string& schema) {
    execDML("DETACH DATABASE \"" + schema + "\"");
}

void CppSQLite3DB::attachMemory(const std::string& schema) {
    execDML("ATTACH DATABASE ':memory:' AS \"" + schema + "\"");
}

std::string CppSQLite3DB::serialize(const std::string& schema) {
    if (!m_pDB)
        throw CppSQLite3Exception(SQLITE_MISUSE, "database not open");
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(m_pDB, schema.c_str(), &size, 0);
    if (!bytes)
        throw CppSQLite3Exception(SQLITE_NOMEM, "serialize " + schema + ": out of memory");
    std::string out(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    sqlite3_free(bytes);
    return out;
}

void CppSQLite3DB::openBytes(const std::string& bytes) {
    OpenWith(":memory:", SQLITE_OPEN_READWRITE);
    auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(bytes.size() ? bytes.size() : 1));
    if (!copy)
        throw CppSQLite3Exception(SQLITE_NOMEM, "out of memory");
    if (!bytes.empty())
        std::memcpy(copy, bytes.data(), bytes.size());
    const int rc =
        sqlite3_deserialize(m_pDB, "main", copy, static_cast<sqlite3_int64>(bytes.size()),
                            static_cast<sqlite3_int64>(bytes.size()),
                            SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY);
    if (rc != SQLITE_OK)
        Raise(m_pDB, rc, "open bytes");
}

void CppSQLite3DB::createIntFunction(const std::string& name,
                                     std::function<long long(long long)> f) {
    if (!m_pDB)
        throw CppSQLite3Exception(SQLITE_MISUSE, "database not open");
    m_functions.push_back(std::make_unique<std::function<long long(long long)>>(std::move(f)));
    auto call = [](sqlite3_context* c, int, sqlite3_value** argv) {
        auto* fn = static_cast<std::function<long long(long long)>*>(sqlite3_user_data(c));
        sqlite3_result_int64(c, (*fn)(sqlite3_value_int64(argv[0])));
    };
    int rc = sqlite3_create_function_v2(m_pDB, name.c_str(), 1,
                                        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
                                        m_functions.back().get(), call, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        Raise(m_pDB, rc, "create function " + name);
}

void CppSQLite3DB::close() {
    if (m_pDB)
        sqlite3_close_v2(m_pDB);
    m_pDB = nullptr;
    m_functions.clear();
}

sqlite3_stmt* CppSQLite3DB::Compile(const std::string& sql) {
    if (!m_pDB)
        throw CppSQLite3Exception(SQLITE_MISUSE, "database not open");
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_pDB, sql.c_str(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK)
        Raise(m_pDB, rc, "prepare");
    return stmt;
}

bool CppSQLite3DB::tableExists(const std::string& table) {
    sqlite3_stmt* s = Compile("select count(*) from sqlite_master where type='table' and name=?");
    sqlite3_bind_text(s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(s);
    int count = rc == SQLITE_ROW ? sqlite3_column_int(s, 0) : 0;
    sqlite3_finalize(s);
    if (rc != SQLITE_ROW)
        Raise(m_pDB, rc, "tableExists");
    return count > 0;
}

int CppSQLite3DB::execDML(const std::string& sql) {
    if (!m_pDB)
        throw CppSQLite3Exception(SQLITE_MISUSE, "database not open");
    char* err = nullptr;
    int rc = sqlite3_exec(m_pDB, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw CppSQLite3Exception(rc, "execDML: " + msg);
    }
    return sqlite3_changes(m_pDB);
}

CppSQLite3Query CppSQLite3DB::execQuery(const std::string& sql) {
    sqlite3_stmt* stmt = Compile(sql);
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE)
        return CppSQLite3Query(m_pDB, stmt, true);
    if (rc == SQLITE_ROW)
        return CppSQLite3Query(m_pDB, stmt, false);
    sqlite3_finalize(stmt);
    Raise(m_pDB, rc, "execQuery");
}

CppSQLite3Statement CppSQLite3DB::compileStatement(const std::string& sql) {
    return CppSQLite3Statement(m_pDB, Compile(sql));
}
