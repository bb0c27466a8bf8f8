#pragma once
// What libburn and libisofs say while the writer works: their queued messages, read and judged,
// and the sector size the writer counts in.
#include <string>

#include "platform/LockedFile.h"

namespace disc {

constexpr long long kBlock = 2048;

// The most severe message libburn queued since the last call, with its errno. threadEnded, when
// given, is set once libburn says its write thread ended.
std::string BurnMessages(int& osErrno, bool* threadEnded = nullptr);
// libisofs' messages: a source file that changed size after it was added is written padded
// with zeros while the write still reports success, so any such message is a failure.
std::string IsoMessages();
// True when the file holds an ISO 9660 image.
bool HoldsIso(const platform::LockedFile& file);

}  // namespace disc
