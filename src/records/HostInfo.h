#pragma once
// The host's configuration record _BACKUPHOSTINFO (2348 bytes, little-endian, no padding), which
// the host sends by WM_COPYDATA to switch the tool to a remote recorder.
#include <cstddef>
#include <string>

#include "platform/Types.h"

constexpr std::size_t kHostInfoBytes = 2348;

struct HostInfo {
    int dateType = 0;  // signed byte
    int camCount = 0;
    int port = 0;
    int recorderKind = 0;
    int modelCode = 0;
    DWORD driveMask = 0;
    DWORD recordDriveMask = 0;  // the low 28 bits
    DWORD excludeDriveMask = 0;
    std::string language;       // 5 bytes
    std::string serverAddress;  // 16 bytes
    std::string basePath;       // 250 bytes
    int firstDrive = 0;         // signed byte
    std::string today;          // 9 bytes
    char cameraName[64][31] = {};
};

// Reads the record from a block of any size: bytes past the block's end count as zero and each
// text ends at its zero byte or at its width, so that a short block or an unterminated text is
// read within its bounds.
HostInfo ParseHostInfo(const std::string& block);
// The 2348 bytes of a record (texts cut to their widths, always terminated).
std::string EncodeHostInfo(const HostInfo& info);
