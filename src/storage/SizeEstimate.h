#pragma once
// How many kilobytes an entry's backup will take: the picture bytes and count of the cameras'
// rows in each recorded minute's index, and the length of their audio files. The rows counted
// are exactly the rows the minute copy takes; sums are kept in 64 bits.
#include <string>

#include "platform/Types.h"
#include "records/ScheduleEntry.h"

namespace storage {

constexpr int kPicturesPerAllowanceKB = 37;
constexpr int kEntryMarginKB = 3000;

struct MinuteFigures {
    long long bytes = 0;     // picture bytes
    long long pictures = 0;  // picture count
};

// The figures of one minute's index (a host or drive path) for the cameras, given the length
// of its data file; zero when the index cannot be read.
MinuteFigures QueryMinuteFigures(const std::string& indexPath, long long dataLength,
                                 const CameraSet& cameras);

struct EstimateRequest {
    std::string root;  // recordings root
    std::string day;   // YYYYMMDD
    int startHour = 0, startMinute = 0, endHour = 0, endMinute = 0;
    const DWORD* hourHasRec = nullptr;    // 24 flags
    const DWORD* minuteHasRec = nullptr;  // 1440 flags
    CameraSet cameras;                    // the selected cameras below the camera count
    int modelCode = 0;                    // chooses the audio suffix
};

struct EstimateTotals {
    long long kb = 0;        // picture and audio kilobytes, each minute and file rounded down
    long long pictures = 0;  // pictures of the range
};

// Walks every recorded minute of the range, both ends included; the day and Audio folders are
// listed once, so that a missing file costs no walk of the path.
EstimateTotals EstimateRange(const EstimateRequest& request);

// kb + one kilobyte per 37 pictures + the margin, within what the record's 32 bits hold.
DWORD EntrySizeKB(const EstimateTotals& totals);

// "where camnum in(0,2,5)" of the cameras; "where camnum in()" (valid, matches nothing) for none.
std::string BuildCameraWhereClause(const CameraSet& cameras);

}  // namespace storage
