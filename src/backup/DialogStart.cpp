#include "backup/DialogStart.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/DrivePaths.h"
#include "platform/TimeZone.h"

void SetStartValues(backup::HostSettings& host, CQuillonApp& app) {
    host.localMode = 1;
    host.dateType = 0;
    host.recorderKind = 4;
    host.camCount = 64;
    host.port = app.m_nPort;
    host.modelCode = 0x670;
    host.driveMask = platform::GetLogicalDrives();
    host.excludeDriveMask = 0;
    host.language = "eng";
    host.serverAddress = app.m_strServerAddress;
    host.firstDrive = 3;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::LocalTimeAt(now, local);
    char today[32];
    std::snprintf(today, sizeof today, "%d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    host.today = today;
    host.recordDriveMask = 0;
    app.m_bUseDrives = 0;
    std::memset(host.cameraNames, 0, sizeof host.cameraNames);
}
