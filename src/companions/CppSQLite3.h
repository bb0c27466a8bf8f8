#pragma once
// A thin query wrapper over SQLite 3. Every failure raises CppSQLite3Exception.
#include <sqlite3.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class CppSQLite3Exception : public std::runtime_error {
  public:
    CppSQLite3Exception(int code, const std::string& message)
        : std::runtime_error(message), m_nErrCode(code) {}
    int errorCode() const { return m_nErrCode; }
    const char* errorMessage() const { return what(); }

  private:
    int m_nErrCode;
};

class CppSQLite3Query {
  public:
    CppSQLite3Query() = default;
    CppSQLite3Query(sqlite3* db, sqlite3_stmt* stmt, bool eof);
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    ~CppSQLite3Query() { finalize(); }

    bool eof() const { return m_bEof; }
    void nextRow();
    int numFields() const;
    int getIntField(int field, int nullValue = 0) const;
    long long getInt64Field(int field, long long nullValue = 0) const;
    const char* getStringField(int field, const char* nullValue = "") const;
    bool fieldIsNull(int field) const;
    // SQLITE_INTEGER, SQLITE_TEXT, ... of the current row's value.
    int fieldDataType(int field) const;
    void finalize();
    // Lets go of the statement without finalizing it (it belongs to a CppSQLite3Statement).
    void Release() {
        m_pStmt = nullptr;
        m_bEof = true;
    }

  private:
    void CheckField(int field) const;
    sqlite3* m_pDB = nullptr;
    sqlite3_stmt* m_pStmt = nullptr;
    bool m_bEof = true;
};

// A prepared statement with bound parameters (1-based), run again after reset().
class CppSQLite3Statement {
  public:
    CppSQLite3Statement(sqlite3* db, sqlite3_stmt* stmt) : m_pDB(db), m_pStmt(stmt) {}
    CppSQLite3Statement(CppSQLite3Statement&& other) noexcept;
    CppSQLite3Statement(const CppSQLite3Statement&) = delete;
    CppSQLite3Statement& operator=(const CppSQLite3Statement&) = delete;
    ~CppSQLite3Statement() { finalize(); }

    void bind(int param, long long value);
    void bind(int param, const char* text, int length);  // a copy of the bytes is bound
    void bindNull(int param);
    int execDML();  // rows changed; resets the statement for the next run
    // Runs the statement as a query and calls f with each result row; resets it afterwards.
    template <typename F>
    void eachRow(F f) {
        CppSQLite3Query q = Query();
        struct Done {
            CppSQLite3Query& q;
            sqlite3_stmt* stmt;
            ~Done() {
                q.Release();
                sqlite3_reset(stmt);
            }
        } done{q, m_pStmt};
        for (; !q.eof(); q.nextRow())
            f(static_cast<const CppSQLite3Query&>(q));
    }
    void finalize();

  private:
    CppSQLite3Query Query();
    void Check(int rc);
    sqlite3* m_pDB;
    sqlite3_stmt* m_pStmt;
};

class CppSQLite3DB {
  public:
    // How long a statement waits for another connection's lock before it fails as busy.
    static constexpr int kBusyTimeoutMs = 5000;

    CppSQLite3DB() = default;
    ~CppSQLite3DB() { close(); }
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;

    // Opens or creates the database (a drive path, a host path or ":memory:").
    void open(const std::string& path);
    // Opens an existing database for reading only; never creates a file.
    void openReadOnly(const std::string& path);
    // The same for a host path already looked up (from a listing), not looked up again.
    void openReadOnlyResolved(const std::string& hostPath);
    void close();
    // Attaches another database file under schema: read only (never created) or read-write
    // (created when missing). The path may be a drive path or a host path.
    void attach(const std::string& path, const std::string& schema, bool readOnly);
    void detach(const std::string& schema);
    // Attaches a new, empty database held in memory under schema.
    void attachMemory(const std::string& schema);
    // The bytes a file of the schema's database would hold.
    std::string serialize(const std::string& schema);
    // Opens the bytes of a database file, held in memory, for reading only.
    void openBytes(const std::string& bytes);
    // Makes an SQL function of one integer argument with an integer result available to the
    // statements of this connection (until it closes).
    void createIntFunction(const std::string& name, std::function<long long(long long)> f);
    bool tableExists(const std::string& table);
    int execDML(const std::string& sql);
    CppSQLite3Query execQuery(const std::string& sql);
    CppSQLite3Statement compileStatement(const std::string& sql);

  private:
    void OpenWith(const std::string& path, int flags);
    sqlite3_stmt* Compile(const std::string& sql);
    sqlite3* m_pDB = nullptr;
    std::vector<std::unique_ptr<std::function<long long(long long)>>> m_functions;
};
