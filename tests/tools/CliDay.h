#pragma once
// The recorder's day the CLI tests record, and readers of what lands in an image of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "companions/CppSQLite3.h"
#include "records/BackupInfo.h"

inline const std::string kDay = "20100523";

// The segment name of minute 10:mm of the day.
inline std::string Name(int minute) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "2010052310%02d", minute);
    return buf;
}

inline BackupInfoRecord ReadInfo(const std::string& path) {
    BackupInfoRecord info{};
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes.size(), sizeof info) << path;
    if (bytes.size() == sizeof info)
        std::memcpy(&info, bytes.data(), sizeof info);
    return info;
}

// The cameras (from 0) a minute index holds pictures of.
inline std::set<long long> CamerasOfIndex(const std::string& idx) {
    CppSQLite3DB db;
    db.openReadOnly(idx);
    std::set<long long> out;
    CppSQLite3Query q = db.execQuery("select camnum from indextable");
    for (; !q.eof(); q.nextRow())
        out.insert(q.getInt64Field(0));
    return out;
}
