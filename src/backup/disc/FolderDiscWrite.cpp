#include "backup/disc/FolderDiscWrite.h"

#include <chrono>

#include "backup/disc/FolderReadBack.h"
#include "backup/disc/WriterErrors.h"
#include "platform/DrivePaths.h"

namespace backup {

FolderDiscWrite::FolderDiscWrite(
    const std::function<WindowlessDisc::Writer(WindowlessDisc::Poster)>& make)
    : writer_(make([this](std::function<void()> event) {
          {
              std::lock_guard<std::mutex> lock(mutex_);
              events_.push_back(std::move(event));
          }
          arrived_.notify_all();
      })) {
    if (writer_.device)
        writer_.device->SetEventSink(this);
}

FolderDiscWrite::~FolderDiscWrite() {
    if (writer_.device)
        writer_.device->SetEventSink(nullptr);
}

void FolderDiscWrite::OnWriterEvent(const WriterEvent& event) {
    using Kind = DiscEvent::Kind;
    const DiscEvent read = ReadWriterEvent(event);
    if (read.kind == Kind::kWriteEnded || read.kind == Kind::kWritten ||
        read.kind == Kind::kFailed) {
        end_ = read;
        ended_ = true;
    }
    if (status_)
        status_(read);
}

std::string FolderDiscWrite::Write(const std::string& drive, const std::string& hostFolder,
                                   const std::function<void(const DiscEvent&)>& status) {
    if (!writer_.device)
        return "this build cannot write discs";
    const platform::Expected<char> letter = NamedDiscDrive(drive);
    if (!letter)
        return letter.error().Said();
    DiscDrive disc(writer_.device.get());
    if (!disc.Start())
        return "the disc writer cannot be used";
    bool selected = false;
    for (const WriterDrive& w : disc.Drives())
        if (w.letter == std::string(1, *letter))
            selected = disc.Select(w.index);
    if (!selected)
        return std::string("the writer has no drive ") + *letter + ":";
    if (!disc.Medium().present)
        return std::string("there is no disc in drive ") + *letter + ":";
    // The folder is read back from the disc before the write counts as done.
    FolderReadBack check(hostFolder);
    status_ = status;
    ended_ = false;
    if (!disc.NewImage())
        return "the disc's image cannot be begun";
    disc.AddImageFolder(platform::ToDrivePath(hostFolder));
    if (!disc.Write(&check))
        return "the disc write does not start";
    // The writer's events run here, on the caller's thread, until its end.
    while (!ended_) {
        std::deque<std::function<void()>> now;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            arrived_.wait(lock, [this] { return !events_.empty(); });
            now.swap(events_);
        }
        for (auto& event : now)
            event();
    }
    // What the writer still posts while it lets go of the drive is run too.
    for (bool busy = true; busy;) {
        busy = writer_.busy && writer_.busy();
        std::deque<std::function<void()>> now;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            arrived_.wait_for(lock, std::chrono::milliseconds(busy ? 100 : 0),
                              [this] { return !events_.empty(); });
            now.swap(events_);
        }
        for (auto& event : now)
            event();
    }
    disc.Hold(false);
    status_ = nullptr;
    using Kind = DiscEvent::Kind;
    if (end_.kind == Kind::kWritten)
        return std::string();
    if (end_.kind == Kind::kFailed && end_.code == kReadBackFailed)
        return "the disc was written but does not read back as the folder: " + end_.detail;
    if (end_.kind == Kind::kFailed)
        return "the disc write failed: " + GetWriterErrorText(end_.code) +
               (end_.detail.empty() ? "" : " (" + end_.detail + ")");
    return "the disc write was stopped";
}

}  // namespace backup
