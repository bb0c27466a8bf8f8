#pragma once
// Network addresses written as text.
#include <string>

namespace platform {

// True when text is a numeric address of this machine itself: an IPv4 address in 127.0.0.0/8
// or the IPv6 address ::1. Names ("localhost") are not looked up.
bool IsLoopbackAddress(const std::string& text);

}  // namespace platform
