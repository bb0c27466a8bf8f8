// The link's address as a program without a window is given it, and its TLS options.
#include <gtest/gtest.h>

#include "share/LinkSetup.h"

TEST(LinkSetupTest, AnAddressIsAHostAndAPortFromOneTo65535OverHttpOrHttps) {
    struct Case {
        const char* text;
        bool ok;
        const char* address;
        int port;
        bool https;
    };
    for (const Case& c :
         {Case{"127.0.0.1:7004", true, "127.0.0.1", 7004, false},
          Case{"https://rec.example:443", true, "rec.example", 443, true},
          Case{"[::1]:7004", true, "[::1]", 7004, false}, Case{"host:1", true, "host", 1, false},
          Case{"host:65535", true, "host", 65535, false}, Case{"host:0", false},
          Case{"host:65536", false}, Case{"host:123456", false}, Case{"host:7a", false},
          Case{"host:", false}, Case{":7004", false}, Case{"nowhere", false},
          Case{"https://:7004", false}}) {
        backup::LinkOptions o;
        ASSERT_EQ(share::ParseLinkAddress(c.text, o), c.ok) << c.text;
        if (!c.ok)
            continue;
        EXPECT_EQ(o.address, c.address) << c.text;
        EXPECT_EQ(o.port, c.port) << c.text;
        EXPECT_EQ(o.https, c.https) << c.text;
    }
}

TEST(LinkSetupTest, ACaFileOrAPinGoesWithHttpsOnly) {
    backup::LinkOptions o;
    o.ca = "/etc/ssl/ca.pem";
    EXPECT_EQ(share::LinkTlsProblem(o), "--ca and --pin go with an https:// --remote address");
    o.https = true;
    EXPECT_EQ(share::LinkTlsProblem(o), "");
}
