#include "storage/MinuteCopy.h"

#include <stdexcept>
#include <vector>

#include "companions/CppSQLite3.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

const char kReserve[2] = {'\x01', '\0'};

struct MinuteCopyError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Binds the first character of a char(1) column as the one-character text the recorder's own
// insert statement writes; NULL and empty values are kept as they are.
void BindCharColumn(CppSQLite3Statement& stmt, int param, const CppSQLite3Query& q, int field) {
    if (q.fieldIsNull(field)) {
        stmt.bindNull(param);
        return;
    }
    const char* s = q.getStringField(field, "");
    stmt.bind(param, s, s[0] ? 1 : 0);
}

// Copies the row's other values unchanged, with the position and reserve given.
void BindRow(CppSQLite3Statement& ins, const CppSQLite3Query& q, long long position) {
    ins.bind(1, q.getIntField(0));
    ins.bind(2, q.getIntField(1));
    BindCharColumn(ins, 3, q, 2);
    ins.bind(4, q.getIntField(3));
    ins.bind(5, q.getIntField(4));
    BindCharColumn(ins, 6, q, 5);
    ins.bind(7, position);
    ins.bind(8, q.getIntField(7));
    BindCharColumn(ins, 9, q, 8);
    ins.bind(10, kReserve, 1);
}

const char kInsert[] = "insert into indextable values(?,?,?,?,?,?,?,?,?,?);";

// Output of the data file, gathered in the copy buffer so that a minute costs few writes.
class PackedWriter {
  public:
    explicit PackedWriter(platform::File& out) : out_(out), buffer_(kMinuteCopyBuffer) {}
    char* Reserve(std::size_t size) {
        if (fill_ + size > buffer_.size())
            Flush();
        return buffer_.data() + fill_;
    }
    void Commit(std::size_t size) { fill_ += size; }
    void Flush() {
        if (fill_ && !out_.Write(buffer_.data(), fill_))
            throw MinuteCopyError("the destination data file could not be written");
        fill_ = 0;
    }

  private:
    platform::File& out_;
    std::vector<char> buffer_;
    std::size_t fill_ = 0;
};

}  // namespace

std::string IndexTableCreateStatement() {
    return "CREATE TABLE indextable(camnum int,rectime int,capstatus char(1),imgwidth int,"
           "imgheight int,frametype char(1),imgposition int,imgsize int,codectype char(1),"
           "reserve char(1));";
}

int CopyMinuteSegment(BackupContext& ctx, int entryIndex, const std::string& sourcePrefix,
                      const std::string& destPrefix, std::string* why) {
    const std::string srcIdx = sourcePrefix + "N.idx", srcDat = sourcePrefix + "N.dat";
    const std::string dstIdx = destPrefix + "N.idx", dstDat = destPrefix + "N.dat";
    auto fail = [why](const std::string& what) {
        if (why)
            *why = what;
        return 0;
    };
    const ScheduleEntry& entry = ctx.m_Schedule[static_cast<std::size_t>(entryIndex)];

    platform::File src;
    if (!src.Open(srcDat, platform::File::kRead))
        return fail("no data file");
    const long long srcLength = src.Length();

    // The source index is opened (read only, never created) and queried before anything is
    // written, so that a missing, foreign or broken index leaves nothing in the image.
    CppSQLite3DB srcDb;
    CppSQLite3Query rows;
    try {
        srcDb.openReadOnly(srcIdx);
        rows = srcDb.execQuery("select * from indextable order by imgposition");
        if (rows.numFields() < 10)
            return fail("the index has a foreign table layout");
    } catch (const CppSQLite3Exception& e) {
        return fail(std::string("index not readable: ") + e.errorMessage());
    }

    platform::File dst;
    if (!dst.Open(dstDat, platform::File::kCreateWrite))
        return fail("the destination data file could not be created");

    const std::string tail = dstDat.size() > 17 ? dstDat.substr(dstDat.size() - 17) : dstDat;
    ctx.SetStatusText(tail + " " + ctx.GetLanguageText("BACKUP", "M010034"));

    bool anyRow = false;
    try {
        CppSQLite3DB mem;
        mem.open(":memory:");
        mem.execDML(IndexTableCreateStatement());
        {
            CppSQLite3Statement ins = mem.compileStatement(kInsert);
            PackedWriter out(dst);
            long long outPos = 0;
            for (; !rows.eof(); rows.nextRow()) {
                anyRow = true;
                const int cam = rows.getIntField(0);
                if (cam < 0 || cam >= kMaxCameras || entry.bCam[cam] == 0)
                    continue;
                const long long pos = rows.getInt64Field(6);
                const long long size = rows.getInt64Field(7);
                // Rows outside the format are passed over; the rest of the minute is kept.
                if (size < 0 || size > static_cast<long long>(kMinuteCopyBuffer) || pos < 0 ||
                    pos + size > srcLength)
                    continue;
                char* at = out.Reserve(static_cast<std::size_t>(size));
                if (src.ReadAt(at, static_cast<std::size_t>(size),
                               static_cast<std::uint64_t>(pos)) != size)
                    throw MinuteCopyError("the source data file could not be read");
                out.Commit(static_cast<std::size_t>(size));
                BindRow(ins, rows, outPos);
                ins.execDML();
                outPos += size;
            }
            out.Flush();
        }
        rows.finalize();
        srcDb.close();

        CppSQLite3DB dstDb;
        dstDb.open(dstIdx);
        // A table left by an earlier run into the same folder is replaced, so that the rows
        // always describe the data file just written.
        dstDb.execDML("BEGIN TRANSACTION");
        dstDb.execDML("DROP TABLE IF EXISTS indextable");
        dstDb.execDML(IndexTableCreateStatement());
        CppSQLite3Statement put = dstDb.compileStatement(kInsert);
        CppSQLite3Query mine = mem.execQuery("select * from indextable order by imgposition");
        for (; !mine.eof(); mine.nextRow()) {
            BindRow(put, mine, mine.getInt64Field(6));
            put.execDML();
        }
        mine.finalize();
        put.finalize();
        dstDb.execDML("COMMIT TRANSACTION");
        dstDb.close();
    } catch (const std::exception& e) {
        // Index and data must agree: a minute that could not be finished is removed whole.
        dst.Close();
        platform::DeleteFile(dstDat);
        platform::DeleteFile(dstIdx);
        platform::DeleteFile(dstIdx + "-journal");
        return fail(e.what());
    }

    const long long written = dst.Length();
    dst.Close();
    if (!anyRow)
        return fail("the index holds no picture");
    ctx.m_nDoneSize += static_cast<DWORD>(written / 1024);
    ctx.m_report.minutesRebuilt++;
    UpdateBackupProgress(ctx);
    return 1;
}
