// quillon-cli encrypt and decrypt as an operator sends an image away and its receiver opens it:
// with the age tool, tar and sha256sum alone, or with decrypt, which puts nothing in place
// unless the whole file authenticated; the README beside it, which names nothing of the case and
// describes each image of the medium, the viewer copied beside them, and the custody line that
// names the archive.
#include <sys/stat.h>

#include "CliDay.h"
#include "PseudoDrives.h"
#include "ScopedEnv.h"
#include "platform/NamedLock.h"

class CliEncryptTest : public UsbCliFixture {
  protected:
    void SetUp() override {
        UsbCliFixture::SetUp();
        if (std::system("age --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "QUILLON-SKIP: the age package is not installed (scripts/setup)";
        UseBuiltData();
        RecordSmallDay(603);
        ASSERT_THAT(Cli({"case", "--case", "CASE-4711", "--operator", "Ann Other"}), Ok());
        ASSERT_THAT(Add("1000", "1002", "all", {"--memo", "Smith robbery"}), Ok());
        ASSERT_THAT(Backup("E:\\Img"), Ok());
        image = usb + "/Img";
        sent = prefix() + "/sent";
        key = prefix() + "/receiver.key";
        RunResult made = Cli({"encrypt", "--new-identity", key});
        ASSERT_THAT(made, Ok());
        recipient = made.out.substr(0, made.out.find('\n'));
    }
    RunResult Encrypt(const std::vector<std::string>& how, const std::string& folder = "E:\\Img") {
        std::vector<std::string> args{"encrypt", folder, "--out", sent};
        args.insert(args.end(), how.begin(), how.end());
        return Cli(args);
    }
    RunResult Decrypt(const std::string& file, const std::string& into,
                      const std::vector<std::string>& how) {
        std::vector<std::string> args{"decrypt", "--out", into, "--no-progress"};
        if (!file.empty())
            args.insert(args.begin() + 1, file);
        args.insert(args.end(), how.begin(), how.end());
        return Cli(args);
    }
    // The first line a shell command prints.
    static std::string FirstLine(const std::string& command) {
        std::string out;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buf[512];
            while (std::fgets(buf, sizeof buf, p))
                out += buf;
            ::pclose(p);
        }
        return out.substr(0, out.find('\n'));
    }
    std::string image, sent, key, recipient;
};

TEST_F(CliEncryptTest, TheReceiverOpensItWithAgeAndTarAndChecksItWithSha256sum) {
    EXPECT_EQ(recipient.rfind("age1", 0), 0u) << recipient;
    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(FirstLine("age-keygen -y '" + key + "'"), recipient);
    EXPECT_THAT(Cli({"encrypt", "--new-identity", key}), Err(1, "is never replaced"));

    // The archive holds the image as it was: its custody log takes the encryption after it.
    const auto sealed = EntriesBelow(image);
    ASSERT_THAT(Encrypt({"--to", recipient}), Out(0, sent + "/Img.tar.age"));
    EXPECT_EQ(Names(sent), (std::set<std::string>{"Img.tar.age", "README.txt", "BackupViewer"}));
    const std::string readme = ReadText(sent + "/README.txt");
    EXPECT_THAT(readme,
                HasSubstr("Img.tar.age: " + std::to_string(fs::file_size(sent + "/Img.tar.age")) +
                          " bytes."));
    EXPECT_THAT(readme, HasSubstr(recipient));
    EXPECT_THAT(readme, HasSubstr("age -d -i KEY Img.tar.age | tar -x"));
    EXPECT_THAT(readme, HasSubstr("sha256sum -c SHA256SUMS"));
    for (const char* secret : {"CASE-4711", "Ann Other", "Smith", "Camera", "20100523"})
        EXPECT_THAT(readme, Not(HasSubstr(secret))) << secret;
    // The receiver's own tools.
    const std::string opened = prefix() + "/opened";
    fs::create_directories(opened);
    ASSERT_EQ(
        Shell("cd '" + opened + "' && age -d -i '" + key + "' '" + sent + "/Img.tar.age' | tar -x"),
        0);
    EXPECT_TRUE(EntriesBelow(opened + "/Img") == sealed);
    EXPECT_EQ(Sha256sumCheck(opened + "/Img"), 0);
    EXPECT_THAT(Cli({"verify", "--no-progress", opened + "/Img"}), Out(0, "VERIFIED"));
    // And decrypt, byte for byte, checked at once.
    const RunResult back = Decrypt(sent + "/Img.tar.age", prefix() + "/back", {"--identity", key});
    EXPECT_THAT(back, Out(0, "VERIFIED"));
    EXPECT_TRUE(EntriesBelow(prefix() + "/back/Img") == sealed);
    EXPECT_EQ(Names(prefix() + "/back"), (std::set<std::string>{"Img"}));
    // A second time into the same folder replaces nothing.
    EXPECT_THAT(Decrypt(sent + "/Img.tar.age", prefix() + "/back", {"--identity", key}),
                Err(1, "exists: nothing replaced"));
    EXPECT_EQ(Names(prefix() + "/back"), (std::set<std::string>{"Img"}));
    EXPECT_THAT(Encrypt({"--to", recipient}), Err(1, "exists: nothing replaced"));
}

TEST_F(CliEncryptTest, AChangedByteLeavesNothingButWhereItFailed) {
    ASSERT_THAT(Encrypt({"--to", recipient}), Ok());
    std::string bytes = ReadText(sent + "/Img.tar.age");
    // Past the first chunk: the first one's files are extracted before the change is met.
    ASSERT_GT(bytes.size(), 3u * 65552);
    const std::size_t payload = bytes.find('\n', bytes.find("\n--- ") + 1) + 1 + 16;
    bytes[payload + 2 * 65552 + 100] ^= 0x20;
    WriteText(prefix() + "/changed.tar.age", bytes);
    const std::string into = prefix() + "/into";
    EXPECT_THAT(Decrypt(prefix() + "/changed.tar.age", into, {"--identity", key}),
                Err(1, "fails authentication at chunk 2 (file bytes from " +
                           std::to_string(payload + 2 * 65552) + ")"));
    EXPECT_TRUE(Names(into).empty()) << *Names(into).begin();
    // Cut short at a chunk's end: the same, nothing kept.
    WriteText(prefix() + "/short.tar.age",
              ReadText(sent + "/Img.tar.age").substr(0, payload + 65552));
    EXPECT_THAT(Decrypt(prefix() + "/short.tar.age", into, {"--identity", key}),
                Err(1, "nothing extracted"));
    EXPECT_TRUE(Names(into).empty());
    // Not for this key.
    const std::string other = prefix() + "/other.key";
    ASSERT_THAT(Cli({"encrypt", "--new-identity", other}), Ok());
    EXPECT_THAT(Decrypt(sent + "/Img.tar.age", into, {"--identity", other}),
                Err(1, "no identity matches a recipient of " + sent + "/Img.tar.age"));
    EXPECT_TRUE(Names(into).empty());
}

TEST_F(CliEncryptTest, APassphraseOpensWhatItSealedAndNothingElseDoes) {
    ScopedEnv cheap("QUILLON_SCRYPT_LOG2N", "10");
    const std::string pass = Secret("pass.txt", "open sesame\nnot this line\n", 0600);
    const auto sealed = EntriesBelow(image);
    ASSERT_THAT(Encrypt({"--passphrase-file", pass}), Out(0, "opened by the passphrase"));
    const std::string readme = ReadText(sent + "/README.txt");
    EXPECT_THAT(readme, HasSubstr("age -d Img.tar.age | tar -x"));
    EXPECT_THAT(readme, HasSubstr("a passphrase"));
    const std::string opened = prefix() + "/opened";
    fs::create_directories(opened);
    // age reads a passphrase from its terminal only: script(1) gives it one, fed by a pipe.
    ASSERT_EQ(Shell("cd '" + opened +
                    "' && printf 'open sesame\\n' | script -qec \"age -d -o "
                    "img.tar '" +
                    sent + "/Img.tar.age'\" /dev/null >/dev/null && tar -xf img.tar"),
              0);
    EXPECT_EQ(Sha256sumCheck(opened + "/Img"), 0);
    EXPECT_THAT(Decrypt(sent + "/Img.tar.age", prefix() + "/back", {"--passphrase-file", pass}),
                Out(0, "VERIFIED"));
    EXPECT_TRUE(EntriesBelow(prefix() + "/back/Img") == sealed);
    const std::string wrong = Secret("wrong.txt", "open sesame!\n", 0600);
    EXPECT_THAT(Decrypt(sent + "/Img.tar.age", prefix() + "/w", {"--passphrase-file", wrong}),
                Err(1, "the passphrase does not open " + sent + "/Img.tar.age"));
    // A passphrase others can read is no secret.
    const std::string open = Secret("open.txt", "open sesame\n", 0644);
    EXPECT_THAT(Decrypt(sent + "/Img.tar.age", prefix() + "/w", {"--passphrase-file", open}),
                Ends(1));
    ScopedEnv tooCheap("QUILLON_SCRYPT_LOG2N", "9");
    EXPECT_THAT(Encrypt({"--passphrase-file", pass}, image), Err(1, "QUILLON_SCRYPT_LOG2N"));
}

TEST_F(CliEncryptTest, AnImageThatFailsItsCheckOrHoldsALinkIsNotSent) {
    fs::copy(image, prefix() + "/Img", fs::copy_options::recursive);
    const std::string copy = prefix() + "/Img";
    WriteText(copy + "/added.txt", "not in the manifest");
    EXPECT_THAT(Encrypt({"--to", recipient}, copy), Err(1, "nothing encrypted"));
    EXPECT_FALSE(fs::exists(sent + "/Img.tar.age"));
    fs::remove(copy + "/added.txt");
    fs::create_symlink("/etc/passwd", copy + "/passwd");
    EXPECT_THAT(Encrypt({"--to", recipient, "--force"}, copy),
                Err(1, "Img/passwd is a link: an encrypted copy takes files and folders only"));
    EXPECT_TRUE(TempFilesBelow(sent).empty());
    EXPECT_FALSE(fs::exists(sent + "/Img.tar.age"));
    // Recipients from a file, comments and blank lines skipped; a bad line named.
    fs::remove(copy + "/passwd");
    WriteText(prefix() + "/to.txt", "# the receiver\n\n" + recipient + "\n");
    EXPECT_THAT(Encrypt({"--to-file", prefix() + "/to.txt"}, copy), Out(0, "for 1 recipient"));
    WriteText(prefix() + "/bad.txt", recipient + "\nage1nothing\n");
    EXPECT_THAT(Encrypt({"--to-file", prefix() + "/bad.txt"}, image), Err(1, "line 2"));
    EXPECT_THAT(Encrypt({"--to", "age1nothing"}, image), Err(1, "is no age recipient"));
    EXPECT_THAT(Encrypt({}), Ends(2));
}

TEST_F(CliEncryptTest, TheMediumCarriesTheProgramsViewerAndAReadmeOfEachImage) {
    ASSERT_THAT(Encrypt({"--to", recipient}), Ok());
    const std::string first = ReadText(sent + "/README.txt");
    const std::string own = first.substr(first.find("\n==== Img.tar.age ====\n"));
    // A viewer an earlier program left is replaced by this one's.
    WriteText(sent + "/BackupViewer/index.html", "an older viewer");
    const std::string second = prefix() + "/Second";
    fs::copy(image, second, fs::copy_options::recursive);
    ScopedEnv cheap("QUILLON_SCRYPT_LOG2N", "10");
    const std::string pass = Secret("pass.txt", "open sesame\n", 0600);
    ASSERT_THAT(Encrypt({"--passphrase-file", pass}, second), Out(0, "opened by the passphrase"));

    const std::string readme = ReadText(sent + "/README.txt");
    EXPECT_THAT(readme, HasSubstr(own));
    EXPECT_THAT(readme, HasSubstr("age -d Second.tar.age | tar -x"));
    EXPECT_THAT(readme, HasSubstr("open BackupViewer/index.html"));
    EXPECT_THAT(readme, Not(HasSubstr("open sesame")));
    std::set<std::string> listed;
    std::size_t count = 0;
    std::istringstream list(ReadText(base + "/GUIS/Viewer.lst"));
    for (std::string line; std::getline(list, line);) {
        if (line.rfind("count=", 0) == 0) count = std::stoul(line.substr(6));
        if (line.rfind("file", 0) == 0 && line.find('=') != std::string::npos)
            listed.insert(line.substr(line.find('=') + 1));
    }
    ASSERT_GT(count, 0u);
    ASSERT_EQ(listed.size(), count);
    EXPECT_EQ(Names(sent + "/BackupViewer"), listed);
    for (const std::string& name : listed)
        EXPECT_TRUE(ReadText(sent + "/BackupViewer/" + name) == ReadText(base + "/Other/" + name))
            << name;
    EXPECT_TRUE(TempFilesBelow(sent).empty());
    // The first archive is as it was.
    const std::string opened = prefix() + "/opened";
    fs::create_directories(opened);
    ASSERT_EQ(
        Shell("cd '" + opened + "' && age -d -i '" + key + "' '" + sent + "/Img.tar.age' | tar -x"),
        0);
    EXPECT_EQ(Sha256sumCheck(opened + "/Img"), 0);
}

TEST_F(CliEncryptTest, WhatCannotGoBesideTheArchiveStopsItBeforeItIsMade) {
    fs::create_directories(sent);
    WriteText(sent + "/README.txt", "the operator's own notes\n");
    EXPECT_THAT(Encrypt({"--to", recipient}), Err(1, "left as it is"));
    EXPECT_EQ(ReadText(sent + "/README.txt"), "the operator's own notes\n");
    EXPECT_EQ(Names(sent), (std::set<std::string>{"README.txt"}));
    fs::remove(sent + "/README.txt");
    fs::remove(base + "/Other/qv-custody.js");
    EXPECT_THAT(Encrypt({"--to", recipient}),
                Err(1, "qv-custody.js is missing; nothing encrypted"));
    EXPECT_TRUE(Names(sent).empty());
}

TEST_F(CliEncryptTest, ASecondEncryptIntoAFolderAtWorkIsRefusedAndTakesNothing) {
    // Another encrypt at work in the folder holds it: its README and viewer are being written.
    fs::create_directories(sent);
    {
        const platform::NamedLock::Attempt other = platform::NamedLock::AcquireFolder(sent, false);
        ASSERT_TRUE(other.lock);
        EXPECT_THAT(Encrypt({"--to", recipient}),
                    Err(1, "the folder " + sent +
                               " is being written by another encrypt; nothing encrypted"));
        EXPECT_TRUE(Names(sent).empty());
    }
    ASSERT_THAT(Encrypt({"--to", recipient}), Ok());
    EXPECT_THAT(ReadText(sent + "/README.txt"), HasSubstr("\n==== Img.tar.age ====\n"));
}

TEST_F(CliEncryptTest, TheCustodyLogNamesTheArchiveItsDigestAndWhoOpensIt) {
    ASSERT_THAT(Cli({"key", "create"}), Ok());
    const std::string other = prefix() + "/other.key";
    RunResult made = Cli({"encrypt", "--new-identity", other});
    ASSERT_THAT(made, Ok());
    const std::string second = made.out.substr(0, made.out.find('\n'));
    ASSERT_THAT(Encrypt({"--to", recipient, "--to", second}), Ok());
    const std::string archive = sent + "/Img.tar.age";
    const std::string digest = FirstLine("sha256sum '" + archive + "'").substr(0, 64);
    const std::string note = "note: Img.tar.age into " + sent + ", " +
                             std::to_string(fs::file_size(archive)) + " bytes, SHA-256 " + digest +
                             ", for " + recipient + ", " + second + "  manifest";
    for (const std::string& log : {image, base})
        EXPECT_THAT(
            Cli({"custody", "show", log}),
            testing::AllOf(Out(0, note), Printed(testing::ContainsRegex("  encrypted  by "
                                                                        "[^ ]+  note: Img"))));
    EXPECT_THAT(Cli({"custody", "verify", image}), Out(0, "INTACT: "));
    // A passphrase is named as such, never itself.
    ScopedEnv cheap("QUILLON_SCRYPT_LOG2N", "10");
    const std::string pass = Secret("pass.txt", "open sesame\n", 0600);
    ASSERT_THAT(
        Cli({"encrypt", "E:\\Img", "--out", prefix() + "/again", "--passphrase-file", pass}), Ok());
    EXPECT_THAT(Cli({"custody", "show", image}),
                testing::AllOf(Ok(), Printed(testing::ContainsRegex(
                                         "  encrypted  by .* bytes, SHA-256 [0-9a-f]{64}, for "
                                         "a passphrase  manifest"))));
    EXPECT_THAT(ReadText(image + "/CUSTODY.jsonl"), Not(HasSubstr("open sesame")));
    EXPECT_THAT(Cli({"custody", "verify", image}), Out(0, "INTACT: "));
}

TEST_F(CliEncryptTest, DecryptTakesTheImageOffADiscAndAskForItsNameWhenTheDiscHoldsSeveral) {
    if (Shell("command -v xorriso >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xorriso, which makes the disc, is not installed";
    const auto sealed = EntriesBelow(image);
    ASSERT_THAT(Encrypt({"--to", recipient}), Ok());
    const std::string second = prefix() + "/Second";
    fs::copy(image, second, fs::copy_options::recursive);
    ASSERT_THAT(Encrypt({"--to", recipient}, second), Ok());
    const std::string iso = prefix() + "/D.iso";
    ASSERT_EQ(Shell("xorriso -as mkisofs -R -o '" + iso + "' '" + sent + "' >/dev/null 2>&1"), 0);
    MapPseudoDrive(prefix(), 'D', iso, "dvd+rw");
    const std::string back = prefix() + "/back";
    EXPECT_THAT(Decrypt("", back, {"--disc", "D:", "--identity", key}),
                Err(1,
                    "the disc in D: holds 2 encrypted images (Img.tar.age, Second.tar.age): "
                    "name the one to decrypt after --disc D:"));
    EXPECT_THAT(Decrypt("Third.tar.age", back, {"--disc", "D:", "--identity", key}),
                Err(1, "holds no Third.tar.age at its root"));
    EXPECT_TRUE(Names(back).empty());
    EXPECT_THAT(Decrypt("Img.tar.age", back, {"--disc", "D:", "--identity", key}),
                Out(0, "VERIFIED"));
    EXPECT_TRUE(EntriesBelow(back + "/Img") == sealed);
    // Nothing of the disc's file stays beside the image.
    EXPECT_EQ(Names(back), (std::set<std::string>{"Img"}));
    const std::string other = prefix() + "/other.key";
    ASSERT_THAT(Cli({"encrypt", "--new-identity", other}), Ok());
    EXPECT_THAT(Decrypt("Second.tar.age", back, {"--disc", "D:", "--identity", other}),
                Err(1, "no identity matches a recipient of Second.tar.age of the disc in D:"));
    EXPECT_EQ(Names(back), (std::set<std::string>{"Img"}));
}

TEST_F(CliEncryptTest, ADiscTakesTheWholeMediumAndDecryptReadsItBack) {
    if (Shell("command -v xorriso >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xorriso, which reads the disc, is not installed";
    const std::string staging = prefix() + "/tmp";
    fs::create_directories(staging);
    ScopedEnv tmp("TMPDIR", staging);
    const auto sealed = EntriesBelow(image);
    const std::string iso = prefix() + "/D.iso";
    MapPseudoDrive(prefix(), 'D', iso, "dvd+rw");
    MapPseudoDrive(prefix(), 'F', "", "dvd+rw");
    EXPECT_THAT(Cli({"encrypt", "E:\\Img", "--disc", "F:", "--to", recipient, "--no-progress"}),
                Err(1, "there is no disc in drive F:; the disc in F: holds no copy of the image"));
    EXPECT_THAT(Cli({"encrypt", "E:\\Img", "--disc", "Q:", "--to", recipient}),
                Err(1, "is not a disc drive"));
    EXPECT_THAT(ReadText(image + "/CUSTODY.jsonl"), Not(HasSubstr("encrypted")));
    ASSERT_THAT(Cli({"encrypt", "E:\\Img", "--disc", "D:", "--to", recipient, "--no-progress"}),
                Out(0, "the disc in D: written and read back"));
    EXPECT_TRUE(Names(staging).empty()) << *Names(staging).begin();
    ASSERT_TRUE(ExtractIso(iso, prefix() + "/read"));
    EXPECT_EQ(Names(prefix() + "/read"),
              (std::set<std::string>{"Img.tar.age", "README.txt", "BackupViewer"}));
    EXPECT_THAT(ReadText(prefix() + "/read/README.txt"), HasSubstr(recipient));
    const std::string opened = prefix() + "/opened";
    fs::create_directories(opened);
    ASSERT_EQ(Shell("cd '" + opened + "' && age -d -i '" + key + "' '" + prefix() +
                    "/read/Img.tar.age' | tar -x"),
              0);
    EXPECT_EQ(Sha256sumCheck(opened + "/Img"), 0);
    const std::string digest =
        FirstLine("sha256sum '" + prefix() + "/read/Img.tar.age'").substr(0, 64);
    EXPECT_THAT(Cli({"custody", "show", image}),
                Out(0, "note: Img.tar.age into the disc in D:, " +
                           std::to_string(fs::file_size(prefix() + "/read/Img.tar.age")) +
                           " bytes, SHA-256 " + digest + ", for " + recipient));
    // The only image on the disc needs no name.
    EXPECT_THAT(Decrypt("", prefix() + "/back", {"--disc", "D:", "--identity", key}),
                Out(0, "VERIFIED"));
    EXPECT_TRUE(EntriesBelow(prefix() + "/back/Img") == sealed);
}
