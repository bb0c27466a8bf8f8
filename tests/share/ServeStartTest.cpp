// What quillon-share checks before it serves: the lines of its configuration file, the values
// each setting takes, and a working folder it can write.
#include "share/ServeConfig.h"
#include "share/ServeOptions.h"
#include "share/StartupChecks.h"

#include "Has.h"
#include "ScopedEnv.h"
#include "TestEnv.h"

namespace {
// Why the settings in text, a configuration file's, cannot be served ("" when they can).
std::string Problem(const std::string& text, ServeOptions& options) {
    std::vector<GivenSetting> settings;
    std::string problem = ParseConfigText("/etc/share.conf", text, settings);
    for (std::size_t i = 0; problem.empty() && i < settings.size(); ++i)
        problem = ApplySetting(settings[i], options);
    return problem.empty() ? OptionsProblem(options) : problem;
}
}  // namespace

using ServeStartTest = TempPrefixTest;

TEST_F(ServeStartTest, BlankLinesCommentsAndSpacesAreSkippedAndFilesLieBesideTheConfiguration) {
    ServeOptions o;
    ASSERT_EQ(Problem("# quillon-share\n\nroot = C:\\QorData\n  listen = 127.0.0.1:9   \n"
                      "token-file = share.token\ncameras = 4\r\nimage-idle = 20\nkeep-free = 5\n"
                      "verbose = yes\ninsecure-http = no\ntls-cert = tls/cert.pem\n",
                      o),
              "");
    EXPECT_EQ(std::tie(o.root, o.listen, o.tokenFile, o.tlsCert),
              std::tie("C:\\QorData", "127.0.0.1:9", "/etc/share.token", "/etc/tls/cert.pem"));
    EXPECT_EQ(std::tie(o.cameras, o.imageIdleMinutes, o.keepFreePercent, o.verbose),
              std::make_tuple(4, 20.0, 5.0, true));
}

TEST_F(ServeStartTest, AWrongLineIsNamedByFileAndLineAndMissingSettingsAreSaid) {
    const std::vector<std::pair<std::string, std::string>> wrong{
        {"listen 127.0.0.1:7004", "expected KEY = VALUE"},
        {"colour = blue", "unknown key \"colour\" (the keys are root, listen, token-file"},
        {"quiet = yes", "unknown key \"quiet\""},
        {"token = tk-in-the-open", "the token does not belong in the configuration"},
        {"cameras = 65", "cameras takes a whole number from 1 to 64, not 65"},
        {"cameras = 4x", "cameras takes a whole number from 1 to 64, not 4x"},
        {"image-idle = 0", "image-idle takes minutes above 0"},
        {"keep-free = 101", "keep-free takes a percentage from 0 to 100"},
        {"verbose = maybe", "verbose takes yes or no, not maybe"},
        {"listen = 127.0.0.1", "listen takes ADDRESS:PORT"},
        {"token-file =", "token-file has no value"},
        {"root = C:\\Other", "root is given again (first on line 1)"}};
    for (const auto& [line, says] : wrong) {
        ServeOptions o;
        const std::string problem = Problem("root = C:\\QorData\n# the line below\n" + line, o);
        EXPECT_HAS(problem, "/etc/share.conf:3: " + says);
        EXPECT_LACKS(problem, "tk-in-the-open");
    }
    ServeOptions o;
    EXPECT_HAS(Problem("listen = 127.0.0.1:0", o), "--root is required");
    EXPECT_HAS(Problem("root = r\nlisten = 127.0.0.1:2", o),
               "127.0.0.1:2 leaves no room for the preview's pictures");
    std::vector<GivenSetting> none;
    EXPECT_EQ(ReadConfigFile("/nowhere/share.conf", none),
              "the configuration file /nowhere/share.conf does not exist");
}

TEST_F(ServeStartTest, AFolderThatCannotBeWrittenIsNamedWithItsHostPathAndWhy) {
    EXPECT_EQ(WorkingFolderProblem(), "");
    // A service user without a home it may write: the default prefix lies below that home.
    const std::string home = prefix() + "/home-is-a-file";
    WriteText(home, "");
    {
        ScopedEnv noPrefix("QUILLON_PREFIX", nullptr);
        ScopedEnv fileHome("HOME", home);
        const std::string problem = WorkingFolderProblem();
        EXPECT_HAS(problem, "the working folder C:\\NetBackupTemp\\Reserved (" + home +
                                "/.local/share/quillon/drive_c/NetBackupTemp/Reserved)");
        EXPECT_HAS(problem,
                   "QUILLON_PREFIX is not set, so the prefix is " + home + "/.local/share/quillon");
    }
    // A drive that takes no writes at all, where this machine lets the test mount one.
    if (MountTinyDrive('C', "size=64k", true).empty())
        return;
    EXPECT_HAS(WorkingFolderProblem(), "the working folder C:\\NetBackupTemp\\Reserved");
    EXPECT_HAS(WorkingFolderProblem(), "Read-only file system");
}
