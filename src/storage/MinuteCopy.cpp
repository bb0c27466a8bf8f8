#include "storage/MinuteCopy.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <thread>
#include <utility>
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
// Goes on when status is done; else the destination failed, as what says.
void Must(const platform::Status& status, const char* what) {
    if (!status)
        throw DestinationError(what, status.code());
}
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

// The cameras' pictures, in source row order, with the values of the source, the packed
// position each takes and reserve the character with code 1.
std::string RebuiltRows(const CameraSet& cameras, bool packedOrder) {
    std::string q =
        "SELECT ifnull(cast(camnum AS integer),0), ifnull(cast(rectime AS integer),0), ";
    q += FirstChar("capstatus");
    q += ", ifnull(cast(imgwidth AS integer),0), ifnull(cast(imgheight AS integer),0), ";
    q += FirstChar("frametype") + ", packedpos(r), CAST(size AS INTEGER), " +
         FirstChar("codectype") + ", char(1) FROM (";
    q += SelectRows("src", cameras, Rows::kPictures) + ") ORDER BY ";
    q += packedOrder ? "r" : "packedpos(r), r";
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
        if (fill_)
            Must(out_.Write(buffer_.data(), fill_),
                 "the destination data file could not be written");
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

// The source index as the copy needs it: the pictures in output order, and the rebuilt index as
// bytes or why it could not be made.
struct SourceIndex {
    std::vector<Picture> pictures;
    bool packedOrder = true;
    bool empty = false;
    std::string bytes;
    std::string problem;  // set: the rebuilt index could not be made
    DWORD error = 0;
    std::exception_ptr failure;
};

// Where a picture lies, as an int column takes the source's value (a number given as text
// becomes the number): for the rare position stored as text or as a blob.
void TakePositionsAsNumbers(CppSQLite3DB& db, const CameraSet& cameras, long long srcLength,
                            std::vector<Picture>& pictures) {
    db.execDML("CREATE TEMP TABLE positions(r INTEGER PRIMARY KEY, pos int)");
    CppSQLite3Statement fill = db.compileStatement(
        "INSERT INTO temp.positions SELECT r, pos FROM (" +
        SelectRows("src", cameras, Rows::kPictures) + ") WHERE typeof(pos) IN ('text','blob')");
    fill.bind(1, srcLength);
    fill.execDML();
    CppSQLite3Statement list = db.compileStatement("SELECT r, pos FROM temp.positions");
    list.eachRow([&](const CppSQLite3Query& q) {
        const long long row = q.getInt64Field(0);
        auto at = std::lower_bound(pictures.begin(), pictures.end(), row,
                                   [](const Picture& p, long long r) { return p.row < r; });
        if (at != pictures.end() && at->row == row)
            at->pos = q.getInt64Field(1);
    });
    list.finalize();
    db.execDML("DROP TABLE temp.positions");
}

// The rebuilt index of the pictures into out, in a database in memory, serialized, so that
// what reaches the file passes through this thread's write tap like every other file of the
// image. Its rows come straight from the source, within the read transaction of the caller.
void BuildIndex(CppSQLite3DB& db, const CameraSet& cameras, long long srcLength, SourceIndex& out) {
    // The packed position of a source row, by its rowid.
    std::vector<std::pair<long long, long long>> packedByRow;
    packedByRow.reserve(out.pictures.size());
    for (const auto& p : out.pictures)
        packedByRow.emplace_back(p.row, p.packed);
    std::sort(packedByRow.begin(), packedByRow.end());
    db.createIntFunction("packedpos", [packedByRow = std::move(packedByRow)](long long row) {
        auto at = std::lower_bound(packedByRow.begin(), packedByRow.end(),
                                   std::make_pair(row, std::numeric_limits<long long>::min()));
        return at != packedByRow.end() && at->first == row ? at->second : 0;
    });
    db.attachMemory("dst");
    db.execDML("CREATE TABLE dst." + IndexTableCreateStatement().substr(13));
    CppSQLite3Statement fill =
        db.compileStatement("INSERT INTO dst.indextable " + RebuiltRows(cameras, out.packedOrder));
    fill.bind(1, srcLength);
    fill.execDML();
    fill.finalize();
    db.execDML("COMMIT TRANSACTION");
    out.bytes = db.serialize("dst");
    db.detach("dst");
}

// BuildIndex, with what went wrong kept as the destination's failure.
void BuildIndexOrSayWhy(CppSQLite3DB& db, const CameraSet& cameras, long long srcLength,
                        SourceIndex& out) {
    try {
        BuildIndex(db, cameras, srcLength, out);
    } catch (const CppSQLite3Exception& e) {
        out.problem = std::string("the destination index could not be made: ") + e.errorMessage();
        out.error = ErrorOfDatabase(e.errorCode());
    } catch (...) {
        out.failure = std::current_exception();  // thrown again on the copy's thread
    }
}

// Reads the cameras' rows of the source index in a read transaction that stays open for
// BuildIndex: the pictures with their packed positions, and the rows that address no picture
// counted in leftOut. Throws SourceError or the library's error when the index cannot be used.
SourceIndex ReadSourceIndex(CppSQLite3DB& db, const std::string& srcIdx, const CameraSet& cameras,
                            long long srcLength, long long& leftOut, RowsOutside& leftOutByCamera) {
    SourceIndex out;
    // Attached read only (never created) and read before anything is written, so that a
    // missing, foreign or broken index leaves nothing in the destination.
    db.attach(srcIdx, "src", true);
    db.execDML("BEGIN TRANSACTION");
    {
        CppSQLite3Query layout = db.execQuery("SELECT * FROM src.indextable LIMIT 1");
        if (layout.numFields() < 10)
            throw SourceError("the index has a foreign table layout");
        out.empty = layout.eof();
    }
    if (out.empty)
        return out;
    {
        // One pass over the cameras' rows: the pictures, and per camera the rows that are none.
        CppSQLite3Statement rows = db.compileStatement(
            "SELECT rowid, imgposition, CAST(imgsize AS INTEGER), CAST(camnum AS INTEGER), "
            "typeof(imgposition) IN ('text','blob'), (" +
            PictureCondition() + ") IS 1 FROM src.indextable WHERE " + CameraCondition(cameras) +
            " ORDER BY rowid");
        rows.bind(1, srcLength);
        bool textPositions = false;
        rows.eachRow([&](const CppSQLite3Query& q) {
            if (q.getInt64Field(5)) {
                out.pictures.push_back(
                    {q.getInt64Field(0), q.getInt64Field(1), q.getInt64Field(2), 0});
                textPositions = textPositions || q.getInt64Field(4);
            } else {
                leftOutByCamera[static_cast<int>(q.getInt64Field(3))]++;
                leftOut++;
            }
        });
        rows.finalize();
        if (textPositions)
            TakePositionsAsNumbers(db, cameras, srcLength, out.pictures);
    }
    out.packedOrder = OrderPictures(out.pictures);
    return out;
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

    CppSQLite3DB db;
    SourceIndex index;
    try {
        db.open(":memory:");
        index =
            ReadSourceIndex(db, srcIdx, cameras, srcLength, r.picturesLeftOut, r.leftOutByCamera);
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
    if (index.empty) {
        r.why = "the index holds no picture";
        return r;
    }

    // The index is rebuilt on a thread of its own while the pictures are copied: neither needs
    // the other, and each is a good part of the work.
    std::jthread builder([&] { BuildIndexOrSayWhy(db, cameras, srcLength, index); });
    platform::AtomicFile dat, idx;
    try {
        Must(dat.Create(destPrefix + "N.dat"), "the destination data file could not be created");
        if (onCopying)
            onCopying();
        {
            WindowReader in(src);
            PackedWriter out(dat);
            for (const auto& p : index.pictures)
                out.Put(in.Get(p.pos, p.size), static_cast<std::size_t>(p.size));
            out.Flush();
        }
        r.dataBytes = dat.file().Length();
        builder.join();
        Must(idx.Create(destPrefix + "N.idx"), "the destination index could not be created");
        if (index.failure)
            std::rethrow_exception(index.failure);
        if (!index.problem.empty())
            throw DestinationError(index.problem, index.error);
        Must(idx.Write(index.bytes.data(), index.bytes.size()),
             "the destination index could not be written");
        Must(dat.Commit(), "the minute's data file could not take its name");
        if (const platform::Status named = idx.Commit(); !named) {
            platform::WithdrawWrittenFile(dat.finalHostPath());  // a data file without its index
            throw DestinationError("the minute's index could not take its name", named.code());
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
