#pragma once
// The server's clock against this machine's, measured as NTP does over the link: this machine's
// time before and after a request for the server's, the server's taken as read halfway, the
// request with the shortest round trip trusted most.
#include "backup/remote/RemoteRecorder.h"

namespace share {

class ShareLink;

backup::ClockMeasure MeasureLinkClock(ShareLink& link, int requests = 8);

}  // namespace share
