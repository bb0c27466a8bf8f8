#pragma once
// The exhibit document set into pages of positioned marks (lines of text, rules, boxes,
// pictures), measured by the fonts it will be drawn with but drawn by nobody here: the count of
// pages is known before the first is drawn, for "page N of M".
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ports/ExhibitPdf.h"

namespace report {

enum class Face { kSans, kSansBold, kMono };

// Widths of printable text in points, in a face at a size.
class ITextMeasure {
  public:
    virtual ~ITextMeasure() = default;
    virtual double Width(Face face, double size, std::string_view text) = 0;
};

// Points from the page's top left corner; y of a text is its baseline.
struct TextMark {
    double x = 0, y = 0;
    Face face = Face::kSans;
    double size = 0;
    double grey = 0;
    std::string text;  // one printable line
};
struct RuleMark {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    double width = 0, grey = 0;
};
struct BoxMark {
    double x = 0, y = 0, w = 0, h = 0;
    double fillGrey = -1;    // none when negative
    double strokeGrey = -1;  // none when negative
    double lineWidth = 0.5;
};
struct PictureMark {
    double x = 0, y = 0, w = 0, h = 0;
    std::size_t picture = 0;  // the document's pictures counted in their order
};
using Mark = std::variant<TextMark, RuleMark, BoxMark, PictureMark>;

struct PageSize {
    double width = 0, height = 0;
};
PageSize SizeOf(ports::IExhibitPdf::Paper paper);

// The size in pixels of each of the document's pictures in their order, {0, 0} for one that
// cannot be shown.
struct PictureSize {
    int width = 0, height = 0;
};

struct SetPages {
    std::vector<std::vector<Mark>> pages;
    // The footer's lines, drawn on every page at the same place, the page number beside the
    // first.
    std::vector<TextMark> footer;
    RuleMark footerRule;
    double pageNumberRight = 0, pageNumberBaseline = 0, pageNumberSize = 0;
};

SetPages SetDocument(const ports::ExhibitDocument& document, PageSize page,
                     const std::vector<PictureSize>& pictures, ITextMeasure& measure);

// What a page's number says.
std::string PageNumberText(std::size_t page, std::size_t pages);

}  // namespace report
