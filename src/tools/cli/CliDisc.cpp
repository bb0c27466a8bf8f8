#include "CliCommands.h"

#include <chrono>
#include <cstdio>

#include "backup/disc/DiscBurn.h"
#include "backup/disc/DiscDrive.h"
#include "backup/pass/BackupStart.h"
#include "platform/DriveTable.h"
#ifdef QUILLON_HAVE_DISC
#include "disc/BurnWriter.h"
#endif

DiscSession::DiscSession(backup::Session& session) : session_(session) {
#ifdef QUILLON_HAVE_DISC
    writer_ = std::make_unique<disc::BurnWriter>([this](std::function<void()> event) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(std::move(event));
        }
        arrived_.notify_all();
    });
    writer_->SetEventSink(this);
#endif
    session_.UseDiscWriter(writer_.get());
}

DiscSession::~DiscSession() {
    if (writer_)
        writer_->SetEventSink(nullptr);
    session_.UseDiscWriter(nullptr);
}

bool DiscSession::Open(const std::string& drive) {
    if (!writer_)
        return Refuse("this build cannot write discs");
    const char letter = drive.empty() ? 0 : static_cast<char>(std::toupper(drive[0]));
    const bool form = drive.size() == 1 || (drive.size() == 2 && drive[1] == ':') ||
                      (drive.size() == 3 && drive.substr(1) == ":\\");
    const auto table = platform::CurrentDrives();
    const platform::DriveInfo* info = table->Find(letter);
    if (!form || !info || info->type != platform::DRIVE_CDROM || info->device.empty()) {
        const std::string why = form ? table->ProblemsOf(letter) : std::string();
        return Refuse(drive + " is not a disc drive of " + platform::MachinePrefix() +
                      "/drives.ini (a section with Type=cdrom and Device=)" +
                      (why.empty() ? "" : "\n" + why));
    }
    if (!session_.StartDiscWriter())
        return false;
    // The drive named is the one written or erased, whatever other writers the table has.
    return session_.ChooseTarget(std::string(1, letter) + ":\\", WriterChoice::kNamedDrive).done();
}

void DiscSession::Serve(int milliseconds) {
    std::deque<std::function<void()>> now;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                          [this] { return !events_.empty(); });
        now.swap(events_);
    }
    std::lock_guard<std::recursive_mutex> lock(running_);
    for (auto& event : now)
        event();
}

void DiscSession::RunBetweenEvents(const std::function<void()>& call) {
    std::lock_guard<std::recursive_mutex> lock(running_);
    call();
}

void DiscSession::OnWriterEvent(const WriterEvent& event) {
    using Kind = backup::DiscEvent::Kind;
    if (const backup::DiscEvent read = backup::ReadWriterEvent(event);
        read.kind == Kind::kErased || read.kind == Kind::kWriteEnded ||
        read.kind == Kind::kWritten || read.kind == Kind::kFailed)
        end = read;
    session_.WriterReported(event);
}

bool DiscSession::Busy() const {
#ifdef QUILLON_HAVE_DISC
    return writer_ && static_cast<disc::BurnWriter*>(writer_.get())->busy();
#else
    return false;
#endif
}
