#pragma once
// The recorder's day the CLI tests record, the removable drive they back it up to, and readers
// of what lands in an image of it.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "CliFixture.h"
#include "companions/CppSQLite3.h"
#include "records/BackupInfo.h"

namespace fs = std::filesystem;
using testing::AllOf;

inline const std::string kDay = "20100523";

inline void PrintTo(const RunResult& r, std::ostream* os) {
    *os << "status " << r.status << "\nout: " << r.out << "\nerr: " << r.err;
}

MATCHER_P(Ends, status, "ends " + testing::PrintToString(status)) {
    return arg.status == status;
}
MATCHER(Ok, "ends 0") {
    return arg.status == 0;
}
// A run that ended with status, its error output (Err) or its output (Out) holding text.
MATCHER_P2(Err, status, text, "ends " + testing::PrintToString(status) + " saying " + text) {
    return arg.status == status && arg.err.find(text) != std::string::npos;
}
MATCHER_P2(Out, status, text, "ends " + testing::PrintToString(status) + " printing " + text) {
    return arg.status == status && arg.out.find(text) != std::string::npos;
}

// A run's output (Printed) or error output (Said) held to a matcher.
template <class M>
auto Printed(M m) {
    return testing::Field("out", &RunResult::out, m);
}
template <class M>
auto Said(M m) {
    return testing::Field("err", &RunResult::err, m);
}

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

// A base folder with E: a removable drive; Image is an entry's day folder in E:\Backup.
class UsbCliFixture : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
    }
    std::string Image(const std::string& entry) const {
        return usb + "/Backup/" + entry + "/" + kDay + "/";
    }
    std::string usb;
};
