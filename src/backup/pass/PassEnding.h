#pragma once
// How a pass ended, as its entry source tells the front end. A pass from this recorder ends
// once its image is built; a run over the link ends with every entry fetched, without a link
// to fetch with, with files lost on the way, or stopped.
#include <string>

namespace backup {

struct PassEnding {
    enum class Source { kRecorder, kLink } source = Source::kRecorder;
    // How a run over the link ended (kNone for a pass from this recorder).
    enum class Link { kNone, kFetched, kNoLink, kLost, kStopped } link = Link::kNone;
    std::string why;  // what was lost, or why the link ended the run
};

// What the worker tells its front end's thread when a pass is over; it knows nothing else of
// the front end.
class IPassEndings {
  public:
    virtual ~IPassEndings() = default;
    virtual void PassEnded(const PassEnding& ending) = 0;
};

}  // namespace backup
