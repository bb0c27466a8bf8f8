#pragma once
// The storage target as the operator's system names it. The core keeps and reads back the
// drive path ("E:\Backup"); the edit shows the folder behind it ("/media/usb-stick/Backup").
#include <string>

// A folder on a drive of the drive table as its host path. A disc writer's text
// ("D:\Writer (700 MB)"), and a path that names no drive, as it is.
std::string ShownTarget(const std::string& drivePath);
