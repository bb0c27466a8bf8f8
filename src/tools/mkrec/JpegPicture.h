#pragma once
// Real JPEG pictures that show a camera number and a time, so that a player shows something
// meaningful for every recorded picture.
#include <cstdint>
#include <string>
#include <vector>

namespace mkrec {

// Grey-scale picture with "CAM nn" and "hh:mm:ss" drawn on a background whose brightness depends
// on the camera and the seed. Deterministic: the same arguments give the same bytes.
std::vector<std::uint8_t> MakeJpegPicture(int width, int height, int camera, int hour, int minute,
                                          int second, std::uint32_t seed, int quality);

}  // namespace mkrec
