// An image checked as whoever receives it would: with sha256sum, and with quillon-cli verify,
// which finds each kind of change, a manifest forged without the key, a key that is not the
// trusted one, and minute indexes that address bytes their data files do not hold; and a pass
// whose manifest cannot be written.
#include <csignal>
#include <cstdlib>

#include "CliDay.h"
#include "PseudoDrives.h"
#include "ScopedEnv.h"
#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "platform/NamedLock.h"

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
    // A verify with the folder for temporary files given.
    RunResult WithTemp(const std::string& temp, const std::vector<std::string>& args) {
        const ScopedEnv tmp("TMPDIR", temp);
        return Verify(args);
    }
    // A disc image holding one file that is no video at path; "" without xorriso.
    std::string DiscOf(const std::string& path) {
        const std::string tree = prefix() + "/tree", iso = prefix() + "/disc.iso";
        fs::create_directories(fs::path(tree + "/" + path).parent_path());
        WriteText(tree + "/" + path, "not a video");
        const int made =
            Shell("xorriso -outdev '" + iso + "' -map '" + tree + "' / -commit >/dev/null 2>&1");
        return made == 0 ? iso : std::string();
    }
};

TEST_F(CliVerifyTest, EachKindOfChangeIsFoundAndFailsTheCheckAndNamesAreShownEscaped) {
    const std::string image = BackUp("Img");
    EXPECT_EQ(Sha256sumCheck(image), 0);
    EXPECT_THAT(Verify({"E:\\Img"}),
                AllOf(Out(0, "VERIFIED: all "), Printed(HasSubstr("not signed"))));
    std::string flipped = Copy(image, "flipped");
    std::string bytes = ReadText(flipped + "/" + dat);
    bytes[bytes.size() / 2] ^= 0x20;
    WriteText(flipped + "/" + dat, bytes);
    std::string truncated = Copy(image, "truncated");
    fs::resize_file(truncated + "/" + dat, bytes.size() - 1);
    std::string deleted = Copy(image, "deleted");
    fs::remove(deleted + "/" + Day() + "201005231002N.idx");
    std::string added = Copy(image, "added");
    WriteText(added + "/" + Day() + "201005231009N.dat", "planted");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {flipped, "CHANGED          " + dat},
        {truncated, "CHANGED          " + dat},
        {deleted, "MISSING          " + Day() + "201005231002N.idx"},
        {added, "NOT IN MANIFEST  " + Day() + "201005231009N.dat"},
    };
    for (const auto& [folder, finding] : cases) {
        EXPECT_THAT(Verify({folder}),  // a host path, as on a machine without our drive table
                    AllOf(Out(1, finding + "\n"), Printed(HasSubstr("\nFAILED: 1 file"))))
            << folder;
        EXPECT_NE(Sha256sumCheck(folder) == 0, finding.rfind("NOT IN", 0) != 0) << folder;
    }
    EXPECT_EQ(Verify({prefix() + "/nothing-here"}).status, 1);
    WriteText(prefix() + "/no-manifest/file", "x");
    EXPECT_THAT(Verify({prefix() + "/no-manifest"}),
                Out(1, "NOT VERIFIED: there is no SHA256SUMS"));
    // What an image names reaches the terminal escaped, never as a control sequence; a manifest
    // that lists a name a second time with another hash fails, as sha256sum -c finds it does.
    const std::string named = Copy(image, "named");
    WriteText(named + "/\x1b[2Jcleared", "x");
    EXPECT_THAT(Verify({named}), AllOf(Out(1, "\\x1b[2Jcleared"), Printed(Not(HasSubstr("\x1b")))));
    const std::string twice = Copy(image, "twice");
    WriteText(twice + "/SHA256SUMS",
              ReadText(twice + "/SHA256SUMS") + std::string(64, '0') + "  " + dat + "\n");
    EXPECT_NE(Sha256sumCheck(twice), 0);
    EXPECT_THAT(Verify({twice}), Out(1, dat + " a second time"));
}

