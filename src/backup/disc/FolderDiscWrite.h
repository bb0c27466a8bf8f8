#pragma once
// A folder written to the disc in a writer drive as it is, for a front end without a window:
// no pass and no schedule, only the writer, its events served on the caller's thread while it
// waits, and the disc read back against the folder before the write counts as done.
//
// Threads: the poster is called from the writer's thread; everything else from the caller's.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "backup/disc/DiscDrive.h"
#include "backup/disc/WindowlessDisc.h"

namespace backup {

class FolderDiscWrite : public IDiscWriterEvents {
  public:
    explicit FolderDiscWrite(
        const std::function<WindowlessDisc::Writer(WindowlessDisc::Poster)>& make);
    ~FolderDiscWrite() override;
    FolderDiscWrite(const FolderDiscWrite&) = delete;
    FolderDiscWrite& operator=(const FolderDiscWrite&) = delete;

    // Writes the files of hostFolder to the disc in drive ("D", "D:"), and waits for the write
    // and its read-back to end: "" when the disc holds the folder's files; else why not, in
    // words for the operator. status is told what the writer says it does.
    std::string Write(const std::string& drive, const std::string& hostFolder,
                      const std::function<void(const DiscEvent&)>& status);
    void OnWriterEvent(const WriterEvent& event) override;

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> events_;
    std::function<void(const DiscEvent&)> status_;
    DiscEvent end_;
    bool ended_ = false;
    WindowlessDisc::Writer writer_;  // last: it is gone, with its thread, before the rest
};

}  // namespace backup
