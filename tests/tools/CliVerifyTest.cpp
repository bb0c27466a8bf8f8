// quillon-cli verify and key: an image checked as whoever receives it would, a backup killed as
// it names its manifest, and minute indexes that address bytes their data files do not hold.
// (The scratch folder a disc's MP4 files are checked in is integrity/ScratchFolderTest's.)
#include <csignal>
#include <cstdlib>

#include "CliDay.h"
#include "PseudoDrives.h"
#include "ScopedEnv.h"

class CliVerifyTest : public UsbCliFixture {
  protected:
    void SetUp() override {
        UsbCliFixture::SetUp();
        UseBuiltData();
        RecordSmallDay(604);
        trusted = prefix() + "/keys/signing.pub";
    }
    // Two entries (one rebuilt for two cameras) backed up into E:\<folder>; its host path.
    std::string BackUp(const std::string& folder, const std::string& from = "1000",
                       const std::string& to = "1003") {
        EXPECT_EQ(Cli({"add", "20100523", from, to, "--cams", "all"}).status, 0);
        EXPECT_EQ(Cli({"add", "20100523", "1002", "1004", "--cams", "2,4"}).status, 0);
        EXPECT_THAT(Cli({"backup", "--folder", "E:\\" + folder, "--no-progress"}), Ok());
        return usb + "/" + folder;
    }
    RunResult Verify(std::vector<std::string> args) {
        args.insert(args.begin(), {"verify", "--no-progress"});
        return Cli(args);
    }
    // A fresh copy of the image to change one thing in.
    std::string Copy(const std::string& image, const std::string& name) {
        fs::copy(image, prefix() + "/" + name, fs::copy_options::recursive);
        return prefix() + "/" + name;
    }
    static std::string Day() { return "2010_05_23=10,00~10,03/20100523/"; }
    const std::string dat = Day() + "201005231001N.dat";
    std::string trusted;  // the machine's public key, once it has one
    // A manifest made again by sha256sum of what the folder now holds, as a forger would.
    static int Remanifest(const std::string& folder) {
        return Shell("cd '" + folder +
                     "' && find . -type f ! -name 'SHA256SUMS*' -printf '%P\\n' | sort | "
                     "xargs -d '\\n' sha256sum > SHA256SUMS");
    }
};

// The check as whoever receives the image makes it: sha256sum and openssl on their own, and
// verify with the machine's key or the one on the medium; a change fails it, and what the image
// names reaches the terminal escaped. (What the check finds and says is integrity/'s.)
TEST_F(CliVerifyTest, ASignedImageVerifiesAndAChangeFailsItWithNamesShownEscaped) {
    RunResult made = Cli({"key", "create"});
    ASSERT_THAT(made, Out(0, "signing key made: " + prefix() + "/keys/signing.key"));
    EXPECT_THAT(made.out, HasSubstr("certificate for signed video exports: " + prefix() +
                                    "/keys/export-rsa.crt (RSA-3072, \"Quillon Backup"));
    const std::size_t at = made.out.find("fingerprint: SHA256:") + 13;
    const std::string fingerprint = made.out.substr(at, made.out.find('\n', at) - at);
    EXPECT_NE(Cli({"key", "create"}).status, 0);
    // A machine whose manifest key predates the export key gets the export key alone.
    fs::remove(prefix() + "/keys/export-rsa.key");
    EXPECT_THAT(Cli({"key", "create"}),
                Out(0, "signing key kept: " + prefix() + "/keys/signing.key"));
    const std::string image = BackUp("Img");
    EXPECT_EQ(Sha256sumCheck(image), 0);
    EXPECT_EQ(Shell("cd '" + image +
                    "' && openssl pkeyutl -verify -pubin -inkey SHA256SUMS.pub -rawin -in "
                    "SHA256SUMS -sigfile SHA256SUMS.sig >/dev/null"),
              0);
    EXPECT_THAT(Verify({"E:\\Img", "--key", trusted}),
                AllOf(Out(0, "VERIFIED: all "),
                      Printed(HasSubstr("good signature by the trusted key " + fingerprint))));
    EXPECT_EQ(Verify({"E:\\Img", "--key", image + "/SHA256SUMS"}).status, 1);  // not a key
    EXPECT_EQ(Verify({prefix() + "/nothing-here"}).status, 1);
    // A host path, as on a machine without our drive table.
    std::string flipped = Copy(image, "flipped");
    std::string bytes = ReadText(flipped + "/" + dat);
    bytes[bytes.size() / 2] ^= 0x20;
    WriteText(flipped + "/" + dat, bytes);
    EXPECT_THAT(Verify({flipped}), AllOf(Out(1, "CHANGED          " + dat + "\n"),
                                         Printed(HasSubstr("\nFAILED: 1 file"))));
    EXPECT_NE(Sha256sumCheck(flipped), 0);
    const std::string named = Copy(image, "named");
    WriteText(named + "/\x1b[2Jcleared", "x");
    EXPECT_THAT(Verify({named}), AllOf(Out(1, "\\x1b[2Jcleared"), Printed(Not(HasSubstr("\x1b")))));
}

