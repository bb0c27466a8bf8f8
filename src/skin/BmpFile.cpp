#include "skin/BmpFile.h"

namespace skin {
namespace {

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const Bitmap& b) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(b.width) * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(b.height);
    std::vector<std::uint8_t> out;
    out.reserve(54 + imageBytes);
    out.push_back('B');
    out.push_back('M');
    Put(out, 54 + imageBytes, 4);
    Put(out, 0, 4);
    Put(out, 54, 4);  // where the pixels start
    Put(out, 40, 4);  // the information header's size
    Put(out, static_cast<std::uint32_t>(b.width), 4);
    Put(out, static_cast<std::uint32_t>(b.height), 4);
    Put(out, 1, 2);   // planes
    Put(out, 24, 2);  // bits per pixel
    Put(out, 0, 4);   // no compression
    Put(out, imageBytes, 4);
    Put(out, 2835, 4);  // 72 dots per inch
    Put(out, 2835, 4);
    Put(out, 0, 4);
    Put(out, 0, 4);
    for (int y = b.height - 1; y >= 0; --y) {
        for (int x = 0; x < b.width; ++x) {
            const std::uint32_t c = b.at(x, y);
            out.push_back(static_cast<std::uint8_t>(c & 0xFF));
            out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
            out.push_back(static_cast<std::uint8_t>((c >> 16) & 0xFF));
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(b.width) * 3; pad < rowBytes; ++pad)
            out.push_back(0);
    }
    return out;
}

}  // namespace skin
