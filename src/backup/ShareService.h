#pragma once
// The recorder's side of the remote link, without its transport: the answers a share server
// gives (a day's index, the size of an entry, an entry's image below "C:\NetBackupTemp"),
// computed by the same code local mode uses. A server calls it from any thread; the image
// builds run one at a time.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backup/ShareServiceDirect.h"
#include "platform/File.h"
#include "records/RemoteRecords.h"

class CQuillonApp;

// Where the server's temporary images lie, as the client names them.
constexpr const char* kNetTempRoot = "C:\\NetBackupTemp";

class ShareService {
  public:
    struct Settings {
        std::string storageRoot;  // the recordings, a drive path ("C:\QorData")
        int cameras = 64;         // the recorder's camera count
        int modelCode = 0x670;    // names the audio files of the recordings
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
    struct ImageFile {
        std::string name;  // below the entry's day folder, '/' between folders ("Audio/x.wav")
        long long size = 0;
        std::string sha256;  // of the bytes as they were written, hex
        // The recorder's own file it is served from, read only ("" for a file of the image's
        // folder).
        std::string source;
        // The file that was hashed: another one put in its place since (a link among them) is
        // not served as this one. Zeros when it is not known.
        platform::FileId id;
    };
    struct Image {
        std::string problem;  // why no image was made ("" when it was)
        std::string entry;    // the entry string: its folder below kNetTempRoot
        std::vector<ImageFile> files;
        // What the image lacks (minutes not copied ...). A made image lacks only what the
        // recording itself lacks (damaged minutes), named without the entry.
        std::vector<std::string> failures;
        std::string why;  // with failures: the entry's first problem, in short, as a pass names it
        bool cancelled = false;
    };
    // Called for every copied file: its name, the KB done and planned.
    using Progress =
        std::function<void(const std::string& item, std::uint32_t doneKB, std::uint32_t totalKB)>;
    // Called for every file of the image that is final while the build goes on (the files of a
    // recording minute once the next minute begins), with the entry: ImageFilePath serves it
    // from then on. A name may come again with other bytes; the finished image's list is the
    // one that holds.
    using FileReady = std::function<void(const std::string& entry, const ImageFile& file)>;
    // Called for a file given to FileReady that the build has deleted again (a minute that
    // turned out not whole): it is no part of the image, and no longer served.
    using FileWithdrawn = std::function<void(const std::string& entry, const std::string& name)>;

    // Removes what an earlier run of the server left below kNetTempRoot.
    explicit ShareService(Settings settings);
    ~ShareService();

    // The days with recordings, as the preview lists them.
    std::vector<std::string> RecordedDays() const;
    // day: 8 digits YYYYMMDD; anything else is a day without recordings.
    _INDEXREPLY IndexReply(const std::string& day);
    // The size of the entry the request describes, as local mode estimates it.
    _ADDSIZEREPLY AddSize(const _BACKUPADDTOTALSIZE& request);
    // Builds the entry of the request into kNetTempRoot\{entry}\{day}\ (an older image of the
    // same entry is replaced, unless a client is still fetching it: then the request is refused,
    // as one client's image must not vanish under it). Stops between files once cancel is true. An
    // image that could not be made whole (a minute not copied) is removed and answered with the
    // problem, unless all it lacks lies in the recording (a damaged minute): then it holds the
    // rest and failures says what it lacks. A build beyond keptImages or keptShare, or that would
    // leave less of the disk free than keepFree, first removes the images no client is fetching,
    // oldest first, and is refused when that is not enough; one that finds the disk filling up
    // stops and is removed. The entry's information and minute map files are the requester's
    // own and are not listed.
    // owner: the requesting client's id ("" for none): an image of the same entry that a client
    // with this id left behind is replaced at once, as that client has gone.
    Image MakeImage(const _BACKUPMAKEIMAGE& request, const Progress& progress,
                    const std::atomic<bool>& cancel, const FileReady& ready = nullptr,
                    const FileWithdrawn& withdrawn = nullptr,
                    const std::string& owner = std::string());
    // The host path of one file of a built image, or of one given to FileReady of the image
    // being built; "" when name is not one of its listed files.
    std::string ImageFilePath(const std::string& entry, const std::string& name);
    enum class Opened {
        kOpen,      // file holds the listed file, read only
        kUnlisted,  // name is not one of the image's listed files
        kChanged,   // another file, or a link, is in its place now
    };
    // Opens a listed file of the image for serving it: without following a link, and only when
    // it is still the file (device, inode and length) that was hashed.
    Opened OpenImageFile(const std::string& entry, const std::string& name, platform::File& file);
    // Removes a temporary image, given as the client names it ("C:\NetBackupTemp\{entry}").
    // False when the path is not one of ours or could not be removed.
    bool DeleteTemp(const std::string& path);
    // Marks the entry's image as being fetched now.
    void Touch(const std::string& entry);
    // Deletes the images nobody has fetched from for abandonAfter. Left to the next call while
    // a build runs (a build does it first itself).
    void RemoveAbandoned();
    std::chrono::milliseconds abandonAfter() const { return settings_.abandonAfter; }

  private:
    void RemoveAbandonedImages();  // with buildMutex_ held
    // Makes room for an image of needBytes by the rules of keptImages, keptShare and keepFree
    // (with buildMutex_ held): why it cannot be built, "" when it can.
    std::string MakeRoom(unsigned long long needBytes);
    // The image of files served from the recordings (with buildMutex_ held): hashed one by one
    // and listed as they are. False, with image untouched, when a file is no longer as it was
    // found: the entry is then built.
    bool ListDirect(Image& image, const std::vector<DirectFile>& files, const Progress& progress,
                    const std::atomic<bool>& cancel, const FileReady& ready,
                    const std::string& owner);
    // The image being built leaves the list, or takes its final files (with listMutex_ held).
    void Unlist(const std::string& entry);
    // The listed file of name, or null (with listMutex_ held); marks the image as in use.
    const ImageFile* Listed(const std::string& entry, const std::string& name,
                            std::string* hostPath);
    Settings settings_;
    std::mutex buildMutex_;  // one image build at a time
    struct Built {
        Image image;
        std::string hostFolder;                         // the entry's day folder on this machine
        std::chrono::steady_clock::time_point touched;  // built, or a file of it served
        std::string owner;                              // the id of the client it is for
    };
    std::mutex listMutex_;
    std::vector<Built> built_;
};
