#pragma once
// The shape of a skinned window from its mask: every run of pixels of a row that differ from
// the transparent colour becomes a rectangle one pixel high, rows taken from the bottom up.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace skin {

struct RegionRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom lie outside
    bool operator==(const RegionRect&) const = default;
};

// pixel(x, y) is the colour 0xRRGGBB at (x, y). No region for an empty bitmap; an empty one
// when every pixel is transparent.
std::optional<std::vector<RegionRect>> RegionFromBitmap(
    int width, int height, const std::function<std::uint32_t(int x, int y)>& pixel,
    std::uint32_t transparent);

}  // namespace skin
