#include "mkrec/JpegPicture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace mkrec {
namespace {

// 5 x 7 glyphs, one byte a row, the low five bits used.
struct Glyph {
    char ch;
    std::uint8_t rows[7];
};
const Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* Find(char ch) {
    for (const auto& g : kFont)
        if (g.ch == ch)
            return &g;
    return nullptr;
}

void DrawText(std::vector<std::uint8_t>& px, int width, int height, int x0, int y0, int scale,
              const std::string& text, std::uint8_t ink) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = Find(text[i]);
        if (!g)
            continue;
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 5; ++c) {
                if (!(g->rows[r] & (0x10 >> c)))
                    continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        int x = x0 + static_cast<int>(i) * 6 * scale + c * scale + dx;
                        int y = y0 + r * scale + dy;
                        if (x >= 0 && x < width && y >= 0 && y < height)
                            px[static_cast<std::size_t>(y) * width + x] = ink;
                    }
            }
    }
}

}  // namespace

std::vector<std::uint8_t> MakeJpegPicture(int width, int height, int camera, int hour, int minute,
                                          int second, std::uint32_t seed, int quality) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(width) * height);
    const std::uint32_t mix = (seed * 2654435761u) ^ (static_cast<std::uint32_t>(camera) * 40503u);
    const int base = 40 + static_cast<int>(mix % 120);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            px[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(base + ((x + y + second * 3) % 32));
    char camText[16], timeText[16];
    std::snprintf(camText, sizeof camText, "CAM %02d", camera + 1);
    std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d", hour, minute, second);
    const int scale = width >= 160 ? width / 80 : 1;
    DrawText(px, width, height, 4, 4, scale, camText, 250);
    DrawText(px, width, height, 4, 4 + 9 * scale, scale, timeText, 250);

    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &px[static_cast<std::size_t>(cinfo.next_scanline) * width];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

}  // namespace mkrec
