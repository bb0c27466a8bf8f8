#include "video/MaskRaster.h"

#include <algorithm>
#include <cmath>

namespace video {
namespace {

// The spans of rows whose covered pixels are set in a bitmap of w x h.
std::vector<Span> SpansOfBitmap(const std::vector<unsigned char>& bits, int w, int h) {
    std::vector<Span> spans;
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = bits.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < w && row[x])
                ++x;
            spans.push_back({y, start, x});
        }
    }
    return spans;
}

}  // namespace

MaskRaster RasterizePolygon(const std::vector<MaskPoint>& polygon, int width, int height) {
    MaskRaster raster;
    raster.width = width;
    raster.height = height;
    if (polygon.size() < 3 || width <= 0 || height <= 0)
        return raster;
    std::vector<unsigned char> luma(static_cast<std::size_t>(width) * height, 0);
    std::vector<double> crossings;
    const std::size_t n = polygon.size();
    for (int y = 0; y < height; ++y) {
        const double centre = y + 0.5;
        crossings.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const MaskPoint& a = polygon[i];
            const MaskPoint& b = polygon[(i + 1) % n];
            // Half-open in y, so a vertex on the row is counted once and a flat edge not at all.
            if ((a.y <= centre && centre < b.y) || (b.y <= centre && centre < a.y))
                crossings.push_back(a.x + (centre - a.y) * (b.x - a.x) / (b.y - a.y));
        }
        std::sort(crossings.begin(), crossings.end());
        unsigned char* row = luma.data() + static_cast<std::size_t>(y) * width;
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            // Pixels whose centre x + 0.5 lies in [left, right).
            const double left = std::ceil(crossings[k] - 0.5);
            const double right = std::ceil(crossings[k + 1] - 0.5);
            const int x0 = static_cast<int>(std::clamp(left, 0.0, static_cast<double>(width)));
            const int x1 = static_cast<int>(std::clamp(right, 0.0, static_cast<double>(width)));
            std::fill(row + x0, row + std::max(x0, x1), 1);
        }
    }
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    std::vector<unsigned char> chroma(static_cast<std::size_t>(cw) * ch, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (luma[static_cast<std::size_t>(y) * width + x])
                chroma[static_cast<std::size_t>(y / 2) * cw + x / 2] = 1;
    raster.luma = SpansOfBitmap(luma, width, height);
    raster.chroma = SpansOfBitmap(chroma, cw, ch);
    return raster;
}

std::vector<MaskPoint> ScalePolygon(const std::vector<MaskPoint>& polygon, int fromWidth,
                                    int fromHeight, int toWidth, int toHeight) {
    if (fromWidth <= 0 || fromHeight <= 0 || (fromWidth == toWidth && fromHeight == toHeight))
        return polygon;
    const double sx = static_cast<double>(toWidth) / fromWidth;
    const double sy = static_cast<double>(toHeight) / fromHeight;
    std::vector<MaskPoint> scaled;
    scaled.reserve(polygon.size());
    for (const MaskPoint& p : polygon)
        scaled.push_back({p.x * sx, p.y * sy});
    return scaled;
}

}  // namespace video
