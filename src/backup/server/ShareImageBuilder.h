#pragma once
// The image of an entry a client asks the recorder's server for: served straight from the
// recordings when its files are the recorder's own, byte for byte, and otherwise built by a pass
// of its own into the server's temporary folder. Its files are hashed as they become final and
// listed in the store, so that a client fetches them while the build goes on. For one build at
// a time.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "backup/HostSettings.h"
#include "backup/server/RecordingDigests.h"
#include "backup/server/ShareImageStore.h"
#include "records/RemoteRecords.h"

class ShareImageBuilder {
  public:
    // Called for every copied file: its name, the KB done and planned.
    using Progress =
        std::function<void(const std::string& item, std::uint32_t doneKB, std::uint32_t totalKB)>;
    // Called for every file of the image that is final while the build goes on (the files of a
    // recording minute once the next minute begins), with the entry: the store serves it from
    // then on. A name may come again with other bytes; the finished image's list is the one
    // that holds.
    using FileReady = std::function<void(const std::string& entry, const ShareImageFile& file)>;
    // Called for a file given to FileReady that the build has deleted again (a minute that
    // turned out not whole): it is no part of the image, and no longer served.
    using FileWithdrawn = std::function<void(const std::string& entry, const std::string& name)>;
    // The one who asked for an image, and what it is told while it is made.
    struct Requester {
        const Progress& progress;
        const std::atomic<bool>& cancel;  // the build stops between files once it is true
        const FileReady& ready;
        const FileWithdrawn& withdrawn;
        std::string owner;  // the requesting client's id ("" for none)
    };

    // host: the recorder served, whose working folder lies beside the images.
    ShareImageBuilder(backup::HostSettings host, ShareImageStore& store);

    // Makes the entry of the request into kNetTempRoot\{entry}\{day}\ (an older image of the
    // same entry is replaced, unless a client is still fetching it: then the request is refused,
    // as one client's image must not vanish under it; the owner's own is left behind, as that
    // client has gone). An image that could not be made whole (a minute not copied) is removed
    // and answered with the problem, unless all it lacks lies in the recording (a damaged
    // minute): then it holds the rest and failures says what it lacks. A build the store has no
    // room for is refused; one that finds the disk filling up stops and is removed. The entry's
    // information and minute map files are the requester's own and are not listed.
    ShareImage Build(const _BACKUPMAKEIMAGE& request, const Requester& requester);

  private:
    const backup::HostSettings host_;
    ShareImageStore& store_;
    RecordingDigests digests_;  // of the recorder's files served as they are
};
