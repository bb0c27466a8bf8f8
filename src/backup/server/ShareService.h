#pragma once
// The recorder's side of the remote link, without its transport: the answers a share server
// gives (a day's index, the size of an entry, an entry's image below "C:\NetBackupTemp"),
// computed by the same code local mode uses. It owns the image store and the builder, and keeps
// a build and the removal of an image's folder apart. A server calls it from any thread; the
// image builds run one at a time.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "backup/HostSettings.h"
#include "backup/server/ShareImageBuilder.h"
#include "backup/server/ShareImageStore.h"
#include "platform/File.h"
#include "records/RemoteRecords.h"

class ShareService {
  public:
    // The recorder served, and what the store keeps for its clients (ShareImageStore::Limits).
    struct Settings : ShareImageStore::Limits {
        std::string storageRoot;  // the recordings, a drive path ("C:\QorData")
        int cameras = 64;         // the recorder's camera count
        int modelCode = 0x670;    // names the audio files of the recordings
    };
    using ImageFile = ShareImageFile;
    using Image = ShareImage;
    using Progress = ShareImageBuilder::Progress;
    using FileReady = ShareImageBuilder::FileReady;
    using FileWithdrawn = ShareImageBuilder::FileWithdrawn;
    using Opened = ShareImageStore::Opened;

    // Removes what an earlier run of the server left below kNetTempRoot.
    explicit ShareService(const Settings& settings);
    ~ShareService();

    // The days with recordings, as the preview lists them.
    std::vector<std::string> RecordedDays() const;
    // day: 8 digits YYYYMMDD; anything else is a day without recordings.
    _INDEXREPLY IndexReply(const std::string& day);
    // The size of the entry the request describes, as local mode estimates it.
    _ADDSIZEREPLY AddSize(const _BACKUPADDTOTALSIZE& request);
    // Builds the entry of the request (ShareImageBuilder::Build), after the builds before it.
    // Stops between files once cancel is true. owner: the requesting client's id ("" for none).
    Image MakeImage(const _BACKUPMAKEIMAGE& request, const Progress& progress,
                    const std::atomic<bool>& cancel, const FileReady& ready = nullptr,
                    const FileWithdrawn& withdrawn = nullptr,
                    const std::string& owner = std::string());
    // The host path of one file of a built image, or of one given to FileReady of the image
    // being built; "" when name is not one of its listed files.
    std::string ImageFilePath(const std::string& entry, const std::string& name) {
        return store_.ImageFilePath(entry, name);
    }
    // Opens a listed file for serving it, only while it is the file that was hashed.
    Opened OpenImageFile(const std::string& entry, const std::string& name, platform::File& file) {
        return store_.OpenImageFile(entry, name, file);
    }
    // Removes a temporary image, given as the client names it ("C:\NetBackupTemp\{entry}"),
    // once no build runs. False when the path is not one of ours or could not be removed.
    bool DeleteTemp(const std::string& path);
    // Marks the entry's image as being fetched now.
    void Touch(const std::string& entry) { store_.Touch(entry); }
    // Deletes the images nobody has fetched from for abandonAfter. Left to the next call while
    // a build runs (a build does it first itself).
    void RemoveAbandoned();
    std::chrono::milliseconds abandonAfter() const { return store_.abandonAfter(); }

  private:
    const backup::HostSettings host_;  // the recorder served
    ShareImageStore store_;
    ShareImageBuilder builder_;
    std::mutex buildMutex_;  // one image build at a time, and no image removed under one
};
