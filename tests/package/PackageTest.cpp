// The Debian package as CPack makes it and as Debian's own tools judge it: its control fields,
// its file list, manual pages that render, a desktop entry that validates, and no lintian error.
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "CliRunner.h"
#include "TestEnv.h"

namespace fs = std::filesystem;

namespace {

std::string gRoot;      // scratch of the package build
std::string gDeb;       // the package
std::string gUnpacked;  // its files, unpacked
RunResult gBuild;

RunResult Shell(const std::string& command, const std::string& scratch) {
    return RunProgram("/bin/sh", {"-c", command}, scratch);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

}  // namespace

class PackageTest : public TempPrefixTest {
  protected:
    static void SetUpTestSuite() {
        std::string tmpl = (fs::temp_directory_path() / "quillon-package-XXXXXX").string();
        gRoot = ::mkdtemp(tmpl.data());
        gBuild = RunProgram(
            CPACK_COMMAND,
            {"-G", "DEB", "--config", QUILLON_BUILD_DIR "/CPackConfig.cmake", "-B", gRoot + "/out"},
            gRoot);
        for (const auto& e : fs::directory_iterator(gRoot + "/out"))
            if (e.path().extension() == ".deb")
                gDeb = e.path().string();
        gUnpacked = gRoot + "/files";
        if (!gDeb.empty())
            Shell("dpkg-deb -x '" + gDeb + "' '" + gUnpacked + "'", gRoot);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(gRoot, ec);
    }
    void SetUp() override {
        TempPrefixTest::SetUp();
        ASSERT_EQ(gBuild.status, 0) << gBuild.out << gBuild.err;
        ASSERT_FALSE(gDeb.empty()) << gBuild.out;
    }
    std::string Field(const std::string& name) {
        const RunResult r = Shell("dpkg-deb -f '" + gDeb + "' " + name, prefix());
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.empty() ? r.out : r.out.substr(0, r.out.size() - 1);
    }
};

TEST_F(PackageTest, ControlFieldsNameTheVersionAndTheLibrariesTheProgramsLink) {
    EXPECT_EQ(Field("Package"), "quillon");
    EXPECT_EQ(Field("Version"), QUILLON_VERSION);
    EXPECT_EQ(fs::path(gDeb).filename().string(),
              "quillon_" QUILLON_VERSION "_" + Field("Architecture") + ".deb");
    // What dpkg-shlibdeps found in the programs, with the versions they need, and the display
    // plug-ins the window loads without linking them.
    const std::string depends = Field("Depends");
    for (const char* library :
         {"libc6 (>=", "libstdc++6 (>=", "libsqlite3-0 (>=", "libqt6widgets6",
          "libburn4 (>=", "libisofs6 (>=", "libjpeg62-turbo (>=", "libssl3 (>=", "qt6-qpa-plugins"})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
    // The changelog's newest entry is this version.
    const RunResult log =
        Shell("gzip -dc '" + gUnpacked + "/usr/share/doc/quillon/changelog.gz'", prefix());
    EXPECT_EQ(log.out.rfind("quillon (" QUILLON_VERSION ")", 0), 0u) << log.out;
}

TEST_F(PackageTest, TheFileListIsTheInstallBelowUsrOwnedByRoot) {
    const RunResult list = Shell("dpkg-deb -c '" + gDeb + "'", prefix());
    ASSERT_EQ(list.status, 0) << list.err;
    std::set<std::string> paths;
    for (const std::string& line : SplitLines(list.out)) {
        std::istringstream fields(line);
        std::string mode, owner, size, day, time, path;
        fields >> mode >> owner >> size >> day >> time >> path;
        EXPECT_EQ(owner, "root/root") << line;
        EXPECT_TRUE(path == "./" || path.rfind("./usr/", 0) == 0) << line;
        paths.insert(path);
    }
    std::vector<std::string> expected = {
        "./usr/share/quillon/Language.eng",
        "./usr/share/quillon/GUIS/Viewer.lst",
        "./usr/share/quillon/GUIS/btn.pos",
        "./usr/share/applications/quillon.desktop",
        "./usr/share/bash-completion/completions/quillon-cli",
        "./usr/share/doc/quillon/copyright",
        "./usr/share/doc/quillon/changelog.gz",
    };
    for (const char* program :
         {"quillon", "quillon-cli", "quillon-share", "quillon-host", "quillon-mkrec"}) {
        expected.push_back(std::string("./usr/bin/") + program);
        expected.push_back(std::string("./usr/share/man/man1/") + program + ".1.gz");
    }
    for (const char* size :
         {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"})
        expected.push_back(std::string("./usr/share/icons/hicolor/") + size + "/apps/quillon.png");
    for (const std::string& path : expected)
        EXPECT_TRUE(paths.count(path)) << path;
    // Every file of the viewer folder ships, whatever it holds.
    for (const auto& e : fs::directory_iterator(std::string(QUILLON_BIN_DIR) + "/Other"))
        EXPECT_TRUE(paths.count("./usr/share/quillon/Other/" + e.path().filename().string()))
            << e.path();
    // The build's own generators stay out.
    EXPECT_FALSE(paths.count("./usr/bin/quillon-mkskin"));
    EXPECT_FALSE(paths.count("./usr/bin/quillon-mkicon"));
}

TEST_F(PackageTest, EachManualPageRendersWithoutAWarning) {
    for (const char* program :
         {"quillon", "quillon-cli", "quillon-share", "quillon-host", "quillon-mkrec"}) {
        SCOPED_TRACE(program);
        const std::string page = gUnpacked + "/usr/share/man/man1/" + program + ".1.gz";
        const RunResult r =
            Shell("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l '" + page + "'", prefix());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("NAME\n       " + std::string(program) + " - "), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("SYNOPSIS"), std::string::npos);
    }
}

TEST_F(PackageTest, TheDesktopEntryValidatesAndNamesWhatThePackageHolds) {
    const std::string entry = gUnpacked + "/usr/share/applications/quillon.desktop";
    const RunResult r = Shell("desktop-file-validate '" + entry + "'", prefix());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    const std::vector<std::string> lines = SplitLines(ReadText(entry));
    std::set<std::string> set(lines.begin(), lines.end());
    EXPECT_TRUE(set.count("Exec=quillon"));
    EXPECT_TRUE(set.count("Icon=quillon"));
    EXPECT_TRUE(fs::is_regular_file(gUnpacked + "/usr/bin/quillon"));
    EXPECT_TRUE(fs::is_regular_file(gUnpacked + "/usr/share/icons/hicolor/48x48/apps/quillon.png"));
}

TEST_F(PackageTest, LintianFindsNoError) {
    const RunResult r =
        Shell("lintian --fail-on error --tag-display-limit 0 '" + gDeb + "'", prefix());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const std::string& line : SplitLines(r.out))
        EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
}
