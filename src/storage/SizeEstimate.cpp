#include "storage/SizeEstimate.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

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

// Below this many indexes a thread more does not pay for itself.
constexpr std::size_t kIndexesPerThread = 32;
constexpr std::size_t kMaxThreads = 4;

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

// Each index is a database of its own, opened, asked and closed: the work of a day is the
// processor's, not the disk's, and is shared among threads that take the next index in turn.
// The kilobytes of each index, rounded down, and its pictures; whole numbers, so the order of
// the sums does not matter.
EstimateTotals SumIndexes(const std::vector<std::pair<std::string, long long>>& indexes,
                          const std::string& query) {
    std::atomic<std::size_t> next{0};
    std::atomic<long long> kb{0}, pictures{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto work = [&] {
        long long ownKb = 0, ownPictures = 0;
        try {
            for (std::size_t i; (i = next.fetch_add(1)) < indexes.size();) {
                const MinuteFigures fig = Figures(indexes[i].first, true, indexes[i].second, query);
                ownKb += fig.bytes / 1024;
                ownPictures += fig.pictures;
            }
        } catch (...) {
            // Thrown again on the caller's thread, as when it asked every index itself.
            next = indexes.size();
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
        }
        kb += ownKb;
        pictures += ownPictures;
    };
    const std::size_t helpers =
        indexes.size() < kIndexesPerThread
            ? 0
            : std::min<std::size_t>({indexes.size() / kIndexesPerThread, kMaxThreads - 1,
                                     std::max(1u, std::thread::hardware_concurrency()) - 1});
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < helpers; ++i)
            threads.emplace_back(work);
        work();
    }
    if (failure)
        std::rethrow_exception(failure);
    return EstimateTotals{kb, pictures};
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
    // The indexes to ask, with their data files' lengths; the audio is summed on the way.
    std::vector<std::pair<std::string, long long>> indexes;
    for (int h = r.startHour; h <= r.endHour && h < 24; ++h) {
        for (int m = (h == r.startHour ? r.startMinute : 0); m < 60; ++m) {
            if (h * 100 + m > endKey)
                break;
            if (h < 0 || m < 0 || !r.hourHasRec[h] || !r.minuteHasRec[h * 60 + m])
                continue;
            const std::string segment = paths::SegmentName(r.day, h, m);
            platform::FindData idx, dat;
            if (dayFolder.Find(segment + "N.idx", idx) && dayFolder.Find(segment + "N.dat", dat))
                indexes.emplace_back(std::move(idx.hostPath), static_cast<long long>(dat.size));
            for (std::size_t c = 0; c < r.cameras.size(); ++c) {
                platform::FindData audio;
                if (r.cameras[c] &&
                    audioFolder.Find(segment + paths::AudioSuffix(r.modelCode) + std::to_string(c),
                                     audio))
                    t.kb += static_cast<long long>(audio.size / 1024);
            }
        }
    }
    const EstimateTotals sums = SumIndexes(indexes, FiguresQuery(r.cameras));
    t.kb += sums.kb;
    t.pictures += sums.pictures;
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
