#include "storage/SizeEstimate.h"

#include <limits>

#include "companions/CppSQLite3.h"
#include "platform/FolderIndex.h"
#include "storage/PictureRows.h"
#include "storage/RecorderPaths.h"

namespace storage {

namespace {

// The sum and count of the cameras' pictures, as one flat query: it is prepared once for every
// minute's index, so that a short one costs less to compile.
std::string FiguresQuery(const CameraSet& cameras) {
    return "SELECT sum(imgsize), count(*) FROM main.indextable WHERE " + CameraCondition(cameras) +
           " AND " + PictureCondition();
}

MinuteFigures Figures(const std::string& indexPath, bool resolved, long long dataLength,
                      const std::string& query) {
    MinuteFigures out;
    if (dataLength < 0)
        return out;  // no data file: the copy takes nothing of this minute
    // A wrapper error (an index that is not a database or has no table) counts the minute as 0.
    try {
        CppSQLite3DB db;
        if (resolved)
            db.openReadOnlyResolved(indexPath);
        else
            db.openReadOnly(indexPath);
        CppSQLite3Statement q = db.compileStatement(query);
        q.bind(1, dataLength);
        q.eachRow([&](const CppSQLite3Query& row) {
            out.bytes += row.getInt64Field(0);
            out.pictures += row.getInt64Field(1);
        });
    } catch (const CppSQLite3Exception&) {
        return MinuteFigures{};
    }
    return out;
}

}  // namespace

MinuteFigures QueryMinuteFigures(const std::string& indexPath, long long dataLength,
                                 const CameraSet& cameras) {
    return Figures(indexPath, false, dataLength, FiguresQuery(cameras));
}

EstimateTotals EstimateRange(const EstimateRequest& r) {
    EstimateTotals t;
    if (r.startHour > r.endHour)
        return t;
    const platform::FolderIndex dayFolder(paths::DayFolder(r.root, r.day));
    const platform::FolderIndex audioFolder(paths::DayFolder(r.root, r.day) + "\\Audio");
    const int endKey = r.endHour * 100 + r.endMinute;
    const std::string query = FiguresQuery(r.cameras);
    for (int h = r.startHour; h <= r.endHour && h < 24; ++h) {
        for (int m = (h == r.startHour ? r.startMinute : 0); m < 60; ++m) {
            if (h * 100 + m > endKey)
                break;
            if (h < 0 || m < 0 || !r.hourHasRec[h] || !r.minuteHasRec[h * 60 + m])
                continue;
            const std::string segment = paths::SegmentName(r.day, h, m);
            platform::FindData idx, dat;
            if (dayFolder.Find(segment + "N.idx", idx) && dayFolder.Find(segment + "N.dat", dat)) {
                const MinuteFigures fig =
                    Figures(idx.hostPath, true, static_cast<long long>(dat.size), query);
                t.kb += fig.bytes / 1024;
                t.pictures += fig.pictures;
            }
            for (std::size_t c = 0; c < r.cameras.size(); ++c) {
                platform::FindData audio;
                if (r.cameras[c] &&
                    audioFolder.Find(segment + paths::AudioSuffix(r.modelCode) + std::to_string(c),
                                     audio))
                    t.kb += static_cast<long long>(audio.size / 1024);
            }
        }
    }
    return t;
}

DWORD EntrySizeKB(const EstimateTotals& totals) {
    const long long kb = totals.kb + totals.pictures / kPicturesPerAllowanceKB + kEntryMarginKB;
    constexpr long long kMax = std::numeric_limits<DWORD>::max();
    return static_cast<DWORD>(kb > kMax ? kMax : kb);
}

std::string BuildCameraWhereClause(const CameraSet& cameras) {
    return "where camnum in(" + CameraList(cameras) + ")";
}

}  // namespace storage
