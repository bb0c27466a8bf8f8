#pragma once
// The skin of the playback buttons, drawn from shapes so that it can be made again byte for byte:
// the five shared bitmaps (normal, hover, pressed, disabled and the mask), one cell per button
// side by side, and the two position files that place the buttons and cut their cells.
#include <string>
#include <vector>

#include "skin/BmpFile.h"

namespace mkskin {

struct SkinFile {
    std::string name;  // as it lies in the GUIS folder
    std::vector<std::uint8_t> bytes;
};

// QOR_S_Normal.bmp, QOR_S_Over.bmp, QOR_S_Down.bmp, QOR_S_Disable.bmp, QOR_S_Mask.bmp, btn.pos
// and cut.pos.
std::vector<SkinFile> MakeSkin();

}  // namespace mkskin
