#pragma once
// The plan's masks and mutes of one camera as its export goes: told each picture's recorded
// second before the encoder takes it, hides what the masks of that second cover, and counts what
// each mask hid in each file. A mask's pixels are worked out once per picture size.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "video/MaskRaster.h"
#include "video/PlanarPicture.h"
#include "video/RedactionPlan.h"

namespace video {

class CameraRedactor {
  public:
    CameraRedactor(const RedactionPlan& plan, int camera);
    // The plan has a mask or a mute for the camera.
    bool any() const { return !masks_.empty() || !mutes_.empty(); }
    // The recorded second of the picture the encoder takes next, and its mark.
    void At(long long second, const std::string& mark);
    // The picture as the encoder takes it, made from one of sourceWidth x sourceHeight; the
    // first of the camera's gives the size of masks drawn without one.
    void Apply(PlanarPicture& picture, int sourceWidth, int sourceHeight);
    // Silences the samples (unsigned 8 bit, 8 kHz) of a minute whose first reading is
    // minuteReading where a mute covers them.
    void Mute(std::uint8_t* samples, std::size_t count, long long minuteReading);
    // What was hidden in the file just finished; the next file starts with nothing.
    FileRedaction TakeFile();

  private:
    const MaskRaster& RasterOf(int index, int width, int height);

    const RedactionPlan& plan_;
    std::vector<int> masks_, mutes_;  // the plan's indexes of the camera's
    int firstWidth_ = 0, firstHeight_ = 0;
    long long second_ = 0;
    std::string mark_;
    std::string text_;  // RecordedTimeText of second_ and mark_, once needed

    std::map<std::tuple<int, int, int>, MaskRaster> rasters_;
    FileRedaction file_;
};

}  // namespace video
