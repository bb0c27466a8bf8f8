#include "backup/disc/WindowlessDisc.h"

#include <cctype>
#include <chrono>

#include "platform/DriveTable.h"

namespace backup {

WindowlessDisc::WindowlessDisc(Session& session, const std::function<Writer(Poster)>& make)
    : session_(session), writer_(make([this](std::function<void()> event) {
          {
              std::lock_guard<std::mutex> lock(mutex_);
              events_.push_back(std::move(event));
          }
          arrived_.notify_all();
      })) {
    if (writer_.device)
        writer_.device->SetEventSink(this);
    session_.UseDiscWriter(writer_.device.get());
}

WindowlessDisc::~WindowlessDisc() {
    if (writer_.device)
        writer_.device->SetEventSink(nullptr);
    session_.UseDiscWriter(nullptr);
}

platform::Expected<char> NamedDiscDrive(const std::string& drive) {
    using platform::Error;
    const char letter =
        drive.empty() ? 0 : static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
    const bool form = drive.size() == 1 || (drive.size() == 2 && drive[1] == ':') ||
                      (drive.size() == 3 && drive.substr(1) == ":\\");
    const auto table = platform::CurrentDrives();
    const platform::DriveInfo* info = table->Find(letter);
    if (!form || !info || info->type != platform::DRIVE_CDROM || info->device.empty()) {
        const std::string problems = form ? table->ProblemsOf(letter) : std::string();
        return Error{Error::Kind::kNotFound,
                     "is not a disc drive of " + platform::MachinePrefix() +
                         "/drives.ini (a section with Type=cdrom and Device=)" +
                         (problems.empty() ? "" : "\n" + problems),
                     drive};
    }
    return letter;
}

platform::Expected<CommandResult> WindowlessDisc::Open(const std::string& drive) {
    using platform::Error;
    if (!writer_.device)
        return Error{Error::Kind::kFailed, "this build cannot write discs", ""};
    const platform::Expected<char> letter = NamedDiscDrive(drive);
    if (!letter)
        return letter.error();
    if (!session_.StartDiscWriter())
        return CommandResult::Refused("A010001");
    // The drive named is the one written or erased, whatever other writers the table has.
    return session_.ChooseTarget(std::string(1, *letter) + ":\\", WriterChoice::kNamedDrive);
}

void WindowlessDisc::Serve(int milliseconds) {
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

void WindowlessDisc::RunBetweenEvents(const std::function<void()>& call) {
    std::lock_guard<std::recursive_mutex> lock(running_);
    call();
}

void WindowlessDisc::OnWriterEvent(const WriterEvent& event) {
    using Kind = DiscEvent::Kind;
    if (const DiscEvent read = ReadWriterEvent(event);
        read.kind == Kind::kErased || read.kind == Kind::kWriteEnded ||
        read.kind == Kind::kWritten || read.kind == Kind::kFailed)
        end_ = read;
    session_.WriterReported(event);
}

}  // namespace backup
