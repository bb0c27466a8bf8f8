#pragma once
// The server's images on the recorder's disk and their list: which files a client may fetch,
// how long an image nobody fetches from is kept, and how much of the disk the images may take.
// Any thread may call it; what removes an image's folder while a build may write there is the
// caller's to keep apart from the build.
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "platform/File.h"

// Where the server's temporary images lie, as the client names them.
constexpr const char* kNetTempRoot = "C:\\NetBackupTemp";

struct ShareImageFile {
    std::string name;  // below the entry's day folder, '/' between folders ("Audio/x.wav")
    long long size = 0;
    std::string sha256;  // of the bytes as they were written, hex
    // The recorder's own file it is served from, read only ("" for a file of the image's
    // folder).
    std::string source;
    // The file that was hashed: another one put in its place since (a link among them) is not
    // served as this one. Zeros when it is not known.
    platform::FileId id;
};

struct ShareImage {
    std::string problem;  // why no image was made ("" when it was)
    std::string entry;    // the entry string: its folder below kNetTempRoot
    std::vector<ShareImageFile> files;
    // What the image lacks (minutes not copied ...). A made image lacks only what the
    // recording itself lacks (damaged minutes), named without the entry.
    std::vector<std::string> failures;
    std::string why;  // with failures: the entry's first problem, in short, as a pass names it
    bool cancelled = false;
};

class ShareImageStore {
  public:
    struct Limits {
        // An image no client has fetched from for this long is taken as left behind: a build
        // of the same entry replaces it, and RemoveAbandoned deletes it.
        std::chrono::milliseconds abandonAfter = std::chrono::minutes(30);
        // The share of the recorder's disk a build must leave free: a full disk would stop the
        // recording, which an image must never cause.
        double keepFree = 0.10;
        // What the clients may keep at once, all together (one token lets in any of them, as
        // any client id): so many images, and of the disk's bytes this share, though one image
        // alone may take what keepFree leaves. A build beyond a bound, or without room on the
        // disk, first removes the images no client is fetching, oldest first; it is refused
        // only when that is not enough.
        std::size_t keptImages = 8;
        double keptShare = 0.25;
        // An image built, or with a file sent, within this time is taken as being fetched: a
        // client fetches its files one after another, and retries a dropped one.
        std::chrono::milliseconds fetching = std::chrono::minutes(1);
    };
    // Removes what an earlier run of the server left below kNetTempRoot.
    explicit ShareImageStore(Limits limits);

    // "C:\NetBackupTemp\": an image's folder is this and its entry string, and the server's
    // working folder lies beside them.
    static std::string Base();
    // The entry of a temporary image as a client names it ("C:\NetBackupTemp\{entry}"); "" when
    // the path is not one of ours.
    static std::string EntryOf(const std::string& path);

    // Before a build of entry for the client owner ("" for none): why it must wait, as another
    // client is fetching the entry's image. Otherwise an older image of the entry, left behind
    // (or owner's own, as owner has lost it), leaves the list and the disk, and "" is returned.
    std::string Claim(const std::string& entry, const std::string& owner);
    // Makes room for an image of needBytes by the rules of keptImages, keptShare and keepFree:
    // why it cannot be built, "" when it can.
    std::string MakeRoom(unsigned long long needBytes);
    // Why needBytes more would leave less of the disk free than keepFree; "" when they fit.
    std::string RoomProblem(unsigned long long needBytes) const;

    // Lists an image of entry being made, without files yet, whose built files lie in
    // hostFolder ("" for an image served from the recordings). Other listings of the entry stay.
    void Begin(const std::string& entry, const std::string& hostFolder, const std::string& owner);
    // A file of entry that is final: every listing of entry serves it.
    void Add(const std::string& entry, const ShareImageFile& file);
    // A file built in hostFolder: no listing of entry serves one of its name from elsewhere, and
    // the listing of hostFolder serves this one.
    void Replace(const std::string& entry, const std::string& hostFolder,
                 const ShareImageFile& file);
    // No listing of entry serves a file of this name.
    void Withdraw(const std::string& entry, const std::string& name);
    // The made image, in hostFolder, is the only listing of its entry.
    void Keep(const ShareImage& image, const std::string& hostFolder, const std::string& owner);
    // The entry's listings leave the list; false when there were none.
    bool Unlist(const std::string& entry);
    // Deletes the entry's folder: true when it is gone, or when the entry was listed and had
    // none (an image served from the recordings).
    bool RemoveFolder(const std::string& entry, bool listed);

    // The host path of one listed file; "" when name is not one of its listed files.
    std::string ImageFilePath(const std::string& entry, const std::string& name);
    enum class Opened {
        kOpen,      // file holds the listed file, read only
        kUnlisted,  // name is not one of the image's listed files
        kChanged,   // another file, or a link, is in its place now
    };
    // Opens a listed file of the image for serving it: without following a link, and only when
    // it is still the file (device, inode and length) that was hashed.
    Opened OpenImageFile(const std::string& entry, const std::string& name, platform::File& file);
    // Marks the entry's image as being fetched now.
    void Touch(const std::string& entry);
    // Deletes the images nobody has fetched from for abandonAfter.
    void RemoveAbandoned();
    std::chrono::milliseconds abandonAfter() const { return limits_.abandonAfter; }

  private:
    struct Listing {
        ShareImage image;
        std::string hostFolder;                         // the entry's day folder on this machine
        std::chrono::steady_clock::time_point touched;  // built, or a file of it served
        std::string owner;                              // the id of the client it is for
    };
    // The listed file of name, or null (with mutex_ held); marks the image as in use.
    const ShareImageFile* Listed(const std::string& entry, const std::string& name,
                                 std::string* hostPath);
    void Erase(const std::string& entry);  // with mutex_ held

    const Limits limits_;
    std::mutex mutex_;
    std::vector<Listing> listed_;
};
