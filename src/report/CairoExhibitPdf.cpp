#include "report/CairoExhibitPdf.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "report/JpegPicture.h"
#include "report/PageLayout.h"
#include "report/PageText.h"

namespace report {
namespace {

struct SurfaceRelease {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextRelease {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct FaceRelease {
    void operator()(cairo_font_face_t* f) const { cairo_font_face_destroy(f); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;
using Context = std::unique_ptr<cairo_t, ContextRelease>;
using FontFace = std::unique_ptr<cairo_font_face_t, FaceRelease>;

// The stream's bytes; a write that cannot grow them fails the surface instead of throwing
// through cairo.
cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
    try {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    } catch (...) {
        return CAIRO_STATUS_WRITE_ERROR;
    }
}

class Fonts : public ITextMeasure {
  public:
    explicit Fonts(cairo_t* cr)
        : cr_(cr),
          sans_(cairo_toy_font_face_create("DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                                           CAIRO_FONT_WEIGHT_NORMAL)),
          bold_(cairo_toy_font_face_create("DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                                           CAIRO_FONT_WEIGHT_BOLD)),
          mono_(cairo_toy_font_face_create("DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL,
                                           CAIRO_FONT_WEIGHT_NORMAL)) {}
    void Use(Face face, double size) {
        cairo_set_font_face(cr_, face == Face::kMono       ? mono_.get()
                                 : face == Face::kSansBold ? bold_.get()
                                                           : sans_.get());
        cairo_set_font_size(cr_, size);
    }
    double Width(Face face, double size, std::string_view text) override {
        if (text.empty())
            return 0;
        Use(face, size);
        const std::string line(text);
        cairo_text_extents_t extents;
        cairo_text_extents(cr_, line.c_str(), &extents);
        return extents.x_advance;
    }

  private:
    cairo_t* cr_;
    FontFace sans_, bold_, mono_;
};

// The picture as an image surface that carries its JPEG bytes, which the PDF surface embeds
// in place of the pixels; null when it cannot be shown.
Surface PictureSurface(const std::string& jpeg) {
    DecodedPicture decoded;
    if (!DecodeJpeg(jpeg, decoded).empty())
        return nullptr;
    Surface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, decoded.width, decoded.height));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (int y = 0; y < decoded.height; ++y)
        std::memcpy(data + static_cast<std::size_t>(y) * stride,
                    decoded.xrgb.data() + static_cast<std::size_t>(y) * decoded.width,
                    static_cast<std::size_t>(decoded.width) * 4);
    cairo_surface_mark_dirty(image.get());
    auto* bytes = static_cast<unsigned char*>(std::malloc(jpeg.size()));
    if (!bytes)
        return nullptr;
    std::memcpy(bytes, jpeg.data(), jpeg.size());
    if (cairo_surface_set_mime_data(image.get(), CAIRO_MIME_TYPE_JPEG, bytes, jpeg.size(),
                                    std::free, bytes) != CAIRO_STATUS_SUCCESS) {
        std::free(bytes);
        return nullptr;
    }
    return image;
}

// Now as PDF metadata wants it: ISO 8601 in UTC.
std::string CreationDate() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), long(time.hours().count()),
                  long(time.minutes().count()), long(time.seconds().count()));
    return text;
}

// A line of the metadata: no line breaks in it.
std::string MetadataText(const std::string& text) {
    std::string line = PrintableText(text);
    for (char& c : line)
        if (c == '\n')
            c = ' ';
    return line;
}

void Draw(cairo_t* cr, Fonts& fonts, const std::vector<Surface>& pictures, const Mark& mark) {
    std::visit(
        [&](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, TextMark>) {
                if (m.text.empty())
                    return;
                fonts.Use(m.face, m.size);
                cairo_set_source_rgb(cr, m.grey, m.grey, m.grey);
                cairo_move_to(cr, m.x, m.y);
                cairo_show_text(cr, m.text.c_str());
            } else if constexpr (std::is_same_v<T, RuleMark>) {
                cairo_set_source_rgb(cr, m.grey, m.grey, m.grey);
                cairo_set_line_width(cr, m.width);
                cairo_move_to(cr, m.x1, m.y1);
                cairo_line_to(cr, m.x2, m.y2);
                cairo_stroke(cr);
            } else if constexpr (std::is_same_v<T, BoxMark>) {
                cairo_rectangle(cr, m.x, m.y, m.w, m.h);
                if (m.fillGrey >= 0) {
                    cairo_set_source_rgb(cr, m.fillGrey, m.fillGrey, m.fillGrey);
                    cairo_fill_preserve(cr);
                }
                if (m.strokeGrey >= 0) {
                    cairo_set_source_rgb(cr, m.strokeGrey, m.strokeGrey, m.strokeGrey);
                    cairo_set_line_width(cr, m.lineWidth);
                    cairo_stroke_preserve(cr);
                }
                cairo_new_path(cr);
            } else {
                cairo_surface_t* image =
                    m.picture < pictures.size() ? pictures[m.picture].get() : nullptr;
                if (!image)
                    return;
                // A paint of the whole picture, scaled: the PDF gets it as one image object.
                cairo_save(cr);
                cairo_translate(cr, m.x, m.y);
                cairo_scale(cr, m.w / cairo_image_surface_get_width(image),
                            m.h / cairo_image_surface_get_height(image));
                cairo_set_source_surface(cr, image, 0, 0);
                cairo_paint(cr);
                cairo_restore(cr);
            }
        },
        mark);
}

std::string RenderInto(const ports::ExhibitDocument& document, ports::IExhibitPdf::Paper paper,
                       std::string& out) {
    const PageSize size = SizeOf(paper);
    Surface surface(cairo_pdf_surface_create_for_stream(Append, &out, size.width, size.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return cairo_status_to_string(cairo_surface_status(surface.get()));
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE,
                                   MetadataText(document.title).c_str());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Quillon Backup");
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE,
                                   CreationDate().c_str());

    std::vector<Surface> pictures;
    std::vector<PictureSize> sizes;
    for (const auto& section : document.sections)
        for (const auto& block : section.blocks)
            if (const auto* set = std::get_if<ports::ExhibitDocument::Pictures>(&block))
                for (const auto& picture : set->pictures) {
                    pictures.push_back(PictureSurface(picture.jpeg));
                    cairo_surface_t* image = pictures.back().get();
                    sizes.push_back(image ? PictureSize{cairo_image_surface_get_width(image),
                                                        cairo_image_surface_get_height(image)}
                                          : PictureSize{});
                }

    Context cr(cairo_create(surface.get()));
    Fonts fonts(cr.get());
    const SetPages set = SetDocument(document, size, sizes, fonts);
    for (std::size_t page = 0; page < set.pages.size(); ++page) {
        for (const Mark& mark : set.pages[page])
            Draw(cr.get(), fonts, pictures, mark);
        Draw(cr.get(), fonts, pictures, set.footerRule);
        for (const TextMark& line : set.footer)
            Draw(cr.get(), fonts, pictures, line);
        TextMark number{0,           set.pageNumberBaseline,
                        Face::kSans, set.pageNumberSize,
                        0.35,        PageNumberText(page + 1, set.pages.size())};
        number.x = set.pageNumberRight - fonts.Width(number.face, number.size, number.text);
        Draw(cr.get(), fonts, pictures, number);
        cairo_show_page(cr.get());
    }
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        return cairo_status_to_string(cairo_status(cr.get()));
    cr.reset();
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return cairo_status_to_string(cairo_surface_status(surface.get()));
    return "";
}

}  // namespace

std::string CairoExhibitPdf::Render(const ports::ExhibitDocument& document, Paper paper,
                                    std::string& pdf) {
    pdf.clear();
    std::string out;
    std::string why;
    try {
        why = RenderInto(document, paper, out);
    } catch (const std::bad_alloc&) {
        why = "there is not enough memory for the report";
    }
    if (why.empty())
        pdf = std::move(out);
    return why;
}

void ReleaseFontCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace report
