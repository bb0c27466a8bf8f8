#pragma once
// The link to a recorder served by quillon-share as a program without a window sets it up: its
// address read from "host:port" or "https://host:port", its TLS options and token checked, and
// the client and the recorder's day list made of them.
#include <memory>
#include <string>
#include <vector>

#include "backup/remote/LinkOptions.h"
#include "backup/remote/RemoteRecorder.h"
#include "platform/Error.h"

namespace share {

// text into address, port and https; false when it is not one.
bool ParseLinkAddress(const std::string& text, backup::LinkOptions& out);
// Whether the CA file and the pin can be used as given, and why not.
platform::Outcome CheckLinkTls(const backup::LinkOptions& options);
// Sets the token from the first source given of the token itself, the token file,
// QUILLON_SHARE_TOKEN and the service's credential "token"; refused when the one given cannot
// be used (none given is no error).
platform::Outcome TakeLinkToken(backup::LinkOptions& options);
// The client of the link, naming itself by the base folder (a host path) it works for.
std::unique_ptr<backup::RemoteRecorder> MakeLinkClient(const backup::LinkOptions& options,
                                                       const std::string& baseHostFolder);
// The recorder's recorded days, newest first, and its time zone as it names it ("" when it names
// none).
struct RecorderDays {
    std::vector<std::string> days;
    std::string zone;
};
// Asked on the link's own port; an error when the recorder could not be asked (an empty list
// that it answered is no error).
platform::Expected<RecorderDays> LinkDays(const backup::LinkOptions& options);

}  // namespace share
