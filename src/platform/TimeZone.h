#pragma once
// The zone local times are reckoned in, for a process that works for a recorder whose clock
// shows another zone than this machine's.
#include <string>

namespace platform {

// Makes name, a zone of the system's time zone database ("Europe/Berlin", "UTC"), the
// process's local time; false with why when the database holds no such zone, leaving the
// local time as it was.
bool UseTimeZone(const std::string& name, std::string& why);

}  // namespace platform
