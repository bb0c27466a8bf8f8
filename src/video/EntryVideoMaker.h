#pragma once
// The backup pass's maker of MP4 files: each camera of an entry just written into the image,
// exported beside its minutes with the image's hashing on every thread that writes.
#include <string>

#include "ports/EntryVideo.h"

namespace video {

class EntryVideoMaker : public ports::IEntryVideo {
  public:
    // unit: the exporting unit's name the files carry.
    explicit EntryVideoMaker(std::string unit) : unit_(std::move(unit)) {}
    Made MakeEntryVideo(const Request& request) override;

  private:
    std::string unit_;
};

// "2010-05-23 - 10:00 ~ 10:39" of the entry folder "2010_05_23=10,00~10,39" (the name itself
// when it is no entry's).
std::string EntryLabel(const std::string& entryName);

}  // namespace video
