// The Debian packages as CPack makes them and as Debian's own tools (dpkg, apt, lintian,
// systemd-analyze, hardening-check) judge them, and the same bytes from a second packing.
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "CliRunner.h"
#include "TestEnv.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kPackages = {"quillon-common", "quillon-cli", "quillon-video",
                                            "quillon-share",  "quillon",     "quillon-tools"};
// What a recorder box without a screen installs.
const std::vector<std::string> kHeadless = {"quillon-common", "quillon-cli", "quillon-share"};
// Each package's programs, below the root; those in usr/bin are commands with a manual page.
const std::map<std::string, std::vector<std::string>> kPrograms = {
    {"quillon-cli", {"usr/bin/quillon-cli"}},
    {"quillon-video", {"usr/libexec/quillon/quillon-cli-video"}},
    {"quillon-share", {"usr/bin/quillon-share"}},
    {"quillon", {"usr/bin/quillon"}},
    {"quillon-tools", {"usr/bin/quillon-host", "usr/bin/quillon-mkrec"}},
};

std::string gRoot;                            // scratch of the package builds
RunResult gBuild, gAgain;                     // the packing, and the second one
std::map<std::string, std::string> gDebs;     // package name -> file (-dbgsym: the .ddeb)
std::map<std::string, std::string> gAgainBy;  // file name -> file of the second packing
std::map<std::string, std::string> gFiles;    // package name -> its files, unpacked

std::string Quote(const std::string& s) {
    return "'" + std::regex_replace(s, std::regex("'"), "'\\''") + "'";
}

RunResult Shell(const std::string& command) {
    return RunProgram("/bin/sh", {"-c", command}, gRoot);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// The package files CPack made in dir, the .deb and the .ddeb ones, by name.
std::vector<std::string> Packed(const std::string& dir) {
    return SplitLines(Shell("ls " + Quote(dir) + "/*.deb " + Quote(dir) + "/*.ddeb").out);
}

std::string Trimmed(const std::string& s) {
    return s.substr(0, s.find_last_not_of("\n ") + 1);
}

std::string Field(const std::string& package, const std::string& name) {
    return Trimmed(Shell("dpkg-deb -f " + Quote(gDebs.at(package)) + " " + name).out);
}

// The paths of a package's files and folders ("./usr/bin/quillon-cli"), each with its owner.
std::map<std::string, std::string> Contents(const std::string& package) {
    std::map<std::string, std::string> paths;
    for (const std::string& line :
         SplitLines(Shell("dpkg-deb -c " + Quote(gDebs.at(package))).out)) {
        std::istringstream fields(line);
        std::string mode, owner, size, day, time, path;
        fields >> mode >> owner >> size >> day >> time >> path;
        paths[path] = owner;
    }
    return paths;
}

// Packs the build into out with CPack as scripts/package does (CPack gives its own members the
// modes of the umask), with the time zone given.
RunResult Pack(const std::string& timeZone, const std::string& out) {
    return Shell("umask 022 && TZ=" + timeZone + " " + Quote(CPACK_COMMAND) + " -G DEB --config " +
                 Quote(QUILLON_BUILD_DIR "/CPackConfig.cmake") + " -B " + Quote(out));
}

// The packages apt would install on a machine with nothing installed, to install the given
// package files: their Depends closure, as apt resolves it (no Recommends).
std::vector<std::string> Closure(const std::vector<std::string>& packages, RunResult* run) {
    const std::string status = gRoot + "/empty-status";
    TempPrefixTest::WriteText(status, "");
    std::string command =
        "apt-get -s -q -o Dir::State::status=" + Quote(status) +
        " -o APT::Install-Recommends=false -o APT::Install-Suggests=false install";
    for (const std::string& p : packages)
        command += " " + Quote(gDebs.at(p));
    *run = Shell(command);
    std::vector<std::string> names;
    for (const std::string& line : SplitLines(run->out))
        if (line.rfind("Inst ", 0) == 0)
            names.push_back(line.substr(5, line.find(' ', 5) - 5));
    return names;
}

}  // namespace

