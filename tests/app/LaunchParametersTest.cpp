#include "app/LaunchParameters.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Every field in declaration order, hex parameters in hex, so that a case states them all.
std::string Fields(const std::string& commandLine) {
    const LaunchParameters p = ParseLaunchParameters(commandLine);
    std::ostringstream o;
    o << p.m_bUseDrives << " '" << p.m_strLanguage << "' '" << p.m_strServerAddress << "' "
      << std::hex << p.m_nModelCode << std::dec << " " << p.m_nChannelsPerUnit << " "
      << p.m_nUnitCount << " " << p.m_nLaunchKind << " " << p.m_nPort << " " << p.m_bOptionQ << " '"
      << p.m_strDeviceName << "' " << std::hex << p.m_dwHexParam1 << " " << p.m_dwHexParam2 << " "
      << p.m_dwHexParam3 << " " << p.m_dwHexParam4 << std::dec << " " << p.m_bTodayLimit << " "
      << std::hex << p.m_dwHexParam5 << std::dec << " " << p.m_bColorFormat;
    return o.str();
}

}  // namespace

TEST(LaunchParametersTest, EachFieldIsReadAsTheRecorderWritesItAndAMissingOneKeepsItsDefault) {
    const std::pair<const char*, const char*> cases[] = {
        // An empty command line sets only the language.
        {"", "1 'eng' '' 0 16 1 0 0 0 '' 0 0 0 0 0 0 1"},
        {"1648A,16,1,N,10.0.0.5,7004,kor,Q,Nvr,T,0,0,0,0,0,RGB,F,",
         "0 'kor' '10.0.0.5' 1648a 16 1 1 7004 1 'Nvr' 0 0 0 0 1 0 0"},
        // Without the last comma the seventeenth field is never read; after it, text is ignored.
        {"1648A,16,1,N,10.0.0.5,7004,kor,Q,Nvr,T,0,0,0,0,0,RGB,F",
         "1 'kor' '10.0.0.5' 1648a 16 1 1 7004 1 'Nvr' 0 0 0 0 1 0 0"},
        {"1,2,3,B,a,5,x,Q,d,T,1,2,3,4,5,RGB,F,tail,", "0 'x' 'a' 1 2 3 2 5 1 'd' 1 2 3 4 1 5 0"},
        // A missing comma makes every later field missing: the 32 is never read.
        {"1648,32", "1 'eng' '' 1648 16 1 0 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        // Empty fields give zero, not the missing value.
        {",,,,,,,", "1 '' '' 0 0 0 0 0 0 'Dvr' 0 0 0 0 0 0 1"},
        // Flags are case sensitive; numbers read as atoi and strtoul do (a minus sign wraps).
        {"0,1,1,B,", "1 'eng' '' 0 1 1 2 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        {"0,1,1,b,", "1 'eng' '' 0 1 1 0 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        {"0,1,1,NN,", "1 'eng' '' 0 1 1 0 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        {"0x1f,12ab,1,N,,80,eng,q,,t,ff,0X10,zz,7g,-1,rgb,f,",
         "1 'eng' '' 1f 12 1 1 80 0 '' ff 10 0 7 0 ffffffff 1"},
    };
    for (const auto& [line, fields] : cases)
        EXPECT_EQ(Fields(line), fields) << line;
}
