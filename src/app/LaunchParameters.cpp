#include "app/LaunchParameters.h"

#include <cstdlib>

namespace {

DWORD Hex(const std::string& s) {
    return static_cast<DWORD>(std::strtoul(s.c_str(), nullptr, 16));
}
int Dec(const std::string& s) {
    return std::atoi(s.c_str());
}

}  // namespace

LaunchParameters ParseLaunchParameters(const std::string& commandLine) {
    LaunchParameters p;
    if (commandLine.empty()) {
        p.m_strLanguage = "eng";
        return p;
    }
    std::string rest = commandLine;
    for (int pos = 1; pos <= 17; ++pos) {
        std::size_t comma = rest.find(',');
        const bool present = comma != std::string::npos;
        std::string field = present ? rest.substr(0, comma) : std::string();
        if (present)
            rest = rest.substr(comma + 1);
        switch (pos) {
            case 1:
                p.m_nModelCode = present ? Hex(field) : 0x1648;
                break;
            case 2:
                p.m_nChannelsPerUnit = present ? Dec(field) : 16;
                break;
            case 3:
                p.m_nUnitCount = present ? Dec(field) : 1;
                break;
            case 4:
                p.m_nLaunchKind = !present ? 0 : field == "B" ? 2 : field == "N" ? 1 : 0;
                break;
            case 5:
                p.m_strServerAddress = present ? field : "";
                break;
            case 6:
                p.m_nPort = present ? Dec(field) : 7004;
                break;
            case 7:
                p.m_strLanguage = present ? field : "eng";
                break;
            case 8:
                if (present)
                    p.m_bOptionQ = field == "Q" ? 1 : 0;
                break;
            case 9:
                p.m_strDeviceName = present ? field : "Dvr";
                break;
            case 10:
                if (present)
                    p.m_bTodayLimit = field == "T" ? 1 : 0;
                break;
            case 11:
                p.m_dwHexParam1 = present ? Hex(field) : 0;
                break;
            case 12:
                p.m_dwHexParam2 = present ? Hex(field) : 0;
                break;
            case 13:
                p.m_dwHexParam3 = present ? Hex(field) : 0;
                break;
            case 14:
                p.m_dwHexParam4 = present ? Hex(field) : 0;
                break;
            case 15:
                p.m_dwHexParam5 = present ? Hex(field) : 0;
                break;
            case 16:
                if (present)
                    p.m_bColorFormat = field == "RGB" ? 0 : 1;
                break;
            case 17:
                if (present)
                    p.m_bUseDrives = field == "F" ? 0 : 1;
                break;
        }
    }
    return p;
}
