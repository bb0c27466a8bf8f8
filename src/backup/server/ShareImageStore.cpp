#include "backup/server/ShareImageStore.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"
#include "records/ScheduleEntry.h"
#include "storage/WorkingFolder.h"

namespace fs = std::filesystem;

namespace {

std::string BytesAsMegabytes(unsigned long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// What an image takes of the disk: its files but those served from the recordings.
unsigned long long ImageDiskBytes(const ShareImage& image) {
    unsigned long long bytes = 0;
    for (const ShareImageFile& f : image.files)
        if (f.source.empty())
            bytes += static_cast<unsigned long long>(f.size);
    return bytes;
}

}  // namespace

ShareImageStore::ShareImageStore(Limits limits) : limits_(limits) {
    // Images of clients that never came back, and the working folder of a killed build.
    std::error_code ec;
    const std::string root = platform::ResolvePath(kNetTempRoot);
    for (const auto& e : fs::directory_iterator(root, ec)) {
        const std::string name = e.path().filename().string();
        if (IsEntryString(name) || name == "Reserved")
            platform::DeleteTree(Base() + name);
    }
}

std::string ShareImageStore::Base() {
    return std::string(kNetTempRoot) + "\\";
}

std::string ShareImageStore::EntryOf(const std::string& path) {
    const std::string prefix = Base();
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return std::string();
    const std::string entry = path.substr(prefix.size());
    return IsEntryString(entry) ? entry : std::string();
}

std::string ShareImageStore::Claim(const std::string& entry, const std::string& owner) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        for (const Listing& b : listed_) {
            // A client asks for an entry again only when it lost what it had: its own image is
            // left behind, whoever else's is not.
            const bool ownLeftBehind = !owner.empty() && b.owner == owner;
            if (b.image.entry == entry && now - b.touched < limits_.abandonAfter && !ownLeftBehind)
                return "another client is fetching " + entry +
                       " from this recorder; try again when it has finished";
        }
        Erase(entry);
    }
    storage::DeleteFolderTree(Base() + entry);  // an older image of the same entry, left behind
    return std::string();
}

std::string ShareImageStore::RoomProblem(unsigned long long needBytes) const {
    std::uint64_t free = 0, total = 0;
    if (!platform::GetDiskFreeSpaceExA(kNetTempRoot, &free, &total, nullptr))
        return "the recorder cannot tell the free space of its disk";
    const double kept = limits_.keepFree * static_cast<double>(total);
    if (static_cast<double>(free) - static_cast<double>(needBytes) >= kept)
        return std::string();
    const auto mb = [](double bytes) {
        return std::to_string(static_cast<long long>(bytes / 1e6));
    };
    return "the recorder's disk has too little free space for the image (" +
           mb(static_cast<double>(needBytes)) + " MB needed, " + mb(static_cast<double>(free)) +
           " MB free, " + mb(kept) + " MB kept free for the recording)";
}

std::string ShareImageStore::MakeRoom(unsigned long long needBytes) {
    for (;;) {
        std::string problem, idle;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto now = std::chrono::steady_clock::now();
            unsigned long long kept = 0;
            const Listing* oldest = nullptr;
            for (const Listing& b : listed_) {
                kept += ImageDiskBytes(b.image);
                if (now - b.touched >= limits_.fetching && (!oldest || b.touched < oldest->touched))
                    oldest = &b;
            }
            std::uint64_t free = 0, total = 0;
            platform::GetDiskFreeSpaceExA(kNetTempRoot, &free, &total, nullptr);
            const double share = limits_.keptShare * static_cast<double>(total);
            if (listed_.size() >= limits_.keptImages)
                problem = "the recorder keeps " + std::to_string(listed_.size()) +
                          " images for clients already, the most it keeps at once, and they are "
                          "being fetched; try again when one has been fetched and removed";
            else if (!listed_.empty() && static_cast<double>(kept + needBytes) > share)
                problem = "the recorder keeps " + BytesAsMegabytes(kept) +
                          " of images for clients already, and this one (" +
                          BytesAsMegabytes(needBytes) +
                          ") would take them past the share of its disk kept for images (" +
                          BytesAsMegabytes(static_cast<unsigned long long>(share)) +
                          "); try again when one has been fetched and removed";
            else
                problem = RoomProblem(needBytes);
            if (problem.empty() || !oldest)
                return problem;
            // Not fetched from for a while, so taken as left behind: it goes before a new one is
            // refused.
            idle = oldest->image.entry;
            Erase(idle);
        }
        if (IsEntryString(idle))
            storage::DeleteFolderTree(Base() + idle);
    }
}

