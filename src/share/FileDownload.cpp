#include "share/FileDownload.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "integrity/Sha256.h"
#include "platform/AtomicFile.h"
#include "share/ShareLink.h"
#include "share/ShareProtocol.h"

namespace share {
namespace {

// Attempts in a row that bring no byte before the file is given up.
constexpr int kRetries = 4;

// Sleeps for a retry's pause, in short steps so that a cancel is not kept waiting.
void Pause(int attempt, const std::atomic<bool>& cancel) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100 << attempt);
    while (!cancel && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Whole copies fetched again after one arrived changed.
constexpr int kRefetches = 1;

// The pieces a reply arrives in are small (a few KB): written one by one they would cost a
// system call, and the image's hasher a hand-over, each. They are gathered to the hasher's
// buffer size first.
class GatheredWrites {
  public:
    explicit GatheredWrites(platform::AtomicFile& out) : out_(out) {
        buffer_.reserve(platform::WriteTap::kBufferBytes);
    }
    bool Add(const char* data, std::size_t n) {
        // A large piece goes as it is, unless smaller ones wait before it.
        if (buffer_.empty() && n >= kDirect)
            return out_.Write(data, n).ok();
        while (n > 0) {
            const std::size_t room = buffer_.capacity() - buffer_.size();
            const std::size_t take = std::min(room, n);
            buffer_.insert(buffer_.end(), data, data + take);
            data += take;
            n -= take;
            if (buffer_.size() == buffer_.capacity() && !Flush())
                return false;
        }
        return true;
    }
    bool Flush() {
        const bool written = buffer_.empty() || out_.Write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return written;
    }
    // The file was started again: what is gathered belongs to the old one.
    void Drop() { buffer_.clear(); }

  private:
    static constexpr std::size_t kDirect = 256 * 1024;
    platform::AtomicFile& out_;
    std::vector<char> buffer_;
};

}  // namespace

std::string DownloadFile(ShareLink& link, const std::string& entry, const ListedFile& file,
                         const std::string& hostPath, const std::atomic<bool>& cancel,
                         const std::function<void(long long)>& progress, bool* notAsListed) {
    bool unlisted = false;
    if (!notAsListed)
        notAsListed = &unlisted;
    *notAsListed = false;
    platform::AtomicFile out;
    GatheredWrites gathered(out);
    // The bytes are hashed here, against the listed digest: the image's own hasher takes
    // that digest instead of hashing them once more.
    auto create = [&] {
        if (!out.Create(hostPath))
            return false;
        out.WriterHashes();
        return true;
    };
    if (!create())
        return file.name + " cannot be created in the download folder";
    const std::string path =
        std::string(kRouteFile) + "?entry=" + QueryValue(entry) + "&name=" + QueryValue(file.name);
    long long held = 0;
    int failures = 0;
    int corrupted = 0;  // whole copies that arrived with other bytes than the recorder's
    integrity::Sha256 hash;
    std::string lastError;
    for (;;) {
        if (cancel)
            return kCancelled;
        std::string refused;
        bool writeFailed = false;
        const long long before = held;
        auto head = [&](const ShareLink::Head& h) {
            if (h.status == 200 && held > 0) {
                // The server sends the whole file again: start it again.
                gathered.Drop();
                if (!create()) {
                    writeFailed = true;
                    return false;
                }
                held = 0;
                hash.Final();  // starts again
            } else if (h.status == 206) {
                if (held == 0 || h.rangeStart != held) {
                    refused = "the server sent another part of " + file.name + " than asked for";
                    return false;
                }
            } else if (h.status != 200) {
                refused =
                    "the server refused " + file.name + " (HTTP " + std::to_string(h.status) + ")";
                return false;
            }
            if (h.contentLength < -1 || h.contentLength > file.size - held) {
                refused = "the server sends " + file.name + " larger than it announced (" +
                          std::to_string(file.size) + " bytes)";
                return false;
            }
            return true;
        };
        auto body = [&](const char* data, std::size_t n) {
            if (cancel)
                return false;
            if (static_cast<long long>(n) > file.size - held) {
                refused = "the server sends more of " + file.name + " than the " +
                          std::to_string(file.size) + " bytes it listed";
                return false;
            }
            if (!gathered.Add(data, n)) {
                writeFailed = true;
                return false;
            }
            hash.Update(data, n);
            held += static_cast<long long>(n);
            if (progress)
                progress(held);
            return true;
        };
        const ShareLink::FetchResult r = link.Fetch(path, held, head, body);
        // A retry goes on from what the file holds: everything held must be in it.
        if (!gathered.Flush())
            writeFailed = true;
        if (cancel)
            return kCancelled;
        if (!refused.empty()) {
            *notAsListed = true;
            return refused;
        }
        if (writeFailed)
            return file.name + " cannot be written to the download folder";
        if (r.complete && held == file.size) {
            if (const std::string digest = hash.HexFinal(); digest == file.sha256) {
                if (!out.CommitHashed(digest))
                    return file.name + " cannot be put in its place in the download folder";
                return "";
            }
            // Changed on the way: never taken into the image, fetched whole once more.
            if (++corrupted > kRefetches) {
                *notAsListed = true;
                return file.name +
                       " arrived with other bytes than the recorder wrote (its "
                       "SHA-256 differs), " +
                       std::to_string(corrupted) + " times";
            }
            if (!create())
                return file.name + " cannot be created in the download folder";
            held = 0;
            hash.Final();
            continue;
        }
        lastError = r.complete ? "the reply ended before the listed size" : r.linkError;
        failures = held > before ? 0 : failures + 1;
        if (failures > kRetries)
            return "fetching " + file.name + " failed: " + lastError;
        Pause(failures, cancel);
    }
}

}  // namespace share
