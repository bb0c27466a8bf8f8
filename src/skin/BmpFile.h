#pragma once
// Uncompressed 24-bit bitmap files, as the skin's images are stored.
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

struct Bitmap {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, rows from the top
    Bitmap() = default;
    Bitmap(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The file's bytes: the headers, then rows from the bottom up, each padded to four bytes.
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

}  // namespace skin
