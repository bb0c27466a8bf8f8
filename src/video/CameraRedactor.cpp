#include "video/CameraRedactor.h"

#include <algorithm>

#include "video/PictureRedaction.h"
#include "video/RecordedClock.h"

namespace video {
namespace {

constexpr long long kMuteSampleRate = 8000;
constexpr std::uint8_t kSilentSample = 128;

}  // namespace

CameraRedactor::CameraRedactor(const RedactionPlan& plan, int camera) : plan_(plan) {
    for (std::size_t i = 0; i < plan.masks.size(); ++i)
        if (plan.masks[i].camera == camera)
            masks_.push_back(static_cast<int>(i));
    for (std::size_t i = 0; i < plan.mutes.size(); ++i)
        if (plan.mutes[i].camera == camera)
            mutes_.push_back(static_cast<int>(i));
}

void CameraRedactor::At(long long second, const std::string& mark) {
    if (second != second_ || mark != mark_)
        text_.clear();
    second_ = second;
    mark_ = mark;
}

const MaskRaster& CameraRedactor::RasterOf(int index, int width, int height) {
    const auto key = std::make_tuple(index, width, height);
    auto found = rasters_.find(key);
    if (found != rasters_.end())
        return found->second;
    const RedactionMask& mask = plan_.masks[static_cast<std::size_t>(index)];
    const int drawnWidth = mask.width > 0 ? mask.width : firstWidth_;
    const int drawnHeight = mask.height > 0 ? mask.height : firstHeight_;
    return rasters_
        .emplace(key, RasterizePolygon(
                          ScalePolygon(mask.polygon, drawnWidth, drawnHeight, width, height), width,
                          height))
        .first->second;
}

void CameraRedactor::Apply(PlanarPicture& picture, int sourceWidth, int sourceHeight) {
    if (firstWidth_ == 0) {
        firstWidth_ = sourceWidth;
        firstHeight_ = sourceHeight;
    }
    for (const int index : masks_) {
        const RedactionMask& mask = plan_.masks[static_cast<std::size_t>(index)];
        if (second_ < mask.from || second_ > mask.to)
            continue;
        const MaskRaster& raster = RasterOf(index, picture.width, picture.height);
        if (raster.empty())
            continue;  // wholly outside this picture: nothing hidden, nothing counted
        RedactPicture(picture, raster, mask.method);
        MaskCover& cover = file_.masks[index];
        if (text_.empty())
            text_ = RecordedTimeText(second_, mark_);
        if (cover.pictures++ == 0)
            cover.first = text_;
        cover.last = text_;
    }
}

void CameraRedactor::Mute(std::uint8_t* samples, std::size_t count, long long minuteReading) {
    const long long n = static_cast<long long>(count);
    for (const int index : mutes_) {
        const AudioMute& mute = plan_.mutes[static_cast<std::size_t>(index)];
        // The samples of the seconds from..to, both whole.
        const long long first = mute.from == LLONG_MIN
                                    ? 0
                                    : std::max(0LL, (mute.from - minuteReading) * kMuteSampleRate);
        const long long end =
            mute.to == LLONG_MAX ? n : std::min(n, (mute.to + 1 - minuteReading) * kMuteSampleRate);
        if (first >= end)
            continue;
        std::fill(samples + first, samples + end, kSilentSample);
        file_.mutedSamples[index] += end - first;
    }
}

FileRedaction CameraRedactor::TakeFile() {
    FileRedaction taken = std::move(file_);
    file_ = FileRedaction{};
    return taken;
}

}  // namespace video
