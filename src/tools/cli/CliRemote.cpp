#include "CliCommands.h"

#include "platform/DrivePaths.h"
#include "share/LinkSetup.h"

RemoteLink::RemoteLink(backup::Session& session, const backup::LinkOptions& options)
    : session_(session),
      options_(options),
      client_(share::MakeLinkClient(options, platform::ResolvePath(session.BaseFolder()))) {
    session_.UseRemoteRecorder(options.address, options.port, client_.get());
}

RemoteLink::~RemoteLink() {
    session_.DropRemoteRecorder();
    client_.reset();
}

platform::Expected<share::RecorderDays> RemoteLink::Days() const {
    return share::LinkDays(options_);
}
