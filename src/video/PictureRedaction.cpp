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

// The runs of a span that lie in one block of the grid each: f(x0, x1, column of the block).
template <class F>
void EachBlockRun(const Span& s, int block, F f) {
    for (int x = s.x0; x < s.x1;) {
        const int column = x / block;
        const int end = std::min(s.x1, (column + 1) * block);
        f(x, end, column);
        x = end;
    }
}

// Each block of the picture's grid: its covered pixels take their mean.
void MosaicSpans(const MaskPlane& p, const std::vector<Span>& spans, int block) {
    const MaskBox b = SpanBounds(spans);
    const int bx0 = b.x0 / block, by0 = b.y0 / block;
    const int cols = (b.x1 - 1) / block - bx0 + 1, rows = (b.y1 - 1) / block - by0 + 1;
    std::vector<unsigned> sum(static_cast<std::size_t>(cols) * rows, 0), count(sum.size(), 0);
    for (const Span& s : spans) {
        const std::uint8_t* row = p.Row(s.y);
        const std::size_t first = static_cast<std::size_t>(s.y / block - by0) * cols;
        EachBlockRun(s, block, [&](int x0, int x1, int column) {
            unsigned total = 0;
            for (int x = x0; x < x1; ++x)
                total += row[x];
            sum[first + static_cast<std::size_t>(column - bx0)] += total;
            count[first + static_cast<std::size_t>(column - bx0)] += static_cast<unsigned>(x1 - x0);
        });
    }
    std::vector<std::uint8_t> mean(sum.size(), 0);
    for (std::size_t c = 0; c < sum.size(); ++c)
        if (count[c])
            mean[c] = static_cast<std::uint8_t>((sum[c] + count[c] / 2) / count[c]);
    for (const Span& s : spans) {
        std::uint8_t* row = p.Row(s.y);
        const std::size_t first = static_cast<std::size_t>(s.y / block - by0) * cols;
        EachBlockRun(s, block, [&](int x0, int x1, int column) {
            std::memset(row + x0, mean[first + static_cast<std::size_t>(column - bx0)],
                        static_cast<std::size_t>(x1 - x0));
        });
    }
}

// A mean of 2r + 1 values by a multiplication, not a division per pixel.
struct BoxMean {
    explicit BoxMean(int r) : width(2 * r + 1), scale((1 << 16) / width + 1) {}
    int operator()(int sum) const { return (sum * scale + (1 << 15)) >> 16; }
    int width, scale;
};

// One box pass of radius r along each row of w x h values, the ends held.
void BoxRows(const int* in, int* out, int w, int h, int r) {
    const BoxMean mean(r);
    for (int y = 0; y < h; ++y) {
        const int* a = in + static_cast<std::ptrdiff_t>(y) * w;
        int* o = out + static_cast<std::ptrdiff_t>(y) * w;
        int sum = 0;
        for (int k = -r; k <= r; ++k)
            sum += a[std::clamp(k, 0, w - 1)];
        for (int x = 0; x < w; ++x) {
            o[x] = mean(sum);
            sum += a[std::min(x + r + 1, w - 1)] - a[std::max(x - r, 0)];
        }
    }
}

// The same down each column, a row at a time.
void BoxColumns(const int* in, int* out, int w, int h, int r, std::vector<int>& sums) {
    const BoxMean mean(r);
    auto row = [&](int y) { return in + static_cast<std::ptrdiff_t>(std::clamp(y, 0, h - 1)) * w; };
    sums.assign(static_cast<std::size_t>(w), 0);
    for (int k = -r; k <= r; ++k) {
        const int* a = row(k);
        for (int x = 0; x < w; ++x)
            sums[static_cast<std::size_t>(x)] += a[x];
    }
    for (int y = 0; y < h; ++y) {
        int* o = out + static_cast<std::ptrdiff_t>(y) * w;
        const int* enter = row(y + r + 1);
        const int* leave = row(y - r);
        for (int x = 0; x < w; ++x) {
            int& sum = sums[static_cast<std::size_t>(x)];
            o[x] = mean(sum);
            sum += enter[x] - leave[x];
        }
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
    // Kept from picture to picture of the thread: a fresh large buffer costs the system's
    // zeroed pages every time.
    thread_local std::vector<int> a, t, sums;
    a.resize(static_cast<std::size_t>(w) * h);
    t.resize(a.size());
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = p.Row(b.y0 + y) + b.x0;
        std::copy(row, row + w, a.begin() + static_cast<std::ptrdiff_t>(y) * w);
    }
    for (int pass = 0; pass < kBlurPasses; ++pass) {
        BoxRows(a.data(), t.data(), w, h, r);
        BoxColumns(t.data(), a.data(), w, h, r, sums);
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
