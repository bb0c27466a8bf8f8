#include "video/PictureRedaction.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace video {
namespace {

// Black in the encoder's (limited) range.
constexpr std::uint8_t kBlackLuma = 16;
constexpr std::uint8_t kNeutralChroma = 128;
constexpr int kLumaBlock = 16;
constexpr int kBlurPasses = 3;

struct MaskPlane {
    std::uint8_t* data;
    int stride, width, height;
    std::uint8_t* Row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
};

struct MaskBox {
    int x0, y0, x1, y1;  // x1, y1 not included
};

MaskBox SpanBounds(const std::vector<Span>& spans) {
    MaskBox b{spans.front().x0, spans.front().y, spans.front().x1, spans.back().y + 1};
    for (const Span& s : spans) {
        b.x0 = std::min(b.x0, s.x0);
        b.x1 = std::max(b.x1, s.x1);
    }
    return b;
}

void FillSpans(const MaskPlane& p, const std::vector<Span>& spans, std::uint8_t value) {
    for (const Span& s : spans)
        std::memset(p.Row(s.y) + s.x0, value, static_cast<std::size_t>(s.x1 - s.x0));
}

// Each block of the picture's grid: its covered pixels take their mean.
void MosaicSpans(const MaskPlane& p, const std::vector<Span>& spans, int block) {
    const MaskBox b = SpanBounds(spans);
    const int bx0 = b.x0 / block, by0 = b.y0 / block;
    const int cols = (b.x1 - 1) / block - bx0 + 1, rows = (b.y1 - 1) / block - by0 + 1;
    std::vector<unsigned> sum(static_cast<std::size_t>(cols) * rows, 0), count(sum.size(), 0);
    auto cell = [&](int x, int y) {
        return static_cast<std::size_t>(y / block - by0) * cols + (x / block - bx0);
    };
    for (const Span& s : spans) {
        const std::uint8_t* row = p.Row(s.y);
        for (int x = s.x0; x < s.x1; ++x) {
            const std::size_t c = cell(x, s.y);
            sum[c] += row[x];
            ++count[c];
        }
    }
    for (const Span& s : spans) {
        std::uint8_t* row = p.Row(s.y);
        for (int x = s.x0; x < s.x1; ++x) {
            const std::size_t c = cell(x, s.y);
            row[x] = static_cast<std::uint8_t>((sum[c] + count[c] / 2) / count[c]);
        }
    }
}

// One box pass of radius r along a line of n values, the ends held.
void BoxPassLine(const int* in, int* out, int n, int r, std::ptrdiff_t step) {
    const int width = 2 * r + 1;
    long sum = 0;
    for (int k = -r; k <= r; ++k)
        sum += in[std::clamp(k, 0, n - 1) * step];
    for (int i = 0; i < n; ++i) {
        out[i * step] = static_cast<int>((sum + width / 2) / width);
        sum += in[std::min(i + r + 1, n - 1) * step] - in[std::max(i - r, 0) * step];
    }
}

// The mosaic smoothed: box passes over the covered region and a margin around it, written back
// to the covered pixels only.
void BlurSpans(const MaskPlane& p, const std::vector<Span>& spans, int block) {
    MosaicSpans(p, spans, block);
    const int r = block / 2;
    const int margin = r * kBlurPasses;
    const MaskBox c = SpanBounds(spans);
    const MaskBox b{std::max(0, c.x0 - margin), std::max(0, c.y0 - margin),
                    std::min(p.width, c.x1 + margin), std::min(p.height, c.y1 + margin)};
    const int w = b.x1 - b.x0, h = b.y1 - b.y0;
    std::vector<int> a(static_cast<std::size_t>(w) * h), t(a.size());
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = p.Row(b.y0 + y) + b.x0;
        std::copy(row, row + w, a.begin() + static_cast<std::ptrdiff_t>(y) * w);
    }
    for (int pass = 0; pass < kBlurPasses; ++pass) {
        for (int y = 0; y < h; ++y)
            BoxPassLine(a.data() + static_cast<std::ptrdiff_t>(y) * w,
                        t.data() + static_cast<std::ptrdiff_t>(y) * w, w, r, 1);
        for (int x = 0; x < w; ++x)
            BoxPassLine(t.data() + x, a.data() + x, h, r, w);
    }
    for (const Span& s : spans) {
        std::uint8_t* row = p.Row(s.y);
        const int* from = a.data() + static_cast<std::ptrdiff_t>(s.y - b.y0) * w - b.x0;
        for (int x = s.x0; x < s.x1; ++x)
            row[x] = static_cast<std::uint8_t>(std::clamp(from[x], 0, 255));
    }
}

void RedactPlane(const MaskPlane& p, const std::vector<Span>& spans, MaskMethod method, int block,
                 std::uint8_t solid) {
    if (spans.empty())
        return;
    switch (method) {
        case MaskMethod::kSolid:
            FillSpans(p, spans, solid);
            break;
        case MaskMethod::kPixelate:
            MosaicSpans(p, spans, block);
            break;
        case MaskMethod::kBlur:
            BlurSpans(p, spans, block);
            break;
    }
}

}  // namespace

void RedactPicture(PlanarPicture& picture, const MaskRaster& raster, MaskMethod method) {
    if (raster.empty() || raster.width != picture.width || raster.height != picture.height)
        return;
    const int cw = (picture.width + 1) / 2, ch = (picture.height + 1) / 2;
    RedactPlane({picture.data[0], picture.stride[0], picture.width, picture.height}, raster.luma,
                method, kLumaBlock, kBlackLuma);
    for (int i = 1; i < 3; ++i)
        RedactPlane({picture.data[i], picture.stride[i], cw, ch}, raster.chroma, method,
                    kLumaBlock / 2, kNeutralChroma);
}

}  // namespace video
