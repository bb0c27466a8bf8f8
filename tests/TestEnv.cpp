#include "TestEnv.h"

#include <stdlib.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/CQuillonApp.h"
#include "platform/DriveTable.h"

namespace fs = std::filesystem;

static std::string DriveFolder(const std::string& prefix, char letter) {
    return prefix + "/drive_" + std::string(1, static_cast<char>(std::tolower(letter)));
}

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

void UseBuiltLanguage(CQuillonApp& app) {
    app.m_strExePath = QUILLON_BIN_DIR;
    app.m_strLanguage = "eng";
}

void ExpectOnlyWholeMinuteFiles(const std::string& imageRoot, const std::string& recorderDay) {
    for (const auto& e : fs::recursive_directory_iterator(imageRoot)) {
        const std::string name = e.path().filename().string();
        if (name.size() == 17 && name.substr(12) == "N.dat") {
            EXPECT_EQ(fs::file_size(e.path()), fs::file_size(recorderDay + "/" + name)) << name;
        }
    }
}

std::string TempPrefixTest::MountTinyDrive(char letter, const std::string& options, bool readOnly) {
    const std::string host = DriveFolder(prefix_, letter);
    fs::create_directories(host);
    if (::mount("tmpfs", host.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0)
        return std::string();
    mounts_.push_back(host);
    MapDrive(letter, "removable");
    return host;
}

void TempPrefixTest::TearDown() {
    for (const auto& m : mounts_)
        ::umount2(m.c_str(), MNT_DETACH);
    std::error_code ec;
    // Read-only files and folders left by a test must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(prefix_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(prefix_, ec);
}

std::string TempPrefixTest::MapDrive(char letter, const std::string& type) {
    const std::string host = DriveFolder(prefix_, letter);
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

std::string TempPrefixTest::Secret(const std::string& name, const std::string& text,
                                   unsigned mode) const {
    const std::string path = prefix_ + "/" + name;
    WriteText(path, text);
    fs::permissions(path, static_cast<fs::perms>(mode));
    return path;
}

std::string TempPrefixTest::ReadText(const std::string& hostPath) {
    // Whole buffers: a character at a time takes minutes for a recording under the thread
    // checker.
    std::ifstream in(hostPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::map<std::string, std::string> FilesBelow(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[fs::relative(e.path(), root).generic_string()] =
                TempPrefixTest::ReadText(e.path());
    return files;
}

std::map<std::string, std::string> ImageBelow(const std::string& root) {
    std::map<std::string, std::string> files = FilesBelow(root);
    for (const char* report : {"report.json", "REPORT.pdf", "CUSTODY.jsonl"})
        files.erase(report);
    if (const auto sums = files.find("SHA256SUMS"); sums != files.end()) {
        std::istringstream in(sums->second);
        std::string kept;
        for (std::string line; std::getline(in, line);)
            if (line.find("  report.json") == std::string::npos &&
                line.find("  REPORT.pdf") == std::string::npos)
                kept += line + "\n";
        sums->second = kept;
    }
    return files;
}

std::map<std::string, std::string> EntriesBelow(const std::string& root) {
    std::map<std::string, std::string> entries = FilesBelow(root);
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_directory())
            entries[fs::relative(e.path(), root).generic_string()] = "folder";
    return entries;
}

std::vector<std::string> OpenHandlesBelow(const std::string& root) {
    const std::string canonical = fs::weakly_canonical(root).string();
    std::vector<std::string> held;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
        const fs::path target = fs::read_symlink(fd.path(), ec);
        if (ec)
            continue;
        const std::string t = target.string();
        if (t.compare(0, canonical.size(), canonical) == 0 &&
            (t.size() == canonical.size() || t[canonical.size()] == '/'))
            held.push_back(t);
    }
    return held;
}

int Sha256sumCheck(const std::string& folder, const std::string& manifest) {
    const std::string command = "cd '" + folder + "' && sha256sum --quiet -c " + manifest + " 1>&2";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