class PackageTest : public TempPrefixTest {
  protected:
    static void SetUpTestSuite() {
        std::string tmpl = (fs::temp_directory_path() / "quillon-package-XXXXXX").string();
        gRoot = ::mkdtemp(tmpl.data());
        gBuild = Pack("UTC", gRoot + "/out");
        // Packed again, into another folder, in another time zone, later.
        gAgain = Pack("Pacific/Kiritimati", gRoot + "/again");
        for (const std::string& file : Packed(gRoot + "/out")) {
            const std::string name = Trimmed(Shell("dpkg-deb -f " + Quote(file) + " Package").out);
            gDebs[name] = file;
            gFiles[name] = gRoot + "/files/" + name;
            fs::create_directories(gFiles[name]);
            Shell("dpkg-deb -x " + Quote(file) + " " + Quote(gFiles[name]));
        }
        for (const std::string& file : Packed(gRoot + "/again"))
            gAgainBy[fs::path(file).filename().string()] = file;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(gRoot, ec);
    }
    void SetUp() override {
        TempPrefixTest::SetUp();
        ASSERT_EQ(gBuild.status, 0) << gBuild.out << gBuild.err;
        for (const std::string& p : kPackages)
            ASSERT_TRUE(gDebs.count(p)) << p << " was not made: " << gBuild.out;
    }
};

