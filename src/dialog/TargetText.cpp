#include "dialog/TargetText.h"

#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"

std::string ShownTarget(const std::string& drivePath) {
    if (drivePath.size() < 2 || drivePath[1] != ':')
        return drivePath;
    const UINT type = platform::GetDriveTypeA(drivePath.substr(0, 2));
    if (type == platform::DRIVE_CDROM || type == platform::DRIVE_NO_ROOT_DIR)
        return drivePath;
    const std::string host = platform::ResolvePath(drivePath);
    return host.empty() ? drivePath : host;
}
