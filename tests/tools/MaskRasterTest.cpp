// A mask's pixels and what hiding them does to a picture: exact edges, what lies outside cut
// off, scaling by the size a mask was drawn on, and hidden detail that no longer reaches the file.
#ifdef QUILLON_HAVE_VIDEO
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "video/CameraRedactor.h"
#include "video/MaskRaster.h"
#include "video/PictureRedaction.h"

namespace {

using video::MaskPoint;
using video::MaskRaster;

std::vector<MaskPoint> Rect(double x, double y, double w, double h) {
    return {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
}

// The covered pixels as (x, y), luma or chroma.
std::set<std::pair<int, int>> Pixels(const std::vector<video::Span>& spans) {
    std::set<std::pair<int, int>> out;
    for (const video::Span& s : spans)
        for (int x = s.x0; x < s.x1; ++x)
            out.insert({x, s.y});
    return out;
}

long long Count(const std::vector<video::Span>& spans) {
    return static_cast<long long>(Pixels(spans).size());
}

// A picture of its own planes, filled by a function of the pixel.
struct Picture {
    int width, height;
    std::vector<std::uint8_t> planes[3];
    video::PlanarPicture view;
    template <class F>
    Picture(int w, int h, F luma) : width(w), height(h) {
        planes[0].resize(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                planes[0][static_cast<std::size_t>(y) * w + x] = luma(x, y);
        for (int i = 1; i < 3; ++i)
            planes[i].assign(static_cast<std::size_t>(w / 2) * (h / 2), 200);
        for (int i = 0; i < 3; ++i) {
            view.data[i] = planes[i].data();
            view.stride[i] = i ? w / 2 : w;
        }
        view.width = w;
        view.height = h;
    }
    std::uint8_t Y(int x, int y) const {
        return planes[0][static_cast<std::size_t>(y) * width + x];
    }
};

// Fine detail: a checkerboard of 1-pixel squares over a ramp.
std::uint8_t Detail(int x, int y) {
    return static_cast<std::uint8_t>(60 + x + ((x + y) % 2) * 90);
}

}  // namespace

TEST(MaskRaster, ARectangleCoversExactlyItsPixelsAndItsChromaAround) {
    const MaskRaster r = video::RasterizePolygon(Rect(3, 2, 5, 4), 16, 12);
    std::set<std::pair<int, int>> expected;
    for (int y = 2; y < 6; ++y)
        for (int x = 3; x < 8; ++x)
            expected.insert({x, y});
    EXPECT_EQ(Pixels(r.luma), expected);
    // Columns 3..7 are chroma columns 1..3; rows 2..5, chroma rows 1..2: nothing of an edge left.
    std::set<std::pair<int, int>> chroma;
    for (int y = 1; y < 3; ++y)
        for (int x = 1; x < 4; ++x)
            chroma.insert({x, y});
    EXPECT_EQ(Pixels(r.chroma), chroma);
}

TEST(MaskRaster, OnAndBeyondThePictureEdgeIsCutToThePicture) {
    // The whole picture, drawn on its edge.
    EXPECT_EQ(Count(video::RasterizePolygon(Rect(0, 0, 16, 12), 16, 12).luma), 16 * 12);
    // Reaching out on every side: still the whole picture, nothing past it.
    const MaskRaster beyond = video::RasterizePolygon(Rect(-50, -50, 200, 200), 16, 12);
    EXPECT_EQ(Count(beyond.luma), 16 * 12);
    EXPECT_EQ(Count(beyond.chroma), 8 * 6);
    // Half outside on the right and bottom: the part inside.
    EXPECT_EQ(Count(video::RasterizePolygon(Rect(12, 8, 10, 10), 16, 12).luma), 4 * 4);
    // Wholly outside, and a polygon of no area.
    EXPECT_TRUE(video::RasterizePolygon(Rect(16, 0, 5, 5), 16, 12).empty());
    EXPECT_TRUE(video::RasterizePolygon(Rect(-8, -8, 8, 8), 16, 12).empty());
    EXPECT_TRUE(video::RasterizePolygon({{2, 2}, {8, 8}, {14, 14}}, 16, 12).empty());
}

TEST(MaskRaster, PolygonsFillByTheEvenOddRule) {
    // A right triangle below the diagonal of a 10 x 10 square: pixel (x, y) in when x < y.
    const MaskRaster t = video::RasterizePolygon({{0, 0}, {0, 10}, {10, 10}}, 10, 10);
    EXPECT_EQ(Count(t.luma), 45);  // the centres strictly below the diagonal
    EXPECT_TRUE(Pixels(t.luma).count({0, 9}));
    EXPECT_FALSE(Pixels(t.luma).count({9, 0}));
    // A square drawn twice over (the outline wound round twice) leaves its inside out: even-odd.
    std::vector<MaskPoint> twice = Rect(2, 2, 4, 4);
    const std::vector<MaskPoint> again = twice;
    twice.insert(twice.end(), again.begin(), again.end());
    EXPECT_TRUE(video::RasterizePolygon(twice, 10, 10).empty());
    // A frame: an outer square and an inner one joined by a seam, the hole left as it is.
    const std::vector<MaskPoint> frame = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0},
                                          {2, 2}, {2, 6}, {6, 6}, {6, 2}, {2, 2}};
    const MaskRaster f = video::RasterizePolygon(frame, 8, 8);
    EXPECT_EQ(Count(f.luma), 64 - 16);
    EXPECT_FALSE(Pixels(f.luma).count({3, 3}));
}