void ShareImageStore::Begin(const std::string& entry, const std::string& hostFolder,
                            const std::string& owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    Listing listing{ShareImage{}, hostFolder, std::chrono::steady_clock::now(), owner};
    listing.image.entry = entry;
    listed_.push_back(std::move(listing));
}

void ShareImageStore::Add(const std::string& entry, const ShareImageFile& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Listing& b : listed_)
        if (b.image.entry == entry)
            b.image.files.push_back(file);
}

void ShareImageStore::Replace(const std::string& entry, const std::string& hostFolder,
                              const ShareImageFile& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Listing& b : listed_) {
        if (b.image.entry != entry)
            continue;
        std::erase_if(b.image.files, [&](const ShareImageFile& f) { return f.name == file.name; });
        if (b.hostFolder == hostFolder)
            b.image.files.push_back(file);
    }
}

void ShareImageStore::Withdraw(const std::string& entry, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Listing& b : listed_)
        if (b.image.entry == entry)
            std::erase_if(b.image.files, [&](const ShareImageFile& f) { return f.name == name; });
}

void ShareImageStore::Keep(const ShareImage& image, const std::string& hostFolder,
                           const std::string& owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    Erase(image.entry);
    listed_.push_back(Listing{image, hostFolder, std::chrono::steady_clock::now(), owner});
}

bool ShareImageStore::Unlist(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::erase_if(listed_, [&](const Listing& b) { return b.image.entry == entry; }) > 0;
}

void ShareImageStore::Erase(const std::string& entry) {
    std::erase_if(listed_, [&](const Listing& b) { return b.image.entry == entry; });
}

bool ShareImageStore::RemoveFolder(const std::string& entry, bool listed) {
    const std::string path = Base() + entry;
    // An image served from the recordings has no folder of its own.
    return platform::DeleteTree(path) || (listed && !platform::IsDirectory(path));
}

const ShareImageFile* ShareImageStore::Listed(const std::string& entry, const std::string& name,
                                              std::string* hostPath) {
    for (Listing& b : listed_) {
        if (b.image.entry != entry)
            continue;
        for (const ShareImageFile& f : b.image.files) {
            if (f.name == name) {
                b.touched = std::chrono::steady_clock::now();
                *hostPath = f.source.empty() ? b.hostFolder + "/" + name : f.source;
                return &f;
            }
        }
    }
    return nullptr;
}

std::string ShareImageStore::ImageFilePath(const std::string& entry, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string host;
    return Listed(entry, name, &host) ? host : std::string();
}

ShareImageStore::Opened ShareImageStore::OpenImageFile(const std::string& entry,
                                                       const std::string& name,
                                                       platform::File& file) {
    std::string host;
    long long size = 0;
    platform::FileId id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const ShareImageFile* listed = Listed(entry, name, &host);
        if (!listed)
            return Opened::kUnlisted;
        size = listed->size;
        id = listed->id;
    }
    // The recordings are the recorder's: a file there may be replaced, or a link put in its
    // place, after it was hashed. What is open is checked, not what the name leads to now.
    if (!file.OpenResolved(host, platform::File::kReadNoLink) || file.Length() != size ||
        (id != platform::FileId{} && file.Id() != id)) {
        file.Close();
        return Opened::kChanged;
    }
    return Opened::kOpen;
}

void ShareImageStore::Touch(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Listing& b : listed_)
        if (b.image.entry == entry)
            b.touched = std::chrono::steady_clock::now();
}

void ShareImageStore::RemoveAbandoned() {
    std::vector<std::string> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        for (const Listing& b : listed_)
            if (now - b.touched >= limits_.abandonAfter)
                gone.push_back(b.image.entry);
        std::erase_if(listed_,
                      [&](const Listing& b) { return now - b.touched >= limits_.abandonAfter; });
    }
    // Every name in the list passed IsEntryString: none leads out of the temporary root.
    for (const std::string& entry : gone)
        if (IsEntryString(entry))
            storage::DeleteFolderTree(Base() + entry);
}
