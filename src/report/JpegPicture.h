#pragma once
// A recorded picture's JPEG bytes decoded for the page: the PDF carries the bytes as they are,
// and the decoded pixels are what a reader without a JPEG decoder would see, and the proof that
// the bytes are a picture at all.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace report {

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> xrgb;  // a row after another, 0x00RRGGBB in each
};

// Pictures larger than this on either side, or in all, are not decoded: a recorder's are far
// smaller, and a forged header must not make the report take gigabytes.
constexpr int kMaxPictureSide = 16384;
constexpr long kMaxPicturePixels = 64L * 1000 * 1000;

// "" and the picture, or why the bytes are no JPEG that decodes whole (then picture is empty).
// Grey and colour pictures decode; a file that ends before its last row does not.
std::string DecodeJpeg(std::string_view jpeg, DecodedPicture& picture);

}  // namespace report
