#include "app/LaunchParameters.h"

#include <gtest/gtest.h>

TEST(LaunchParametersTest, EmptyCommandLineSetsOnlyTheLanguage) {
    LaunchParameters p = ParseLaunchParameters("");
    EXPECT_EQ(p.m_strLanguage, "eng");
    EXPECT_EQ(p.m_nPort, 0);
    EXPECT_EQ(p.m_nChannelsPerUnit, 16);
    EXPECT_EQ(p.m_nUnitCount, 1);
    EXPECT_EQ(p.m_strServerAddress, "");
    EXPECT_EQ(p.m_strDeviceName, "");
    EXPECT_EQ(p.m_nModelCode, 0u);
    EXPECT_EQ(p.m_bUseDrives, 1);
    EXPECT_EQ(p.m_bColorFormat, 1);
}

TEST(LaunchParametersTest, FullStringSetsEveryField) {
    LaunchParameters p =
        ParseLaunchParameters("1648A,16,1,N,10.0.0.5,7004,kor,Q,Nvr,T,0,0,0,0,0,RGB,F,");
    EXPECT_EQ(p.m_nModelCode, 0x1648Au);
    EXPECT_EQ(p.m_nChannelsPerUnit * p.m_nUnitCount, 16);
    EXPECT_EQ(p.m_nLaunchKind, 1);
    EXPECT_EQ(p.m_strServerAddress, "10.0.0.5");
    EXPECT_EQ(p.m_nPort, 7004);
    EXPECT_EQ(p.m_strLanguage, "kor");
    EXPECT_EQ(p.m_bOptionQ, 1);
    EXPECT_EQ(p.m_strDeviceName, "Nvr");
    EXPECT_EQ(p.m_bTodayLimit, 1);
    EXPECT_EQ(
        p.m_dwHexParam1 | p.m_dwHexParam2 | p.m_dwHexParam3 | p.m_dwHexParam4 | p.m_dwHexParam5,
        0u);
    EXPECT_EQ(p.m_bColorFormat, 0);
    EXPECT_EQ(p.m_bUseDrives, 0);
    // Without the last comma the seventeenth field is never read.
    EXPECT_EQ(ParseLaunchParameters("1648A,16,1,N,10.0.0.5,7004,kor,Q,Nvr,T,0,0,0,0,0,RGB,F")
                  .m_bUseDrives,
              1);
    // Text after the seventeenth comma is ignored.
    EXPECT_EQ(ParseLaunchParameters("1,2,3,B,a,5,x,Q,d,T,1,2,3,4,5,RGB,F,tail,").m_bUseDrives, 0);
}

TEST(LaunchParametersTest, MissingCommaMakesEveryLaterFieldMissing) {
    LaunchParameters p = ParseLaunchParameters("1648,32");
    EXPECT_EQ(p.m_nModelCode, 0x1648u);
    EXPECT_EQ(p.m_nChannelsPerUnit, 16);  // the 32 is never read
    EXPECT_EQ(p.m_nUnitCount, 1);
    EXPECT_EQ(p.m_nPort, 7004);
    EXPECT_EQ(p.m_strLanguage, "eng");
    EXPECT_EQ(p.m_strDeviceName, "Dvr");
    EXPECT_EQ(p.m_bOptionQ, 0);
    EXPECT_EQ(p.m_bColorFormat, 1);
}

TEST(LaunchParametersTest, EmptyFieldsGiveZeroNotTheMissingValue) {
    LaunchParameters p = ParseLaunchParameters(",,,,,,,");
    EXPECT_EQ(p.m_nModelCode, 0u);
    EXPECT_EQ(p.m_nChannelsPerUnit, 0);
    EXPECT_EQ(p.m_nUnitCount, 0);
    EXPECT_EQ(p.m_nLaunchKind, 0);
    EXPECT_EQ(p.m_strServerAddress, "");
    EXPECT_EQ(p.m_nPort, 0);
    EXPECT_EQ(p.m_strLanguage, "");
    EXPECT_EQ(p.m_strDeviceName, "Dvr");
    EXPECT_EQ(p.m_bUseDrives, 1);
}

TEST(LaunchParametersTest, FlagsAreCaseSensitiveAndHexAsStrtoul) {
    EXPECT_EQ(ParseLaunchParameters("0,1,1,B,").m_nLaunchKind, 2);
    EXPECT_EQ(ParseLaunchParameters("0,1,1,b,").m_nLaunchKind, 0);
    EXPECT_EQ(ParseLaunchParameters("0,1,1,NN,").m_nLaunchKind, 0);
    LaunchParameters p =
        ParseLaunchParameters("0x1f,12ab,1,N,,80,eng,q,,t,ff,0X10,zz,7g,-1,rgb,f,");
    EXPECT_EQ(p.m_nModelCode, 0x1fu);
    EXPECT_EQ(p.m_nChannelsPerUnit, 12);  // atoi stops at the first non-digit
    EXPECT_EQ(p.m_bOptionQ, 0);
    EXPECT_EQ(p.m_bTodayLimit, 0);
    EXPECT_EQ(p.m_dwHexParam1, 0xffu);
    EXPECT_EQ(p.m_dwHexParam2, 0x10u);
    EXPECT_EQ(p.m_dwHexParam3, 0u);
    EXPECT_EQ(p.m_dwHexParam4, 7u);
    EXPECT_EQ(p.m_dwHexParam5, 0xffffffffu);  // strtoul wraps a minus sign
    EXPECT_EQ(p.m_bColorFormat, 1);
    EXPECT_EQ(p.m_bUseDrives, 1);
    EXPECT_EQ(p.m_strDeviceName, "");
}
