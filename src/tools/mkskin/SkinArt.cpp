#include "mkskin/SkinArt.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>

namespace mkskin {
namespace {

constexpr int kCellW = 40, kCellH = 30, kRadius = 6;
constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000;

// The buttons in the order of their cells, with their keys.
constexpr std::array<const char*, 7> kKeys = {
    "ViewFirst", "ViewPrevious", "ViewReverse", "ViewStop", "ViewForward", "ViewNext", "ViewLast"};

struct Look {
    std::uint32_t top, bottom, border, glyph;
    int shift;  // the glyph moves down and right when pressed
};

// A point of the cell, in pixels from its top-left corner.
using Shape = std::function<bool(double x, double y)>;

Shape TriangleLeft(double tip, double base) {
    return [=](double x, double y) {
        if (x < tip || x > base)
            return false;
        const double half = 6.0 * (x - tip) / (base - tip);
        return std::abs(y - 15.0) <= half;
    };
}

Shape TriangleRight(double base, double tip) {
    return [=](double x, double y) {
        if (x < base || x > tip)
            return false;
        const double half = 6.0 * (tip - x) / (tip - base);
        return std::abs(y - 15.0) <= half;
    };
}

Shape Box(double x0, double y0, double x1, double y1) {
    return [=](double x, double y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
}

Shape Bar(double x0, double x1) {
    return Box(x0, 9, x1, 21);
}

Shape Union(std::vector<Shape> parts) {
    return [parts](double x, double y) {
        return std::any_of(parts.begin(), parts.end(), [&](const Shape& s) { return s(x, y); });
    };
}

// first, previous, reverse, stop, forward, next, last
std::vector<Shape> Glyphs() {
    return {
        Union({Bar(9, 12), TriangleLeft(12, 21), TriangleLeft(21, 30)}),
        Union({TriangleLeft(13, 23), Bar(24, 27)}),
        TriangleLeft(15, 25),
        Box(15, 10, 25, 20),
        TriangleRight(15, 25),
        Union({Bar(13, 16), TriangleRight(17, 27)}),
        Union({TriangleRight(10, 19), TriangleRight(19, 28), Bar(28, 31)}),
    };
}

// Inside the button's rounded outline, shrunk by inset pixels.
bool InsideOutline(double x, double y, double inset) {
    const double left = inset, top = inset, right = kCellW - inset, bottom = kCellH - inset;
    if (x < left || x >= right || y < top || y >= bottom)
        return false;
    const double r = kRadius - inset;
    const double cx = std::clamp(x, left + r, right - r), cy = std::clamp(y, top + r, bottom - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

std::uint32_t Mix(std::uint32_t a, std::uint32_t b, double t) {
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= static_cast<std::uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}

skin::Bitmap Draw(const Look& look, const std::vector<Shape>& glyphs) {
    skin::Bitmap b(kCellW * static_cast<int>(glyphs.size()), kCellH, kWhite);
    for (std::size_t g = 0; g < glyphs.size(); ++g)
        for (int y = 0; y < kCellH; ++y)
            for (int x = 0; x < kCellW; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                if (!InsideOutline(px, py, 0))
                    continue;
                std::uint32_t c = InsideOutline(px, py, 1.2)
                                      ? Mix(look.top, look.bottom, py / kCellH)
                                      : look.border;
                // Edges of the symbol are smoothed from four by four samples of the pixel.
                int covered = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx)
                        covered += glyphs[g](x + (sx + 0.5) / 4 - look.shift,
                                             y + (sy + 0.5) / 4 - look.shift);
                c = Mix(c, look.glyph, covered / 16.0);
                b.at(static_cast<int>(g) * kCellW + x, y) = c;
            }
    return b;
}

skin::Bitmap DrawMask(std::size_t cells) {
    skin::Bitmap b(kCellW * static_cast<int>(cells), kCellH, kWhite);
    for (std::size_t g = 0; g < cells; ++g)
        for (int y = 0; y < kCellH; ++y)
            for (int x = 0; x < kCellW; ++x)
                if (InsideOutline(x + 0.5, y + 0.5, 0))
                    b.at(static_cast<int>(g) * kCellW + x, y) = kBlack;
    return b;
}

std::vector<std::uint8_t> Text(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

std::string Entry(const char* key, int x, int y, int w, int h, int mode) {
    char line[96];
    std::snprintf(line, sizeof line, "%s=%d,%d,%d,%d,%d,\n", key, x, y, w, h, mode);
    return line;
}

}  // namespace

std::vector<SkinFile> MakeSkin() {
    const std::vector<Shape> glyphs = Glyphs();
    const Look normal{0xE9EEF3, 0xC8D2DC, 0x7D8B99, 0x26323E, 0};
    const Look over{0xF3F8FE, 0xD2E3F5, 0x3F7CC0, 0x174E8C, 0};
    const Look down{0xB9C5D1, 0xD8E0E8, 0x5C6B7A, 0x1A242E, 1};
    const Look disabled{0xE4E7EA, 0xD9DDE1, 0xB3BAC1, 0xA3ABB3, 0};

    // Buttons sit side by side in the playback bar, 4 pixels apart, drawn stretched (mode 1);
    // the picture area and the preview keep the sizes the dialog grows from.
    std::string btn = "[BackupDlg]\n";
    btn += Entry("PreviewWnd", 0, 0, 400, 480, 0);
    btn += Entry("ViewDisp", 0, 0, 352, 264, 0);
    std::string cut = "[BackupDlg]\n";
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const int at = static_cast<int>(i);
        btn += Entry(kKeys[i], 2 + at * (kCellW + 4), 2, kCellW, kCellH, 1);
        cut += Entry(kKeys[i], at * kCellW, 0, kCellW, kCellH, 0);
    }
    return {
        {"QOR_S_Normal.bmp", skin::EncodeBmp(Draw(normal, glyphs))},
        {"QOR_S_Over.bmp", skin::EncodeBmp(Draw(over, glyphs))},
        {"QOR_S_Down.bmp", skin::EncodeBmp(Draw(down, glyphs))},
        {"QOR_S_Disable.bmp", skin::EncodeBmp(Draw(disabled, glyphs))},
        {"QOR_S_Mask.bmp", skin::EncodeBmp(DrawMask(glyphs.size()))},
        {"btn.pos", Text(btn)},
        {"cut.pos", Text(cut)},
    };
}

}  // namespace mkskin
