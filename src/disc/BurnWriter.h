#pragma once
// The disc writer on libburn and libisofs. Its drives are the drive table's cdrom drives whose
// Device= is a real writer (/dev/sr0) or a libburn pseudo-drive ("stdio:/path/file"), which acts
// as the medium its Media= names, with that medium's capacity (or CapacityMB=): a write-once
// medium that holds data takes no second write, a rewritable one can be erased, and a job larger
// than the medium is refused before anything is written.
//
// The image is ISO 9660 with Joliet and Rock Ridge (so that names such as
// 2010_05_23=14,00~15,30 survive), built from the files added with AddFiles when the write
// starts. Writes and erases run on a thread of their own; their events reach the sink through
// the poster, on the thread it posts to (the window's), with progress at least twice a second.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "disc/DiscMedia.h"
#include "platform/LockedFile.h"
#include "ports/CDVDWriterPro2.h"

namespace disc {

class BurnWriter : public CDVDWriterPro2 {
  public:
    // Runs a callable on the thread that owns the event sink.
    using Poster = std::function<void(std::function<void()>)>;

    explicit BurnWriter(Poster post);
    ~BurnWriter() override;  // a running write is aborted and waited for

    void SetEventSink(IDiscWriterEvents* sink) override;
    void SetVolumeLabel(const std::string& label) override;
    void SetOption11(BOOL value) override { options_[0] = value; }
    void SetOption12(BOOL value) override { options_[1] = value; }
    void SetOption14(long value) override { options_[2] = value; }
    void SetOption16(long value) override { options_[3] = value; }
    void SetOption19(BOOL value) override { options_[4] = value; }
    void SetOption20(BOOL value) override { options_[5] = value; }
    void SetReadBackCheck(IWrittenDiscCheck* check) override { check_ = check; }

    long GetDriveCount() override;
    std::string GetDriveLetter(long index) override;
    std::string GetDriveName(long index) override;
    BOOL SelectDrive(long index) override;
    BOOL SetDriveState(BOOL state) override;
    long GetMediaType() override;
    BOOL WriteDisc() override;
    BOOL EraseDisc(BOOL quick) override;
    BOOL SetWriteSpeed(long kbPerSecond) override;
    long GetMaxWriteSpeed() override;
    void AbortWrite() override;
    BOOL CheckMediaFeature(long code) override;
    long GetFreeSize() override;
    double SizeToBytes(long size, long kind) override;
    long GetDiscStatus() override;
    void RefreshMedia() override;
    BOOL AddFiles(const std::string& discFolder, const std::string& sourcePattern) override;
    BOOL ResetImage(BOOL value) override;
    BOOL PrepareWrite(BOOL value) override;
    BOOL InitializeWriter(BOOL value) override;
    BOOL IsWriterDrive(long index) override;
    long GetCapacitySize() override;
    long GetUsedSize() override;

    // True while a write or an erase runs.
    bool busy() const { return busy_; }
    // Waits for a running write or erase to end (its last event is posted by then).
    void WaitIdle();

    struct Drive;
    struct Job;

  private:
    // The medium in the selected drive, read afresh.
    struct Disc {
        Medium medium;
        long status = kStatusBlank;
        long long usedBytes = 0;
        long long capacityBytes = 0;
    };
    Disc ReadDisc();
    void Fire(WriterEvent event);
    void Fail(long code, const std::string& text);
    void Run(std::unique_ptr<Job> job);
    // The written disc looked at by the check, if any: "" or what is wrong.
    std::string ReadBack(const Job& job);
    void ReleaseDrive();

    Poster post_;
    std::shared_ptr<std::atomic<IDiscWriterEvents*>> sink_;
    std::mutex mutex_;  // the drive, the image list and the job
    std::vector<Drive> drives_;
    long selected_ = -1;
    std::unique_ptr<platform::LockedFile> discFile_;  // a pseudo-drive's, while selected
    void* grabbed_ = nullptr;                         // a real drive's libburn grab
    std::string volumeLabel_ = "QORBACKUP";
    std::atomic<IWrittenDiscCheck*> check_{nullptr};
    std::vector<std::pair<std::string, std::string>> added_;  // disc folder, source pattern
    long speedKB_ = 0;
    long options_[6] = {};
    bool initialised_ = false;
    std::atomic<bool> busy_{false}, aborting_{false};
    std::thread thread_;
};

// libburn's and libisofs' failure messages as the writer error codes 1000 to 1055.
long WriterErrorCode(const std::string& message, int osErrno);

}  // namespace disc
