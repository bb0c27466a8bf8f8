#pragma once
// Hides what a mask covers on a picture before it is encoded. solid: black. pixelate: each
// 16-pixel block of the grid (8 on the chroma planes) the mean of its covered pixels. blur: the
// same mosaic, then three box passes of radius 8 (4) over it, so what was hidden is in the file at
// no finer scale than the mosaic's blocks, however the blur were undone.
#include "video/MaskRaster.h"
#include "video/PlanarPicture.h"

namespace video {

// raster is of the picture's size (CameraRedactor works one out for each size it meets).
void RedactPicture(PlanarPicture& picture, const MaskRaster& raster, MaskMethod method);

}  // namespace video
