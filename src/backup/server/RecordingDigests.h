#pragma once
// The SHA-256 of the recorder's own files as the server hashed them for an earlier listing, so
// that an entry asked for again (by another client, or after a dropped run) is not read twice: a
// file whose stamp is what it was is taken as the bytes that were hashed. A change that left
// the stamp as it was would take setting the machine's clock back; a client checks every byte it
// receives against the digest, so a stale one could only have a fetch refused, never a wrong
// file taken. Any thread may call it.
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/File.h"

class RecordingDigests {
  public:
    // keep: how many files it remembers; the oldest go first.
    explicit RecordingDigests(std::size_t keep = 100000) : keep_(keep) {}
    // The digest remembered for hostPath as it was at stamp, or none.
    std::optional<std::string> Find(const std::string& hostPath,
                                    const platform::FileStamp& stamp) const;
    // The digest of hostPath at stamp (the stamp before and after it was read: a file changed
    // meanwhile is not remembered).
    void Remember(const std::string& hostPath, const platform::FileStamp& before,
                  const platform::FileStamp& after, const std::string& sha256Hex);

  private:
    struct Known {
        platform::FileStamp stamp;
        std::string sha256;
    };
    const std::size_t keep_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Known> known_;
    std::deque<std::string> order_;  // paths by first remembered, oldest first
};
