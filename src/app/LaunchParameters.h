#pragma once
// The seventeen comma-terminated launch fields the host passes on the command line.
#include <string>

#include "platform/Types.h"

struct LaunchParameters {
    BOOL m_bUseDrives = 1;
    std::string m_strLanguage;
    std::string m_strServerAddress;
    DWORD m_nModelCode = 0;
    int m_nChannelsPerUnit = 16;
    int m_nUnitCount = 1;
    int m_nLaunchKind = 0;
    int m_nPort = 0;
    BOOL m_bOptionQ = 0;
    std::string m_strDeviceName;
    DWORD m_dwHexParam1 = 0;
    DWORD m_dwHexParam2 = 0;
    DWORD m_dwHexParam3 = 0;
    DWORD m_dwHexParam4 = 0;
    BOOL m_bTodayLimit = 0;
    DWORD m_dwHexParam5 = 0;
    BOOL m_bColorFormat = 1;
};

// Parses the command line exactly as delivered. Fields are taken strictly by position; once a
// comma is missing, that field and every later one take their missing values. An empty command
// line sets only the language ("eng"): the missing values apply only while parsing.
LaunchParameters ParseLaunchParameters(const std::string& commandLine);
