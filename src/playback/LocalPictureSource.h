#pragma once
// The pictures of the recorder on this machine, read from its storage: the day folders below
// the recordings root, each minute's index and data file. Nothing is written there.
#include <memory>

#include "platform/File.h"
#include "playback/PictureSource.h"

namespace playback {

class LocalPictureSource : public IPictureSource {
  public:
    // root: the recordings root as a drive path ("C:\QorData").
    explicit LocalPictureSource(std::string root);

    std::vector<std::string> Days() override;
    std::vector<int> Minutes(const std::string& day) override;
    MinutePictures Pictures(const std::string& day, int minuteOfDay, int camera) override;
    platform::Outcome Read(const std::string& day, int minuteOfDay, const PictureRef& picture,
                           std::vector<std::uint8_t>& bytes) override;

  private:
    std::string root_;
    // The data file of the minute read last: playing reads one minute's pictures in a row.
    std::string openPrefix_;
    platform::File data_;
};

}  // namespace playback
