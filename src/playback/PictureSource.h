#pragma once
// Where the player finds a recorder's pictures: its days, the minutes of a day, one camera's
// pictures of a minute and the bytes of a picture. A local recorder's storage is one source; a
// remote recorder served over the network is another.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace playback {

struct PictureRef {
    long long rectime = 0;  // seconds, as the recorder stamped the picture
    long long pos = 0;      // where its bytes lie in the minute's data file
    long long size = 0;
    long long row = 0;  // its place among the minute's rows, as the recorder wrote them
};

struct MinutePictures {
    std::vector<PictureRef> pictures;  // the camera's pictures in recorded order
    std::string problem;               // why the minute cannot be read ("" when it can)
};

// Calls come from the player's own thread, one at a time.
class IPictureSource {
  public:
    virtual ~IPictureSource() = default;
    // YYYYMMDD of every recorded day, in any order.
    virtual std::vector<std::string> Days() = 0;
    // The minutes of the day (hour * 60 + minute) that hold pictures, ascending.
    virtual std::vector<int> Minutes(const std::string& day) = 0;
    virtual MinutePictures Pictures(const std::string& day, int minuteOfDay, int camera) = 0;
    // The bytes of one picture of the minute into bytes (a buffer the caller reuses), or why
    // they cannot be read: damaged when the recording is (a size it cannot have, cut short), not
    // found when the minute's pictures are not there, failed when they could not be fetched.
    virtual platform::Outcome Read(const std::string& day, int minuteOfDay,
                                   const PictureRef& picture, std::vector<std::uint8_t>& bytes) = 0;
};

}  // namespace playback