TEST_F(CliVerifyTest, ASignedImageCatchesAForgedManifestAndAKeyThatIsNotTheTrustedOne) {
    RunResult made = Cli({"key", "create"});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::size_t at = made.out.find("SHA256:");
    const std::string fingerprint = made.out.substr(at, made.out.find('\n', at) - at);
    EXPECT_NE(Cli({"key", "create"}).status, 0);
    const std::string image = BackUp("Signed");
    ASSERT_TRUE(fs::exists(image + "/SHA256SUMS.sig"));
    EXPECT_EQ(ReadText(image + "/SHA256SUMS.pub"), ReadText(trusted));
    EXPECT_EQ(Shell("cd '" + image +
                    "' && openssl pkeyutl -verify -pubin -inkey SHA256SUMS.pub -rawin -in "
                    "SHA256SUMS -sigfile SHA256SUMS.sig >/dev/null"),
              0);
    EXPECT_THAT(Verify({"E:\\Signed", "--key", trusted}),
                Out(0, "good signature by the trusted key " + fingerprint));
    // A changed file with a manifest made again to match it: sha256sum is content, the
    // signature is not.
    const std::string forged = Copy(image, "forged");
    WriteText(forged + "/" + dat, "other pictures");
    ASSERT_EQ(Remanifest(forged), 0);
    EXPECT_EQ(Sha256sumCheck(forged), 0);
    EXPECT_THAT(Verify({forged}), Out(1, "BAD signature"));
    // The forger signs with a key of his own and puts it on the medium: only the trusted key
    // tells.
    ASSERT_EQ(Shell("cd '" + forged +
                    "' && openssl genpkey -algorithm ed25519 -out /tmp/forger-$$.key && "
                    "openssl pkey -in /tmp/forger-$$.key -pubout -out SHA256SUMS.pub && "
                    "openssl pkeyutl -sign -inkey /tmp/forger-$$.key -rawin -in SHA256SUMS "
                    "-out SHA256SUMS.sig && rm /tmp/forger-$$.key"),
              0);
    EXPECT_THAT(Verify({forged}), AllOf(Ok(), Printed(Not(HasSubstr(fingerprint)))));
    EXPECT_THAT(Verify({forged, "--key", trusted}),
                Out(1, "signed by another key than the trusted one"));
    EXPECT_EQ(Verify({forged, "--key", forged + "/SHA256SUMS"}).status, 1);  // not a key
    // Unsigned, but a trusted key is asked for.
    fs::remove(forged + "/SHA256SUMS.sig");
    EXPECT_EQ(Verify({forged, "--key", trusted}).status, 1);
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

// A manifest the target will not take, on a target that is otherwise fine: the pass fails once,
// saying so, and keeps its entries for another try, since nothing of the image can be checked.
TEST_F(CliVerifyTest, AManifestThatCannotBeWrittenFailsOnceAndKeepsTheSchedule) {
    fs::create_directories(usb + "/Blocked/SHA256SUMS/taken");
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1003", "--cams", "all"}).status, 0);
    const RunResult r = Cli({"backup", "--folder", "E:\\Blocked", "--no-progress"});
    EXPECT_EQ(r.status, 1);
    const auto failures = FailureLines(r.err);
    ASSERT_EQ(failures.size(), 1u) << r.err;
    EXPECT_THAT(failures[0], HasSubstr("the manifest"));
    EXPECT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:03"}).status, 0);  // still scheduled
}

TEST_F(CliVerifyTest, NothingTheSignatureDoesNotCoverPassesAndNoManifestVouchesForNothing) {
    ASSERT_EQ(Cli({"key", "create"}).status, 0);
    const std::string image = BackUp("Signed");
    RunResult r = Verify({image, "--key", trusted});
    ASSERT_THAT(r, Out(0, "files match SHA256SUMS, signed by SHA256:"));
    EXPECT_THAT(r.out, HasSubstr("(the trusted key)"));
    // A whole entry folder added beside the signed ones.
    std::string t = Copy(image, "added-entry");
    fs::create_directories(t + "/2010_05_23=11,00~11,01/20100523");
    fs::copy_file(t + "/" + dat, t + "/2010_05_23=11,00~11,01/20100523/201005231100N.dat");
    EXPECT_THAT(Verify({t, "--key", trusted}),
                Out(1, "NOT IN MANIFEST  2010_05_23=11,00~11,01/20100523/201005231100N.dat"));
    // A file added inside a signed entry with a forged older manifest that lists it.
    t = Copy(image, "forged-older");
    WriteText(t + "/" + Day() + "extra.dat", "planted");
    ASSERT_EQ(Shell("cd '" + t + "' && sha256sum '" + Day() + "extra.dat' > SHA256SUMS-1"), 0);
    r = Verify({t, "--key", trusted});
    EXPECT_THAT(r, Out(1, "NOT TRUSTED      SHA256SUMS-1 is not signed, while SHA256SUMS is"));
    EXPECT_THAT(r.out, HasSubstr("NOT IN MANIFEST  " + Day() + "extra.dat"));
    // The signed manifest moved aside for one that lists less, unsigned; or for an empty one.
    t = Copy(image, "moved");
    for (const char* suffix : {"", ".sig", ".pub"})
        fs::rename(t + "/SHA256SUMS" + suffix, t + "/SHA256SUMS-1" + suffix);
    WriteText(t + "/" + dat, "changed pictures");
    ASSERT_EQ(Shell("cd '" + t + "' && sha256sum '" + Day() + "20100523.DAT' > SHA256SUMS"), 0);
    EXPECT_THAT(Verify({t}), Out(1, "SHA256SUMS-1 is signed while SHA256SUMS is not"));
    WriteText(t + "/SHA256SUMS", "");
    EXPECT_THAT(Verify({t}), Out(1, "NOT VERIFIED: SHA256SUMS lists no file"));
    // Bytes hidden under names of a manifest's signature and key, with no manifest of theirs.
    t = Copy(image, "hidden");
    WriteText(t + "/SHA256SUMS-7.pub", "planted");
    WriteText(t + "/SHA256SUMS-3.sig", "planted");
    r = Verify({t, "--key", trusted});
    EXPECT_THAT(r, Out(1, "NOT IN MANIFEST  SHA256SUMS-7.pub"));
    EXPECT_THAT(r.out, HasSubstr("NOT IN MANIFEST  SHA256SUMS-3.sig"));
    // A second backup into the same folder, signed by the same key: the first image's manifest
    // is kept as it was, the new one lists only what the second pass wrote, and both count.
    const std::string first = ReadText(image + "/SHA256SUMS");
    BackUp("Signed", "1003", "1004");
    EXPECT_EQ(ReadText(image + "/SHA256SUMS-1"), first);
    EXPECT_EQ(Shell("cd '" + image + "' && sha256sum --quiet -c SHA256SUMS-1"), 0);
    EXPECT_EQ(Sha256sumCheck(image), 0);
    EXPECT_THAT(ReadText(image + "/SHA256SUMS"), Not(HasSubstr("10,00~10,03")));
    EXPECT_THAT(Verify({"E:\\Signed", "--key", trusted}),
                Out(0, "files match SHA256SUMS and SHA256SUMS-1, signed by"));
}

TEST_F(CliVerifyTest, KeyCreateMakesTheExportCertificateToo) {
    // A machine whose manifest key predates the export key gets the export key alone.
    ASSERT_TRUE(integrity::CreateSigningKey(prefix() + "/keys"));
    const std::string manifestKey = ReadText(prefix() + "/keys/signing.key");
    RunResult made = Cli({"key", "create"});
    ASSERT_THAT(made, Out(0, "signing key kept: " + prefix() + "/keys/signing.key"));
    EXPECT_THAT(made.out, HasSubstr("certificate for signed video exports: " + prefix() +
                                    "/keys/export-rsa.crt (RSA-3072, \"Quillon Backup"));
    EXPECT_EQ(ReadText(prefix() + "/keys/signing.key"), manifestKey);
    const auto key = integrity::LoadExportKey(prefix() + "/keys");
    ASSERT_TRUE(key);
    EXPECT_THAT(made.out, HasSubstr(integrity::CertificateFingerprint(key->certificateDer)));
    EXPECT_EQ(integrity::CertificateCommonName(key->certificateDer).rfind("Quillon Backup", 0), 0u);
    // With both keys there, nothing is replaced.
    EXPECT_NE(Cli({"key", "create"}).status, 0);
    const auto again = integrity::LoadExportKey(prefix() + "/keys");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->certificateDer, key->certificateDer);
}

