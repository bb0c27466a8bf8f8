#pragma once
// A mask's polygon as the pixels it covers on a picture of a given size, worked out once per
// size: a pixel is covered when its centre is inside by the even-odd rule (a rectangle
// [x, y, w, h] covers exactly columns x..x+w-1 and rows y..y+h-1). Whatever lies outside the
// picture is cut off. The chroma planes' pixels are covered when any of the four luma pixels they
// stand for is, so a mask's edge never leaves colour of what it hides.
#include <vector>

#include "video/RedactionPlan.h"

namespace video {

struct Span {
    int y = 0, x0 = 0, x1 = 0;  // columns x0 up to x1 (not included) of row y
};

struct MaskRaster {
    int width = 0, height = 0;  // of the luma plane
    std::vector<Span> luma;     // by row, then column
    std::vector<Span> chroma;   // on the planes of half size
    bool empty() const { return luma.empty(); }
};

// polygon in the picture's pixels; width and height even.
MaskRaster RasterizePolygon(const std::vector<MaskPoint>& polygon, int width, int height);

// The polygon drawn on a picture of fromWidth x fromHeight, on one of toWidth x toHeight.
std::vector<MaskPoint> ScalePolygon(const std::vector<MaskPoint>& polygon, int fromWidth,
                                    int fromHeight, int toWidth, int toHeight);

}  // namespace video