TEST(MaskRaster, CoordinatesScaleFromTheSizeTheyWereDrawnOn) {
    const std::vector<MaskPoint> drawn = Rect(32, 16, 64, 32);
    const MaskRaster half =
        video::RasterizePolygon(video::ScalePolygon(drawn, 320, 240, 160, 120), 160, 120);
    EXPECT_EQ(Pixels(half.luma),
              Pixels(video::RasterizePolygon(Rect(16, 8, 32, 16), 160, 120).luma));
    // The same size, or none: as drawn.
    EXPECT_EQ(video::ScalePolygon(drawn, 160, 120, 160, 120)[1].x, 96);
    EXPECT_EQ(video::ScalePolygon(drawn, 0, 0, 160, 120)[1].x, 96);
}

TEST(PictureRedaction, SolidBlackensTheMaskAndNothingElse) {
    Picture p(32, 32, Detail);
    const Picture before = p;
    const MaskRaster r = video::RasterizePolygon(Rect(4, 6, 10, 8), 32, 32);
    video::RedactPicture(p.view, r, video::MaskMethod::kSolid);
    const std::set<std::pair<int, int>> covered = Pixels(r.luma);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            EXPECT_EQ(p.Y(x, y), covered.count({x, y}) ? 16 : before.Y(x, y)) << x << "," << y;
    const std::set<std::pair<int, int>> chroma = Pixels(r.chroma);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(p.planes[1][static_cast<std::size_t>(y) * 16 + x],
                      chroma.count({x, y}) ? 128 : 200);
}

TEST(PictureRedaction, PixelateAndBlurKeepNothingFinerThanTheirBlocks) {
    const MaskRaster r = video::RasterizePolygon(Rect(16, 16, 32, 32), 64, 64);
    for (const video::MaskMethod method :
         {video::MaskMethod::kPixelate, video::MaskMethod::kBlur}) {
        SCOPED_TRACE(static_cast<int>(method));
        // Two pictures whose masked blocks differ in every pixel but have the same means.
        Picture a(64, 64, Detail);
        Picture b(64, 64, [](int x, int y) {
            return x >= 16 && x < 48 && y >= 16 && y < 48
                       ? static_cast<std::uint8_t>(Detail(x, y) + ((x + y) % 2 ? -90 : 90))
                       : Detail(x, y);
        });
        long long sumA = 0, sumB = 0;
        for (int y = 16; y < 32; ++y)
            for (int x = 16; x < 32; ++x)
                sumA += a.Y(x, y), sumB += b.Y(x, y);
        ASSERT_EQ(sumA, sumB);
        const Picture before = a;
        video::RedactPicture(a.view, r, method);
        video::RedactPicture(b.view, r, method);
        int changed = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const bool inside = x >= 16 && x < 48 && y >= 16 && y < 48;
                if (inside) {
                    // What was hidden makes no difference to what is shown.
                    EXPECT_EQ(a.Y(x, y), b.Y(x, y)) << x << "," << y;
                    changed += a.Y(x, y) != before.Y(x, y);
                } else {
                    EXPECT_EQ(a.Y(x, y), before.Y(x, y)) << x << "," << y;
                }
            }
        EXPECT_GT(changed, 32 * 32 / 2);
        // Pixelate: each block one value; blur: not even the blocks' edges stay sharp.
        int steps = 0;
        for (int x = 17; x < 48; ++x)
            steps += std::abs(a.Y(x, 20) - a.Y(x - 1, 20)) > 3;
        if (method == video::MaskMethod::kPixelate)
            EXPECT_EQ(a.Y(16, 16), a.Y(31, 31));
        else
            EXPECT_EQ(steps, 0);
    }
}

