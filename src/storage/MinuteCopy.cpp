#include "storage/MinuteCopy.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "companions/CppSQLite3.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/WriteTap.h"
#include "storage/IndexSnapshot.h"
#include "storage/PictureRows.h"

namespace storage {
namespace {

// A failure on the destination's side, with the platform's error code.
struct DestinationError : std::runtime_error {
    DestinationError(const std::string& what, DWORD error)
        : std::runtime_error(what), code(error) {}
    DWORD code;
};
struct SourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A char(1) column as the recorder's insert statement writes it: the first byte as text; NULL
// and empty values stay as they are.
std::string FirstChar(const char* column) {
    std::string s = "CAST(substr(CAST(";
    s += column;
    s += " AS BLOB),1,1) AS TEXT)";
    return s;
}

// The cameras' pictures into the in-memory table, in source row order, with the values of the
// source and reserve the character with code 1; positions are rebased once the order is known.
std::string FillMemoryTable(const CameraSet& cameras) {
    std::string q = "INSERT INTO main.indextable SELECT ifnull(cast(camnum AS integer),0),";
    q += " ifnull(cast(rectime AS integer),0), " + FirstChar("capstatus");
    q += ", ifnull(cast(imgwidth AS integer),0), ifnull(cast(imgheight AS integer),0), ";
    q += FirstChar("frametype") + ", pos, CAST(size AS INTEGER), " + FirstChar("codectype") +
         ", char(1) FROM (";
    q += SelectRows("src", cameras, Rows::kPictures) + ") ORDER BY r";
    return q;
}

struct Picture {
    long long row, pos, size, packed;
};

// The pictures in source position order (rows of equal position in row order), with the
// position each takes in the packed output. True when the rows were already in that order, as
// a recorder writes them.
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
    explicit WindowReader(platform::File& in) : in_(in), window_(kMaxPictureBytes) {}
    const char* Get(long long pos, long long size) {
        if (pos < start_ || pos - start_ > length_ - size) {
            const long long got =
                in_.ReadAt(window_.data(), window_.size(), static_cast<std::uint64_t>(pos));
            if (got < size)
                throw SourceError("the source data file could not be read");
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
    explicit PackedWriter(platform::AtomicFile& out) : out_(out), buffer_(kMaxPictureBytes) {}
    void Put(const char* data, std::size_t size) {
        if (fill_ + size > buffer_.size())
            Flush();
        std::memcpy(buffer_.data() + fill_, data, size);
        fill_ += size;
    }
    void Flush() {
        if (fill_ && !out_.Write(buffer_.data(), fill_))
            throw DestinationError("the destination data file could not be written",
                                   platform::GetLastError());
        fill_ = 0;
    }

  private:
    platform::AtomicFile& out_;
    std::vector<char> buffer_;
    std::size_t fill_ = 0;
};

DWORD ErrorOfDatabase(int code) {
    switch (code & 0xff) {
        case SQLITE_FULL:
            return platform::ERROR_DISK_FULL;
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return platform::ERROR_ACCESS_DENIED;
        case SQLITE_CANTOPEN:
            return platform::ERROR_PATH_NOT_FOUND;
        default:
            return platform::ERROR_WRITE_FAULT;
    }
}

// Reads the cameras' rows of the source index into the in-memory table, with their packed
// positions. Returns the pictures in output order; throws SourceError when the index cannot be
// used, and counts in leftOut the rows that address no picture.
std::vector<Picture> ReadSourceIndex(CppSQLite3DB& mem, const std::string& srcIdx,
                                     const CameraSet& cameras, long long srcLength,
                                     long long& leftOut, RowsOutside& leftOutByCamera,
                                     bool& packedOrder, bool& empty) {
    // Attached read only (never created) and read before anything is written, so that a
    // missing, foreign or broken index leaves nothing in the destination.
    mem.attach(srcIdx, "src", true);
    {
        CppSQLite3Query layout = mem.execQuery("SELECT * FROM src.indextable LIMIT 1");
        if (layout.numFields() < 10)
            throw SourceError("the index has a foreign table layout");
        empty = layout.eof();
    }
    mem.execDML(IndexTableCreateStatement());
    if (empty) {
        mem.detach("src");
        return {};
    }
    {
        CppSQLite3Statement fill = mem.compileStatement(FillMemoryTable(cameras));
        fill.bind(1, srcLength);
        fill.execDML();
        CppSQLite3Statement outside = mem.compileStatement(CountRowsOutside("src", cameras));
        outside.bind(1, srcLength);
        outside.eachRow([&](const CppSQLite3Query& q) {
            leftOutByCamera[static_cast<int>(q.getInt64Field(0))] += q.getInt64Field(1);
            leftOut += q.getInt64Field(1);
        });
    }
    mem.detach("src");

    std::vector<Picture> pictures;
    CppSQLite3Statement list =
        mem.compileStatement("SELECT rowid, imgposition, imgsize FROM main.indextable");
    list.eachRow([&](const CppSQLite3Query& q) {
        pictures.push_back({q.getInt64Field(0), q.getInt64Field(1), q.getInt64Field(2), 0});
    });
    list.finalize();
    packedOrder = OrderPictures(pictures);
    // The table's rowids are its own, 1 to the number of rows.
    std::vector<long long> packedByRow(pictures.size() + 1, 0);
    for (const auto& p : pictures)
        if (p.row > 0 && static_cast<std::size_t>(p.row) < packedByRow.size())
            packedByRow[static_cast<std::size_t>(p.row)] = p.packed;
    mem.createIntFunction("packedpos", [&packedByRow](long long row) {
        return row > 0 && static_cast<std::size_t>(row) < packedByRow.size()
                   ? packedByRow[static_cast<std::size_t>(row)]
                   : 0;
    });
    mem.execDML("UPDATE main.indextable SET imgposition = packedpos(rowid)");
    return pictures;
}

}  // namespace

std::string IndexTableCreateStatement() {
    return "CREATE TABLE indextable(camnum int,rectime int,capstatus char(1),imgwidth int,"
           "imgheight int,frametype char(1),imgposition int,imgsize int,codectype char(1),"
           "reserve char(1));";
}

MinuteCopyResult CopyMinuteSegment(const CameraSet& cameras, const std::string& sourcePrefix,
                                   const std::string& destPrefix,
                                   const std::function<void()>& onCopying) {
    MinuteCopyResult r;
    const std::string srcIdx = sourcePrefix + "N.idx", srcDat = sourcePrefix + "N.dat";
    platform::File src;
    if (!src.Open(srcDat, platform::File::kRead)) {
        r.why = "no data file";
        return r;
    }
    const long long srcLength = src.Length();

    CppSQLite3DB mem;
    std::vector<Picture> pictures;
    bool packedOrder = true, empty = false;
    try {
        mem.open(":memory:");
        pictures = ReadSourceIndex(mem, srcIdx, cameras, srcLength, r.picturesLeftOut,
                                   r.leftOutByCamera, packedOrder, empty);
    } catch (const CppSQLite3Exception& e) {
        const std::string damage = IndexDamageText(e.errorCode(), e.errorMessage());
        r.why = damage.empty() ? std::string("index not readable: ") + e.what() : damage;
        r.recordingDamaged = !damage.empty();
        return r;
    } catch (const SourceError& e) {
        r.why = std::string("the recording is damaged: ") + e.what();
        r.recordingDamaged = true;
        return r;
    } catch (const std::exception& e) {
        r.why = std::string("index not readable: ") + e.what();
        return r;
    }
    if (empty) {
        r.why = "the index holds no picture";
        return r;
    }

    platform::AtomicFile dat, idx;
    try {
        if (!dat.Create(destPrefix + "N.dat"))
            throw DestinationError("the destination data file could not be created",
                                   platform::GetLastError());
        if (onCopying)
            onCopying();
        {
            WindowReader in(src);
            PackedWriter out(dat);
            for (const auto& p : pictures)
                out.Put(in.Get(p.pos, p.size), static_cast<std::size_t>(p.size));
            out.Flush();
        }
        r.dataBytes = dat.file().Length();
        if (!idx.Create(destPrefix + "N.idx"))
            throw DestinationError("the destination index could not be created",
                                   platform::GetLastError());
        try {
            // Built in memory and written as bytes, so that what reaches the file passes
            // through this thread's write tap like every other file of the image.
            mem.attachMemory("dst");
            mem.execDML("BEGIN TRANSACTION");
            mem.execDML("CREATE TABLE dst." + IndexTableCreateStatement().substr(13));
            mem.execDML(
                std::string("INSERT INTO dst.indextable SELECT * FROM main.indextable ORDER BY ") +
                (packedOrder ? "rowid" : "imgposition, rowid"));
            mem.execDML("COMMIT TRANSACTION");
            const std::string bytes = mem.serialize("dst");
            mem.detach("dst");
            if (!idx.Write(bytes.data(), bytes.size()))
                throw DestinationError("the destination index could not be written",
                                       platform::GetLastError());
        } catch (const CppSQLite3Exception& e) {
            throw DestinationError(
                std::string("the destination index could not be made: ") + e.errorMessage(),
                ErrorOfDatabase(e.errorCode()));
        }
        mem.close();
        if (!dat.Commit())
            throw DestinationError("the minute's data file could not take its name",
                                   platform::GetLastError());
        if (!idx.Commit()) {
            const DWORD code = platform::GetLastError();
            platform::WithdrawWrittenFile(dat.finalHostPath());  // a data file without its index
            throw DestinationError("the minute's index could not take its name", code);
        }
    } catch (const DestinationError& e) {
        r.why = e.what();
        r.destinationFailed = true;
        r.error = e.code;
        return r;
    } catch (const std::exception& e) {
        r.why = e.what();
        return r;
    }
    r.result = 1;
    return r;
}

}  // namespace storage
