#include "skin/MaskRegion.h"

namespace skin {

std::optional<std::vector<RegionRect>> RegionFromBitmap(
    int width, int height, const std::function<std::uint32_t(int x, int y)>& pixel,
    std::uint32_t transparent) {
    if (width <= 0 || height <= 0)
        return std::nullopt;
    std::vector<RegionRect> rects;
    for (int y = height - 1; y >= 0; --y) {
        int x = 0;
        while (x < width) {
            while (x < width && pixel(x, y) == transparent)
                ++x;
            const int start = x;
            while (x < width && pixel(x, y) != transparent)
                ++x;
            if (x > start)
                rects.push_back({start, y, x, y + 1});
        }
    }
    return rects;
}

}  // namespace skin