TEST(CameraRedactor, HidesOverItsTimesCountingEachFileAndScalingToThePicture) {
    video::RedactionPlan plan;
    video::RedactionMask timed;
    timed.camera = 1;
    timed.polygon = Rect(0, 0, 8, 8);
    timed.from = 100;
    timed.to = 102;
    video::RedactionMask drawn;  // on a picture twice the size of the camera's first
    drawn.camera = 1;
    drawn.polygon = Rect(32, 32, 16, 16);
    drawn.width = 64;
    drawn.height = 64;
    video::RedactionMask other;  // another camera's
    other.camera = 2;
    other.polygon = Rect(0, 0, 32, 32);
    plan.masks = {timed, drawn, other};
    video::CameraRedactor redactor(plan, 1);
    ASSERT_TRUE(redactor.any());
    EXPECT_FALSE(video::CameraRedactor(plan, 5).any());
    auto shown = [&](long long second) {
        Picture p(32, 32, [](int, int) { return 100; });
        redactor.At(second, "");
        redactor.Apply(p.view, 32, 32);
        return std::make_pair(p.Y(0, 0), p.Y(20, 20));
    };
    EXPECT_EQ(shown(99), std::make_pair(std::uint8_t{100}, std::uint8_t{16}));
    EXPECT_EQ(shown(100), std::make_pair(std::uint8_t{16}, std::uint8_t{16}));
    EXPECT_EQ(shown(102), std::make_pair(std::uint8_t{16}, std::uint8_t{16}));
    video::FileRedaction first = redactor.TakeFile();
    EXPECT_EQ(shown(103), std::make_pair(std::uint8_t{100}, std::uint8_t{16}));
    EXPECT_EQ(first.masks[0].pictures, 2);
    EXPECT_EQ(first.masks[0].first, "1970-01-01 00:01:40");
    EXPECT_EQ(first.masks[0].last, "1970-01-01 00:01:42");
    EXPECT_EQ(first.masks[1].pictures, 3);
    EXPECT_EQ(first.masks.count(2), 0u);
    const video::FileRedaction second = redactor.TakeFile();
    EXPECT_EQ(second.masks.count(0), 0u);
    EXPECT_EQ(second.masks.at(1).pictures, 1);
    // A later picture of another size: the masks scale with it.
    Picture big(64, 64, [](int, int) { return 100; });
    redactor.At(101, "");
    redactor.Apply(big.view, 64, 64);
    EXPECT_EQ(big.Y(15, 15), 16);
    EXPECT_EQ(big.Y(16, 16), 100);
    EXPECT_EQ(big.Y(40, 40), 16);
}

TEST(CameraRedactor, MutesTheSecondsOfItsRangeWhole) {
    video::RedactionPlan plan;
    plan.mutes = {{0, 1002, 1003}};
    video::CameraRedactor redactor(plan, 0);
    std::vector<std::uint8_t> minute(60 * 8000, 200);
    redactor.Mute(minute.data(), minute.size(), 1000);
    for (const std::size_t at : {std::size_t{0}, std::size_t{15999}, std::size_t{32000}})
        EXPECT_EQ(minute[at], 200) << at;
    for (const std::size_t at : {std::size_t{16000}, std::size_t{31999}})
        EXPECT_EQ(minute[at], 128) << at;
    EXPECT_EQ(std::count(minute.begin(), minute.end(), 128), 16000);
    // A minute before the range, and one a mute reaches only the start of.
    std::vector<std::uint8_t> before(8000, 200);
    redactor.Mute(before.data(), before.size(), 990);
    EXPECT_EQ(std::count(before.begin(), before.end(), 128), 0);
    std::vector<std::uint8_t> late(60 * 8000, 200);
    redactor.Mute(late.data(), late.size(), 1003);
    EXPECT_EQ(std::count(late.begin(), late.end(), 128), 8000);
    EXPECT_EQ(redactor.TakeFile().mutedSamples.at(0), 24000);
}

#endif
