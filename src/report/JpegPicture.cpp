#include "report/JpegPicture.h"

#include <csetjmp>
#include <cstdio>
#include <new>
// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace report {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// Decode, whose frame holds no object with a destructor.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool truncated;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    (*info->err->format_message)(info, trap->message);
    std::longjmp(trap->jump, 1);
}

// Warnings go nowhere (the report is no place for them), but a file cut short is not a picture:
// libjpeg would fill its missing rows with grey.
void EmitMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        reinterpret_cast<ErrorTrap*>(info->err)->truncated = true;
}

// What the decoding writes lives outside Decode's frame, so that a jump out of libjpeg leaves
// nothing of it undefined.
struct Decoding {
    jpeg_decompress_struct info;
    ErrorTrap trap;
    std::vector<unsigned char> row;
    std::string why;
};

// Decodes into picture; false with decoding.why when it could not.
bool Decode(std::string_view jpeg, Decoding& decoding, DecodedPicture& picture) {
    jpeg_decompress_struct& info = decoding.info;
    info.err = jpeg_std_error(&decoding.trap.manager);
    decoding.trap.manager.error_exit = ErrorExit;
    decoding.trap.manager.emit_message = EmitMessage;
    decoding.trap.truncated = false;
    if (setjmp(decoding.trap.jump)) {
        jpeg_destroy_decompress(&info);
        decoding.why = decoding.trap.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width > kMaxPictureSide || info.image_height > kMaxPictureSide ||
        static_cast<long>(info.image_width) * info.image_height > kMaxPicturePixels) {
        jpeg_destroy_decompress(&info);
        decoding.why = "the picture is larger than " + std::to_string(kMaxPictureSide) +
                       " pixels on a side or " + std::to_string(kMaxPicturePixels) + " in all";
        return false;
    }
    // Grey pictures come out as colour too; a CMYK one cannot, and fails here.
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    try {
        decoding.row.resize(static_cast<std::size_t>(width) * 3);
        picture.xrgb.resize(static_cast<std::size_t>(width) * height);
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&info);
        decoding.why = "not enough memory for the picture";
        return false;
    }
    while (info.output_scanline < info.output_height && !decoding.trap.truncated) {
        JSAMPROW rows[1] = {decoding.row.data()};
        const std::size_t y = info.output_scanline;
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            break;
        std::uint32_t* out = picture.xrgb.data() + y * width;
        for (int x = 0; x < width; ++x) {
            const unsigned char* px = decoding.row.data() + 3 * x;
            out[x] = (std::uint32_t{px[0]} << 16) | (std::uint32_t{px[1]} << 8) | px[2];
        }
    }
    const bool whole = info.output_scanline == info.output_height && !decoding.trap.truncated;
    if (whole)
        jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    if (!whole) {
        decoding.why = "the JPEG file ends before its last row";
        return false;
    }
    picture.width = width;
    picture.height = height;
    return true;
}

}  // namespace

std::string DecodeJpeg(std::string_view jpeg, DecodedPicture& picture) {
    picture = DecodedPicture{};
    if (jpeg.empty())
        return "there are no JPEG bytes";
    Decoding decoding{};
    if (Decode(jpeg, decoding, picture))
        return "";
    picture = DecodedPicture{};
    return decoding.why;
}

}  // namespace report