// A disc whose file system names an MP4 file in a folder "..": its check fails, and the
// folder for temporary files (the one above the check's scratch folder) keeps what it held.
TEST_F(CliVerifyTest, ADiscThatNamesAVideoAboveItselfLeavesTheTemporaryFilesAlone) {
    const std::string iso = DiscOf("ZZ/evil.mp4");
    if (iso.empty())
        GTEST_SKIP() << "xorriso is not installed";
    // The folder's Rock Ridge name, two bytes in the file system's records, becomes "..".
    std::string bytes = ReadText(iso);
    const std::string name("NM\x07\x01\x00ZZ", 7);
    const std::size_t at = bytes.find(name);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + 5, 2, "..");
    WriteText(iso, bytes);
    MapPseudoDrive(prefix(), 'D', iso, "dvd+rw");

    const std::string temp = prefix() + "/tmp/mine";
    fs::create_directories(temp);
    WriteText(temp + "/keep.txt", "someone else's");
    EXPECT_THAT(WithTemp(temp, {"--disc", "D"}), Out(1, "video ../evil.mp4: FAILS: "));
    EXPECT_EQ(ReadText(temp + "/keep.txt"), "someone else's");
    EXPECT_EQ(Names(temp), std::set<std::string>{"keep.txt"});  // and no scratch folder of it
}

// The copies a verify of a disc makes of its MP4 files: what a killed verify left in the folder
// for temporary files goes with the next one, and the copy of a verify still running stays.
TEST_F(CliVerifyTest, ADiscsVideoCopiesOfAKilledVerifyGoAndThoseOfARunningOneStay) {
    const std::string iso = DiscOf("entry/Video/cam01.mp4");
    if (iso.empty())
        GTEST_SKIP() << "xorriso is not installed";
    MapPseudoDrive(prefix(), 'D', iso, "dvd+rw");
    const std::string temp = prefix() + "/tmp";
    WriteText(temp + "/quillon-verify-Killed/entry/Video/cam01.mp4", "half a copy");
    WriteText(temp + "/quillon-verify-Runnin/entry/Video/cam01.mp4", "a copy being checked");
    const platform::NamedLock::Attempt running =
        platform::NamedLock::AcquireFolder(temp + "/quillon-verify-Runnin", false);
    ASSERT_TRUE(running.lock);
    const RunResult r = WithTemp(temp, {"--disc", "D"});
    EXPECT_EQ(r.status, 1);  // no manifest, and a file that is no video
    EXPECT_THAT(r.out, HasSubstr("video entry/Video/cam01.mp4: FAILS: "));
    EXPECT_EQ(Names(temp), std::set<std::string>{"quillon-verify-Runnin"});
    EXPECT_EQ(ReadText(temp + "/quillon-verify-Runnin/entry/Video/cam01.mp4"),
              "a copy being checked");
}
