#include "TestEnv.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/DriveTable.h"

namespace fs = std::filesystem;

void TempPrefixTest::SetUp() {
    std::string tmpl = (fs::temp_directory_path() / "quillon-test-XXXXXX").string();
    char* made = ::mkdtemp(tmpl.data());
    ASSERT_NE(made, nullptr);
    prefix_ = made;
    ::setenv("QUILLON_PREFIX", prefix_.c_str(), 1);
    ::setenv("QUILLON_RUNTIME_DIR", (prefix_ + "/run").c_str(), 1);
    platform::DriveTable table;
    table.Set({'C', driveC(), platform::DRIVE_FIXED, ""});
    table.Set({'Z', "/", platform::DRIVE_FIXED, ""});
    fs::create_directories(driveC());
    ASSERT_TRUE(table.Save(prefix_));
}

void TempPrefixTest::TearDown() {
    std::error_code ec;
    // Read-only files and folders left by a test must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(prefix_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(prefix_, ec);
}

std::string TempPrefixTest::MapDrive(char letter, const std::string& type) {
    std::string host =
        prefix_ + "/drive_" + std::string(1, static_cast<char>(std::tolower(letter)));
    fs::create_directories(host);
    platform::DriveTable table = platform::DriveTable::Load(prefix_);
    table.Set({letter, host, platform::DriveTypeFromName(type), ""});
    EXPECT_TRUE(table.Save(prefix_));
    return host;
}

void TempPrefixTest::WriteText(const std::string& hostPath, const std::string& text) {
    fs::create_directories(fs::path(hostPath).parent_path());
    std::ofstream(hostPath, std::ios::binary | std::ios::trunc) << text;
}

std::string TempPrefixTest::ReadText(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
