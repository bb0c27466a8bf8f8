#pragma once
// Copies one recorded minute for a set of cameras: the index is rebuilt through an in-memory
// table and the cameras' pictures are packed from offset 0. Both files are written under
// temporary names and take their final names only when whole.
#include <functional>
#include <string>

#include "platform/Types.h"
#include "records/ScheduleEntry.h"
#include "storage/PictureRows.h"

namespace storage {

struct MinuteCopyResult {
    // 1 when the source index held at least one row (even if none was the cameras'), else 0.
    int result = 0;
    long long dataBytes = 0;        // length of the data file written
    long long picturesLeftOut = 0;  // the cameras' rows that address no picture (left out)
    RowsOutside leftOutByCamera;    // the same, camera by camera
    std::string why;                // what stopped the copy when result is 0
    bool recordingDamaged = false;  // why lies in the recording (another copy fares the same)
    // The destination could not be written; error says why (ERROR_DISK_FULL among them).
    bool destinationFailed = false;
    DWORD error = 0;
};

// sourcePrefix and destPrefix name a minute without "N.idx" / "N.dat". onCopying is called once
// the source index has been read, before the data is written. A source that cannot be read
// leaves nothing in the destination; nothing is ever created beside the source.
MinuteCopyResult CopyMinuteSegment(const CameraSet& cameras, const std::string& sourcePrefix,
                                   const std::string& destPrefix,
                                   const std::function<void()>& onCopying = nullptr);

// The create statement of the minute index table.
std::string IndexTableCreateStatement();

}  // namespace storage