// A backup killed as it names its manifest or the manifest's signature files, then run again:
// the run that says it completed leaves an image that verifies with the trusted key, with no
// temporary file of the killed run at its root.
TEST_F(CliVerifyTest, ABackupKilledAsItNamesItsManifestVerifiesOnceRunAgain) {
    ASSERT_EQ(Cli({"key", "create"}).status, 0);
    const char* asan = std::getenv("ASAN_OPTIONS");
    // The library comes before the sanitizer's runtime in a sanitized build: that is meant.
    const ScopedEnv order("ASAN_OPTIONS",
                          std::string(asan ? asan : "") + ":verify_asan_link_order=0");
    for (const std::string name : {"SHA256SUMS", "SHA256SUMS.sig", "SHA256SUMS.pub"}) {
        SCOPED_TRACE(name);
        const std::string folder = "Killed" + name.substr(10);
        ASSERT_EQ(Cli({"add", "20100523", "1000", "1002", "--cams", "all"}).status, 0);
        const std::vector<std::string> backup{"backup", "--folder", "E:\\" + folder,
                                              "--no-progress"};
        {
            const ScopedEnv preload("LD_PRELOAD", QUILLON_KILL_AT_RENAME_LIB);
            const ScopedEnv at("QUILLON_KILL_AT_RENAME", name);
            ASSERT_THAT(Cli(backup), Ends(128 + SIGKILL));
        }
        ASSERT_THAT(Cli(backup), Out(0, "The backup has been completed."));
        EXPECT_EQ(TempFilesBelow(usb + "/" + folder), std::vector<std::string>{});
        EXPECT_THAT(Verify({"E:\\" + folder, "--key", trusted}),
                    AllOf(Ok(), Printed(Not(HasSubstr("NOT")))));
    }
}

TEST_F(CliVerifyTest, DeepLooksInsideTheMinuteIndexes) {
    const std::string image = BackUp("Deep");
    // Short data files under a manifest that matches them: only a look into the indexes
    // finds that their rows address bytes that are not there.
    const std::string day = image + "/" + Day();
    fs::resize_file(day + "201005231001N.dat", 100);
    WriteText(day + "201005231002N.idx", "not a database at all");
    ASSERT_EQ(Remanifest(image), 0);
    EXPECT_EQ(Verify({image}).status, 0);
    const RunResult r = Verify({image, "--deep"});
    EXPECT_THAT(r, Out(1, "DAMAGED          " + Day() + "201005231001N.idx: "));
    EXPECT_THAT(r.out, HasSubstr("DAMAGED          " + Day() +
                                 "201005231002N.idx: the index is not a readable database"));
    EXPECT_THAT(r.out, HasSubstr("FAILED: 2 minute indexes damaged"));
}