TEST_F(PackageTest, EachPackageHoldsItsPartOfTheInstallAndNoFileIsInTwo) {
    // The six packages and a debug package for each one with programs, nothing else.
    std::set<std::string> names, expectedNames(kPackages.begin(), kPackages.end());
    for (const auto& [name, file] : gDebs)
        names.insert(name);
    for (const auto& [package, programs] : kPrograms)
        expectedNames.insert(package + "-dbgsym");
    EXPECT_EQ(names, expectedNames);

    std::map<std::string, std::vector<std::string>> expected = {
        {"quillon-common",
         {"./usr/share/quillon/Language.eng", "./usr/share/quillon/GUIS/Viewer.lst",
          "./usr/share/quillon/GUIS/btn.pos", "./usr/share/quillon/Other/index.html",
          "./usr/share/quillon/Other/sql-wasm-inline.js", "./usr/lib/sysusers.d/quillon.conf",
          "./usr/share/doc/quillon-common/README.md.gz"}},
        {"quillon-cli",
         {"./usr/share/bash-completion/completions/quillon-cli",
          "./usr/lib/systemd/system/quillon-pull@.service",
          "./usr/lib/systemd/system/quillon-pull@.timer",
          "./etc/quillon/pull.d/example.conf.sample"}},
        {"quillon-share",
         {"./usr/lib/systemd/system/quillon-share.service", "./etc/quillon/share.conf"}},
        {"quillon", {"./usr/share/applications/quillon.desktop"}},
    };  // and below, for every package, its programs and documents
    for (const char* size :
         {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"})
        expected["quillon"].push_back(std::string("./usr/share/icons/hicolor/") + size +
                                      "/apps/quillon.png");
    for (const auto& e : fs::directory_iterator(std::string(QUILLON_BIN_DIR) + "/Other"))
        expected["quillon-common"].push_back("./usr/share/quillon/Other/" +
                                             e.path().filename().string());
    for (const auto& [package, programs] : kPrograms)
        for (const std::string& program : programs) {
            expected[package].push_back("./" + program);
            if (program.rfind("usr/bin/", 0) == 0)
                expected[package].push_back("./usr/share/man/man1/" +
                                            fs::path(program).filename().string() + ".1.gz");
        }

    std::map<std::string, std::string> owner;  // file -> the package holding it
    for (const std::string& package : kPackages) {
        SCOPED_TRACE(package);
        expected[package].push_back("./usr/share/doc/" + package + "/copyright");
        expected[package].push_back("./usr/share/doc/" + package + "/changelog.gz");
        const auto contents = Contents(package);
        for (const std::string& path : expected[package])
            EXPECT_TRUE(contents.count(path)) << path;
        for (const auto& [path, user] : contents) {
            EXPECT_EQ(user, "root/root") << path;
            EXPECT_TRUE(path == "./" || path.rfind("./usr/", 0) == 0 ||
                        path.rfind("./etc/quillon/", 0) == 0 || path == "./etc/")
                << path;
            if (path.back() == '/')
                continue;
            EXPECT_FALSE(owner.count(path)) << path << " is in " << owner[path] << " too";
            owner[path] = package;
        }
    }
    // The build's own generators stay out.
    EXPECT_FALSE(owner.count("./usr/bin/quillon-mkskin"));
    EXPECT_FALSE(owner.count("./usr/bin/quillon-mkicon"));
    // A debug package holds debug files by build ID and its documents, nothing else.
    for (const auto& [package, programs] : kPrograms)
        for (const auto& [path, user] : Contents(package + "-dbgsym"))
            EXPECT_TRUE(
                path.back() == '/' ||
                std::regex_match(
                    path,
                    std::regex(R"(\./usr/lib/debug/\.build-id/[0-9a-f]{2}/[0-9a-f]+\.debug|)"
                               R"(\./usr/share/doc/[a-z-]+-dbgsym/(copyright|changelog\.gz))")))
                << path;
}

TEST_F(PackageTest, ControlFieldsTieThePackagesTogetherAndKeepQtToTheWindow) {
    const std::string arch = Trimmed(Shell("dpkg --print-architecture").out);
    for (const std::string& package : kPackages) {
        SCOPED_TRACE(package);
        EXPECT_EQ(Field(package, "Version"), QUILLON_VERSION);
        const std::string packageArch = package == "quillon-common" ? "all" : arch;
        EXPECT_EQ(Field(package, "Architecture"), packageArch);
        EXPECT_EQ(fs::path(gDebs[package]).filename().string(),
                  package + "_" QUILLON_VERSION "_" + packageArch + ".deb");
        EXPECT_EQ(Field(package, "Maintainer"), QUILLON_MAINTAINER);
        // No made-up Homepage: the field is there only when the project has one.
        EXPECT_EQ(Field(package, "Homepage"), QUILLON_HOMEPAGE);
        const std::string depends = Field(package, "Depends");
        EXPECT_TRUE(package == "quillon-common" ||
                    depends.find("quillon-common (= " QUILLON_VERSION ")") != std::string::npos)
            << depends;
        // The changelog's newest entry is this version.
        const RunResult log = Shell(
            "gzip -dc " + Quote(gFiles[package] + "/usr/share/doc/" + package + "/changelog.gz"));
        EXPECT_EQ(log.out.rfind("quillon (" QUILLON_VERSION ")", 0), 0u) << log.out;
    }
    // What dpkg-shlibdeps found in the programs, with the versions they need: the headless
    // programs without any Qt, the window with it and with everything else of the set.
    for (const char* package : {"quillon-cli", "quillon-share"}) {
        const std::string depends = Field(package, "Depends");
        for (const char* library :
             {"libc6 (>=", "libstdc++6 (>=", "libsqlite3-0 (>=", "libssl3 (>="})
            EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
        EXPECT_FALSE(std::regex_search(depends, std::regex("qt", std::regex::icase)))
            << package << ": " << depends;
    }
    EXPECT_NE(Field("quillon-cli", "Depends").find("libburn4 (>="), std::string::npos);
    // The encoder's libraries only with the program that encodes, which apt does not install
    // unasked.
    EXPECT_EQ(Field("quillon-cli", "Depends").find("libavcodec"), std::string::npos);
    EXPECT_EQ(Field("quillon-cli", "Suggests"), "quillon-video");
    const std::string video = Field("quillon-video", "Depends");
    for (const char* part : {"quillon-cli (= " QUILLON_VERSION ")", "libavcodec"})
        EXPECT_NE(video.find(part), std::string::npos) << part << " in " << video;
    const std::string window = Field("quillon", "Depends");
    for (const char* part :
         {"quillon-cli (= " QUILLON_VERSION ")", "quillon-video (= " QUILLON_VERSION ")",
          "quillon-share (= " QUILLON_VERSION ")", "quillon-tools (= " QUILLON_VERSION ")",
          "libqt6widgets6 (>=", "qt6-qpa-plugins"})
        EXPECT_NE(window.find(part), std::string::npos) << part << " in " << window;
    EXPECT_NE(Field("quillon-tools", "Depends").find("libjpeg62-turbo (>="), std::string::npos);
}

TEST_F(PackageTest, HeadlessPackagesInstallIntoAnEmptyRootAndNeedNoQt) {
    // An empty root: dpkg's database and nothing else. The maintainer scripts run from this
    // machine with DPKG_ROOT set; the libraries are not installed there, apt's closure below
    // says what they would be.
    const std::string root = gRoot + "/root";
    fs::create_directories(root + "/var/lib/dpkg/info");
    fs::create_directories(root + "/var/lib/dpkg/updates");
    WriteText(root + "/var/lib/dpkg/status", "");
    std::string install = "dpkg --root=" + Quote(root) +
                          " --force-script-chrootless --force-depends --log=/dev/null -i";
    for (const std::string& p : kHeadless)
        install += " " + Quote(gDebs[p]);
    const RunResult installed = Shell(install);
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
    const RunResult listed =
        Shell("dpkg-query --root=" + Quote(root) + " -W -f='${Package} ${Status}\\n'");
    EXPECT_EQ(listed.out,
              "quillon-cli install ok installed\nquillon-common install ok installed\n"
              "quillon-share install ok installed\n");
    for (const auto& e : fs::recursive_directory_iterator(root))
        EXPECT_EQ(e.path().filename().string().find("libQt6"), std::string::npos) << e.path();

    // The token the package made for the server: the root's alone, 32 random bytes in hex.
    const std::string token = root + "/etc/quillon/share.token";
    struct stat st {};
    ASSERT_EQ(::stat(token.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_TRUE(std::regex_match(ReadText(token), std::regex("[0-9a-f]{64}")));
    // The system user, when this machine has systemd's sysusers to make it.
    if (!Shell("command -v systemd-sysusers").out.empty()) {
        EXPECT_TRUE(std::regex_search(ReadText(root + "/etc/passwd"),
                                      std::regex("(^|\n)quillon:x:[0-9]+:[0-9]+:[^:]*:"
                                                 "/var/lib/quillon:[^\n]*nologin\n")))
            << ReadText(root + "/etc/passwd");
    }

    // A purge takes the token and the conffile with it.
    const RunResult purged =
        Shell("dpkg --root=" + Quote(root) +
              " --force-script-chrootless --log=/dev/null --purge quillon-share");
    EXPECT_EQ(purged.status, 0) << purged.out << purged.err;
    EXPECT_FALSE(fs::exists(token));
    EXPECT_FALSE(fs::exists(root + "/etc/quillon/share.conf"));

    // What apt installs with them on a machine that has nothing: no Qt, and no encoder with the
    // X11 client libraries it brings. The whole desktop set, against it, does bring Qt.
    RunResult run;
    const std::vector<std::string> headless = Closure(kHeadless, &run);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_FALSE(headless.empty()) << run.out;
    for (const std::string& name : headless)
        EXPECT_FALSE(std::regex_search(name, std::regex("^(libqt6|qt6-|libavcodec|libx11)")))
            << name;
    Closure({"quillon-common", "quillon-share"}, &run);  // the server alone resolves too
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<std::string> whole = Closure(kPackages, &run);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(std::find(whole.begin(), whole.end(), "libqt6widgets6"), whole.end());
}

TEST_F(PackageTest, EveryProgramIsHardenedStrippedAndHasItsDebugFile) {
    // Control-flow protection marks a program only when every object linked carries the mark;
    // where the C library's start files do not (Debian 12), no program can have it, and what
    // is checked instead is that the objects compiled here carry it.
    const std::string start = Trimmed(Shell("gcc -print-file-name=Scrt1.o").out);
    const bool startMarked =
        Shell("readelf -n " + Quote(start)).out.find("x86 feature: IBT, SHSTK") !=
        std::string::npos;
    for (const auto& [package, programs] : kPrograms)
        for (const std::string& program : programs) {
            SCOPED_TRACE(program);
            const std::string file = gFiles[package] + "/" + program;
            const RunResult check =
                Shell("hardening-check " + std::string(startMarked ? "" : "--nocfprotection ") +
                      Quote(file));
            EXPECT_EQ(check.status, 0) << check.out << check.err;
            if (!startMarked) {
                // The objects without the mark, and a failure when there are none at all.
                const std::string objects = QUILLON_BUILD_DIR "/src/tools/CMakeFiles/" +
                                            fs::path(program).filename().string() + ".dir";
                const RunResult unmarked = Shell(
                    "cd " + Quote(objects) + " && for o in $(find . -name '*.o'); do readelf -n " +
                    "$o | grep -q 'x86 feature: IBT, SHSTK' || echo $o; done; find . -name '*.o' " +
                    "| grep -q .");
                EXPECT_EQ(unmarked.status, 0) << objects;
                EXPECT_EQ(unmarked.out, "") << objects;
            }
            const std::string sections = Shell("readelf -SW " + Quote(file)).out;
            for (const char* section : {" .comment ", " .debug_info ", " .symtab "})
                EXPECT_EQ(sections.find(section), std::string::npos) << section;
            std::smatch id;
            const std::string notes = Shell("readelf -n " + Quote(file)).out;
            ASSERT_TRUE(
                std::regex_search(notes, id, std::regex("Build ID: ([0-9a-f]{2})([0-9a-f]+)")));
            const std::string debug = gFiles[package + "-dbgsym"] + "/usr/lib/debug/.build-id/" +
                                      id[1].str() + "/" + id[2].str() + ".debug";
            ASSERT_TRUE(fs::is_regular_file(debug)) << debug;
            EXPECT_NE(Shell("readelf -SW " + Quote(debug)).out.find(" .debug_info "),
                      std::string::npos);
            // The program names its debug file and the file's checksum, as a debugger checks.
            const std::string link = gRoot + "/debuglink";
            ASSERT_EQ(Shell("objcopy --dump-section .gnu_debuglink=" + Quote(link) + " " +
                            Quote(file) + " " + Quote(gRoot + "/dumped"))
                          .status,
                      0);
            const std::string linked = ReadText(link);
            const std::string name = linked.substr(0, linked.find('\0'));
            EXPECT_EQ(name, id[2].str() + ".debug");
            // Its last four bytes are the file's CRC-32, little-endian as gzip's trailer holds it.
            ASSERT_GE(linked.size(), 4u);
            EXPECT_EQ(linked.substr(linked.size() - 4),
                      Shell("gzip -c " + Quote(debug) + " | tail -c8 | head -c4").out);
            // The build's folder stays out of both, so that another checkout builds the same.
            for (const std::string& f : {file, debug})
                EXPECT_EQ(ReadText(f).find(QUILLON_SOURCE_DIR "/"), std::string::npos) << f;
        }
}

TEST_F(PackageTest, UnitsVerifyAndTheServerIsConfined) {
    // The units in a root with what they run, as the packages put it, beside the units of this
    // machine's systemd that they are ordered against (sysinit.target, network-online.target).
    const std::string root = gRoot + "/units";
    for (const std::string& p : kHeadless)
        ASSERT_EQ(Shell("dpkg-deb -x " + Quote(gDebs[p]) + " " + Quote(root)).status, 0);
    const std::string units = root + "/usr/lib/systemd/system/";
    const std::string system = fs::is_directory("/usr/lib/systemd/system")
                                   ? "/usr/lib/systemd/system"
                                   : "/lib/systemd/system";
    ASSERT_EQ(Shell("cp -RPn " + Quote(system + "/.") + " " + Quote(units)).status, 0);
    const std::string env = "SYSTEMD_LOG_COLOR=0 MANPATH=" + Quote(root + "/usr/share/man") + " ";
    for (const char* unit :
         {"quillon-share.service", "quillon-pull@.service", "quillon-pull@.timer"}) {
        SCOPED_TRACE(unit);
        // A template is verified as an instance of it.
        std::string path = units + unit;
        if (std::string(unit).find("@.") != std::string::npos) {
            path = root + "/" + std::regex_replace(unit, std::regex("@\\."), "@site-1.");
            fs::copy_file(units + unit, path, fs::copy_options::overwrite_existing);
        }
        const RunResult r = Shell(env + "systemd-analyze verify --root=" + Quote(root) +
                                  " --man=yes " + Quote(path));
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out + r.err, "");
    }
    // The exposure systemd rates the server's sandbox at, from 0 (confined) to 10.
    const RunResult security =
        Shell(env + "systemd-analyze security --offline=yes --root=" + Quote(root) + " " +
              Quote(units + "quillon-share.service"));
    std::smatch score;
    ASSERT_TRUE(std::regex_search(security.out, score,
                                  std::regex("Overall exposure level for [^:]*: ([0-9.]+)")))
        << security.out << security.err;
    EXPECT_LE(std::atof(score[1].str().c_str()), 1.5) << security.out;
}

TEST_F(PackageTest, LintianPedanticReportsNothingButOverriddenTags) {
    std::string files;
    for (const auto& [name, file] : gDebs)
        files += " " + Quote(file);
    const RunResult r = Shell(
        "lintian --pedantic -I --tag-display-limit 0 "
        "--fail-on error,warning,info,pedantic" +
        files);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(PackageTest, PackingTheSameBuildAgainGivesTheSameBytes) {
    ASSERT_EQ(gAgain.status, 0) << gAgain.out << gAgain.err;
    ASSERT_EQ(gAgainBy.size(), gDebs.size());
    for (const auto& [name, file] : gDebs) {
        SCOPED_TRACE(file);
        const std::string again = gAgainBy[fs::path(file).filename().string()];
        ASSERT_FALSE(again.empty());
        EXPECT_TRUE(ReadText(file) == ReadText(again));
    }
    // No file is newer than the last commit.
    const std::string epoch =
        Trimmed(Shell("git -C " + Quote(QUILLON_SOURCE_DIR) + " log -1 --format=%ct").out);
    const std::string newest = Trimmed(Shell("date -u -d @" + epoch + " '+%F %T'").out);
    ASSERT_EQ(newest.size(), 19u) << epoch;
    for (const auto& [name, file] : gDebs) {
        const RunResult list =
            Shell("dpkg-deb --fsys-tarfile " + Quote(file) + " | TZ=UTC tar -tv --full-time");
        for (const std::string& line : SplitLines(list.out)) {
            std::smatch when;
            ASSERT_TRUE(std::regex_search(line, when,
                                          std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")))
                << line;
            EXPECT_LE(when.str(), newest) << line;
        }
    }
}

TEST_F(PackageTest, TheDesktopEntryValidatesAndNamesWhatThePackageHolds) {
    const std::string files = gFiles["quillon"];
    const std::string entry = files + "/usr/share/applications/quillon.desktop";
    const RunResult r = Shell("desktop-file-validate " + Quote(entry));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    const std::vector<std::string> lines = SplitLines(ReadText(entry));
    std::set<std::string> set(lines.begin(), lines.end());
    // Both are in the package: EachPackageHoldsItsPartOfTheInstallAndNoFileIsInTwo finds them.
    EXPECT_TRUE(set.count("Exec=quillon"));
    EXPECT_TRUE(set.count("Icon=quillon"));
}
