#pragma once
// A picture as the encoder takes it: planar 4:2:0, its chroma planes half its size each way.
#include <cstdint>

namespace video {

struct PlanarPicture {
    std::uint8_t* data[3] = {nullptr, nullptr, nullptr};
    int stride[3] = {0, 0, 0};
    int width = 0, height = 0;  // of the luma plane; even
};

}  // namespace video
