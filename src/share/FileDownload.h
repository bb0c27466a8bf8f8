#pragma once
// One listed file of an image, fetched into its place through a temporary name. A connection
// that drops is picked up where it stopped with a range request, a few times with a short
// pause; a reply that is larger than the listing said, or a server that answers with another
// range, ends the file. Whatever ends it early, no temporary file stays behind.
#include <atomic>
#include <functional>
#include <string>

#include "backup/remote/RemoteRecorder.h"
#include "share/ShareReplies.h"

namespace share {

class ShareLink;

// Why a fetch ended when it was cancelled, as the core names it.
constexpr const char* kCancelled = backup::kFetchCancelled;

// Fetches file of entry into hostPath. progress gets the bytes held so far. "" when the file is
// whole in its place, kCancelled when cancel was seen, else why it failed. notAsListed (when
// given) tells a failure because the server does not have the file as it listed it (refused,
// larger, other bytes) from one of the link or the download folder: the list of an image being
// built may have changed since.
std::string DownloadFile(ShareLink& link, const std::string& entry, const ListedFile& file,
                         const std::string& hostPath, const std::atomic<bool>& cancel,
                         const std::function<void(long long)>& progress,
                         bool* notAsListed = nullptr);

}  // namespace share
