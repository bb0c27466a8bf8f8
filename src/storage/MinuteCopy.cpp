#include "storage/MinuteCopy.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "companions/CppSQLite3.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

struct MinuteCopyError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The selected rows of the source index with their source position and size, read as the
// recorder's reader reads integers (NULL and text as 0).
std::string SelectedRows(const std::string& cameraList) {
    return "(SELECT rowid AS r, ifnull(cast(imgposition AS integer),0) AS pos,"
           " ifnull(cast(imgsize AS integer),0) AS size, camnum, rectime, capstatus, imgwidth,"
           " imgheight, frametype, codectype FROM src.indextable"
           " WHERE ifnull(cast(camnum AS integer),0) IN(" +
           cameraList + "))";
}

// A char(1) column as the recorder's insert statement writes it: the first byte as text; NULL
// and empty values stay as they are.
std::string FirstChar(const char* column) {
    return std::string("CAST(substr(CAST(") + column + " AS BLOB),1,1) AS TEXT)";
}

// Rows for the in-memory table in source row order: the values of the source and reserve the
// character with code 1; the positions are rebased once the order of the pictures is known.
std::string FillMemoryTable(const std::string& cameraList) {
    return "INSERT INTO main.indextable SELECT ifnull(cast(camnum AS integer),0),"
           " ifnull(cast(rectime AS integer),0), " +
           FirstChar("capstatus") +
           ", ifnull(cast(imgwidth AS integer),0), ifnull(cast(imgheight AS integer),0), " +
           FirstChar("frametype") + ", pos, size, " + FirstChar("codectype") + ", char(1) FROM " +
           SelectedRows(cameraList) + " ORDER BY r";
}

struct Picture {
    long long row, pos, size, packed;
};

// The selected pictures in source position order (rows of equal position in row order), with
// the position each takes in the packed output. True when the rows were already in that order,
// as a recorder writes them.
bool OrderPictures(std::vector<Picture>& pictures) {
    auto before = [](const Picture& a, const Picture& b) {
        return a.pos < b.pos || (a.pos == b.pos && a.row < b.row);
    };
    const bool ordered = std::is_sorted(pictures.begin(), pictures.end(), before);
    if (!ordered)
        std::sort(pictures.begin(), pictures.end(), before);
    long long out = 0;
    for (auto& p : pictures) {
        p.packed = out;
        out += p.size;
    }
    return ordered;
}

// The source data file read through a window, so that pictures that follow each other cost
// one read between them rather than one each.
class WindowReader {
  public:
    explicit WindowReader(platform::File& in) : in_(in), window_(kMinuteCopyBuffer) {}
    const char* Get(long long pos, long long size) {
        if (pos < start_ || pos + size > start_ + length_) {
            const long long got =
                in_.ReadAt(window_.data(), window_.size(), static_cast<std::uint64_t>(pos));
            if (got < size)
                throw MinuteCopyError("the source data file could not be read");
            start_ = pos;
            length_ = got;
        }
        return window_.data() + (pos - start_);
    }

  private:
    platform::File& in_;
    std::vector<char> window_;
    long long start_ = 0, length_ = 0;
};

// Output of the data file, gathered so that a minute costs few writes.
class PackedWriter {
  public:
    explicit PackedWriter(platform::File& out) : out_(out), buffer_(kMinuteCopyBuffer) {}
    void Put(const char* data, std::size_t size) {
        if (fill_ + size > buffer_.size())
            Flush();
        std::memcpy(buffer_.data() + fill_, data, size);
        fill_ += size;
    }
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

// The minute segment name followed by "N.dat" or "N.idx".
std::string tail17(const std::string& path) {
    return path.size() > 17 ? path.substr(path.size() - 17) : path;
}

std::string CameraList(const ScheduleEntry& entry) {
    std::string list;
    for (int c = 0; c < kMaxCameras; ++c)
        if (entry.bCam[c])
            list += (list.empty() ? "" : ",") + std::to_string(c);
    return list;
}

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
    const std::string cameras = CameraList(ctx.m_Schedule[static_cast<std::size_t>(entryIndex)]);

    platform::File src;
    if (!src.Open(srcDat, platform::File::kRead))
        return fail("no data file");
    const long long srcLength = src.Length();

    // The source index is attached read only (never created) and read before anything is
    // written, so that a missing, foreign or broken index leaves nothing in the image.
    CppSQLite3DB mem;
    std::vector<Picture> pictures;
    bool packedOrder = true;  // the table's row order is already its position order
    try {
        mem.open(":memory:");
        mem.attach(srcIdx, "src", true);
        {
            CppSQLite3Query layout = mem.execQuery("SELECT * FROM src.indextable LIMIT 1");
            if (layout.numFields() < 10)
                return fail("the index has a foreign table layout");
            if (layout.eof())
                return fail("the index holds no picture");
        }
        mem.execDML(IndexTableCreateStatement());
        mem.execDML(FillMemoryTable(cameras));
        mem.detach("src");

        // Rows that do not address a picture inside the data file fall outside the format: they
        // are left out and the rest of the minute is kept.
        std::vector<long long> outside;
        long long lastRow = 0;
        CppSQLite3Statement list =
            mem.compileStatement("SELECT rowid, imgposition, imgsize FROM main.indextable");
        list.eachRow([&](const CppSQLite3Query& q) {
            const Picture p{q.getInt64Field(0), q.getInt64Field(1), q.getInt64Field(2), 0};
            lastRow = p.row;
            if (p.size < 0 || p.size > static_cast<long long>(kMinuteCopyBuffer) || p.pos < 0 ||
                p.pos + p.size > srcLength)
                outside.push_back(p.row);
            else
                pictures.push_back(p);
        });
        list.finalize();
        if (!outside.empty()) {
            CppSQLite3Statement drop =
                mem.compileStatement("DELETE FROM main.indextable WHERE rowid = ?");
            for (long long row : outside) {
                drop.bind(1, row);
                drop.execDML();
            }
            ctx.m_report.Fail(tail17(srcDat) + ": " + std::to_string(outside.size()) +
                              " pictures lie outside the data file and were left out");
        }
        packedOrder = OrderPictures(pictures);
        std::vector<long long> packedByRow(static_cast<std::size_t>(lastRow) + 1, 0);
        for (const auto& p : pictures)
            packedByRow[static_cast<std::size_t>(p.row)] = p.packed;
        mem.createIntFunction("packedpos", [&packedByRow](long long row) {
            return row > 0 && static_cast<std::size_t>(row) < packedByRow.size()
                       ? packedByRow[static_cast<std::size_t>(row)]
                       : 0;
        });
        mem.execDML("UPDATE main.indextable SET imgposition = packedpos(rowid)");
    } catch (const CppSQLite3Exception& e) {
        return fail(std::string("index not readable: ") + e.errorMessage());
    }

    platform::File dst;
    if (!dst.Open(dstDat, platform::File::kCreateWrite))
        return fail("the destination data file could not be created");

    ctx.SetStatusText(tail17(dstDat) + " " + ctx.GetLanguageText("BACKUP", "M010034"));

    try {
        {
            WindowReader in(src);
            PackedWriter out(dst);
            for (const auto& p : pictures)
                out.Put(in.Get(p.pos, p.size), static_cast<std::size_t>(p.size));
            out.Flush();
        }
        // A table left by an earlier run into the same folder is replaced, so that the rows
        // always describe the data file just written; one transaction per minute.
        mem.attach(dstIdx, "dst", false);
        // No journal and no flush per minute: a minute that fails is removed whole instead of
        // rolled back, and a folder image is flushed once when the pass is complete.
        mem.execDML("PRAGMA dst.journal_mode=OFF; PRAGMA dst.synchronous=OFF;");
        mem.execDML("BEGIN TRANSACTION");
        mem.execDML("DROP TABLE IF EXISTS dst.indextable");
        mem.execDML("CREATE TABLE dst." + IndexTableCreateStatement().substr(13));
        mem.execDML(
            std::string("INSERT INTO dst.indextable SELECT * FROM main.indextable ORDER BY ") +
            (packedOrder ? "rowid" : "imgposition, rowid"));
        mem.execDML("COMMIT TRANSACTION");
        mem.detach("dst");
        mem.close();
    } catch (const std::exception& e) {
        // Index and data must agree: a minute that could not be finished is removed whole.
        mem.close();
        dst.Close();
        platform::DeleteFile(dstDat);
        platform::DeleteFile(dstIdx);
        platform::DeleteFile(dstIdx + "-journal");
        return fail(e.what());
    }

    const long long written = dst.Length();
    dst.Close();
    ctx.m_nDoneSize += static_cast<DWORD>(written / 1024);
    ctx.m_report.minutesRebuilt++;
    UpdateBackupProgress(ctx);
    return 1;
}
