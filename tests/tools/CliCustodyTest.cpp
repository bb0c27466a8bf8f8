// quillon-cli custody: a backup starts the image's chain of custody, verify adds to it, an image
// is handed over and received with the receiver's own key, and the chain checks, in the image
// and in the base folder, until a line of it is changed.
#include "CliDay.h"
#include "PseudoDrives.h"
#include "ScopedEnv.h"
#include "integrity/CustodyLog.h"
#include "integrity/Signing.h"

class CliCustodyTest : public UsbCliFixture {};

TEST_F(CliCustodyTest, CustodyFollowsAnImageFromItsBackupToItsReceiver) {
    UseBuiltData();
    RecordSmallDay(603);
    const ScopedEnv actor("QUILLON_OPERATOR", "Jo Operator");
    ASSERT_THAT(Cli({"key", "create"}), Ok());
    ASSERT_THAT(Add("1000", "1002"), Ok());
    ASSERT_THAT(Backup("E:\\Case"), Out(0, "The backup has been completed."));
    const std::string image = usb + "/Case", copy = image + "/CUSTODY.jsonl";
    const std::string baseLog = base + "/CUSTODY.jsonl";
    // The image's log is not one of its listed files, and takes nothing from the check.
    EXPECT_THAT(Cli({"verify", "--no-progress", "E:\\Case"}), Out(0, "VERIFIED: all "));
    EXPECT_EQ(Sha256sumCheck(image), 0);

    EXPECT_THAT(
        Cli({"custody", "show", "E:\\Case"}),
        AllOf(Out(0, "   1  "), Printed(HasSubstr("Z  backed up  by Jo Operator  manifest ")),
              Printed(HasSubstr("   2  ")), Printed(HasSubstr("signature  by Jo Operator")),
              Printed(HasSubstr("   3  ")), Printed(HasSubstr("verified  by Jo Operator"))));

    const std::string receiverKey = prefix() + "/receiver";
    ASSERT_TRUE(integrity::CreateSigningKey(receiverKey));
    EXPECT_THAT(Cli({"custody", "handover", "E:\\Case", "--to", "Det. Sam Ode", "--org",
                     "County Police", "--reason", "case 12, exhibit 3"}),
                Out(0, "handed over to Det. Sam Ode (County Police)"));
    EXPECT_THAT(
        Cli({"custody", "receive", image, "--by", "Sam Ode", "--key",
             integrity::PrivateKeyPath(receiverKey)}),
        Out(0, "received by Sam Ode: signed with " +
                   integrity::Fingerprint(ReadText(integrity::PublicKeyPath(receiverKey)))));
    EXPECT_THAT(Cli({"custody", "show", image}),
                AllOf(Out(0,
                          "handed over  by Jo Operator  to Det. Sam Ode (County Police)  "
                          "reason: case 12, exhibit 3"),
                      Printed(HasSubstr("received  by Sam Ode"))));
    const RunResult intact = Cli({"custody", "verify", image});
    EXPECT_THAT(intact, AllOf(Out(0, "INTACT: 8 lines, all signed"),
                              Printed(HasSubstr("line 8: good signature over lines 1-7 by " +
                                                integrity::Fingerprint(ReadText(
                                                    integrity::PublicKeyPath(receiverKey)))))));
    // The base folder's log holds the entry scheduled, the backup, the verify and the hand-over,
    // not the receipt.
    EXPECT_THAT(Cli({"custody", "verify", baseLog}), Out(0, "INTACT: 8 lines, all signed"));
    EXPECT_THAT(Cli({"custody", "show", base}),
                AllOf(Out(0, "scheduled  by Jo Operator  note: entry 2010_05_23=10,00~10,02"),
                      Printed(Not(HasSubstr("received")))));

    // An image whose manifest is not the one its log last names.
    const std::string other = prefix() + "/other";
    std::filesystem::copy(image, other, std::filesystem::copy_options::recursive);
    WriteText(other + "/SHA256SUMS", ReadText(other + "/SHA256SUMS") + "# added\n");
    EXPECT_THAT(Cli({"custody", "verify", other}),
                Out(1, "BROKEN: line 7: it names another manifest than the image's SHA256SUMS"));

    // One byte changed in the hand-over's line: its chain and the signatures after it break,
    // and nothing more is added to it.
    std::string log = ReadText(copy);
    log[log.find("County")] = 'c';
    WriteText(copy, log);
    EXPECT_THAT(Cli({"custody", "verify", "E:\\Case"}),
                AllOf(Out(1, "BROKEN: line 6: its previous-line hash does not match line 5"),
                      Printed(HasSubstr("BROKEN: line 6: signature does not verify"))));
    EXPECT_THAT(Cli({"custody", "handover", image, "--to", "X", "--org", "Y", "--reason", "Z"}),
                Err(1, "nothing is added to it"));
    EXPECT_EQ(ReadText(copy), log);
}

TEST_F(CliCustodyTest, AnExportAndTheCopysDestructionAreNotedWhereTheImageAndItsBaseAre) {
    UseBuiltData();
    RecordSmallDay(603);
    const ScopedEnv actor("QUILLON_OPERATOR", "Jo Operator");
    ASSERT_THAT(Cli({"key", "create"}), Ok());
    ASSERT_THAT(Add("1000", "1002"), Ok());
    ASSERT_THAT(Backup("E:\\Case"), Ok());
    const std::string image = usb + "/Case";
#ifdef QUILLON_HAVE_VIDEO
    const RunResult exported = RunProgram(
        std::string(QUILLON_BIN_DIR) + "/quillon-cli-video",
        WithBase({"export", "E:\\Case", "--mp4", "--out", prefix() + "/mp4", "--no-progress"}),
        prefix());
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_THAT(Cli({"custody", "show", image}),
                Out(0, "exported  by Jo Operator  note: MP4 files into "));
#endif
    // A second image in the folder: destroying the folder destroys both, the earlier first.
    ASSERT_THAT(Add("1001", "1002"), Ok());
    ASSERT_THAT(Backup("E:\\Case"), Ok());
    EXPECT_THAT(Cli({"custody", "destroyed", image}), Err(2, "--reason WHY"));
    EXPECT_THAT(Cli({"custody", "destroyed", image, "--reason", "retention ended"}),
                Out(0, "noted as destroyed, 2 images (reason: retention ended)"));
    EXPECT_THAT(
        Cli({"custody", "show", base}),
        Out(0, "reason: retention ended  note: the earlier image of SHA256SUMS-1  manifest " +
                   integrity::ManifestHash(ReadText(image + "/SHA256SUMS-1")).substr(0, 16)));
    for (const std::string& log : {image, base})
        EXPECT_THAT(Cli({"custody", "show", log}),
                    Out(0, "destroyed  by Jo Operator  reason: retention ended  manifest "))
            << log;
    EXPECT_THAT(Cli({"custody", "verify", image}), Out(0, "INTACT: "));
    EXPECT_THAT(Cli({"custody", "verify", base + "/CUSTODY.jsonl"}), Out(0, "INTACT: "));

    // A base log that cannot take the entry's line keeps the entry, and says so.
    std::filesystem::remove(base + "/CUSTODY.jsonl");
    std::filesystem::create_directory(base + "/CUSTODY.jsonl");
    const RunResult added = Add("1001", "1002");
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_THAT(added.out + added.err, HasSubstr("the custody log was not written"));
    EXPECT_THAT(Cli({"list"}), Out(0, "10:01 ~ 10:02"));
}

#ifdef QUILLON_HAVE_VIDEO
// The receiver stamps each MP4 file of the copy with an RSA key of its own: the files then
// differ from what the manifest lists, and the check still vouches for them by what the report
// recorded their exporter's signatures sign; a file changed after the stamp fails.
TEST_F(CliCustodyTest, TheReceiversStampOnTheMp4FilesKeepsTheImageVerified) {
    UseBuiltData();
    RecordSmallDay(603);
    ASSERT_THAT(Cli({"key", "create"}), Ok());
    ASSERT_THAT(Add("1000", "1002"), Ok());
    ASSERT_THAT(Backup("E:\\Case", {"--mp4"}), Out(0, "The backup has been completed."));
    const std::string image = usb + "/Case";
    const RunResult parts =
        RunProgram("/usr/bin/python3",
                   {"-c",
                    "import json,sys; r=json.load(open(sys.argv[1])); "
                    "print(len(r['copies']['working']), len(r['copies']['signed_parts']))",
                    image + "/report.json"},
                   "");
    ASSERT_EQ(parts.status, 0) << parts.err;
    const int videos = std::atoi(parts.out.c_str());
    ASSERT_GT(videos, 0);
    EXPECT_EQ(parts.out, std::to_string(videos) + " " + std::to_string(videos) + "\n");

    const std::string receiver = prefix() + "/receiver";
    ASSERT_TRUE(integrity::CreateSigningKey(receiver));
    ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:3072 -nodes -days 30 -subj '/CN=County Police' "
                    "-keyout '" +
                    prefix() + "/police.key' -out '" + prefix() + "/police.crt' 2>/dev/null"),
              0);
    const std::vector<std::string> receive = {"custody",
                                              "receive",
                                              image,
                                              "--by",
                                              "Sam Ode",
                                              "--key",
                                              integrity::PrivateKeyPath(receiver),
                                              "--stamp-key",
                                              prefix() + "/police.key",
                                              "--stamp-cert",
                                              prefix() + "/police.crt"};
    const std::string stamped = "stamped " + std::to_string(videos) + " of the " +
                                std::to_string(videos) + " MP4 file" + (videos == 1 ? "" : "s") +
                                " with \"County Police\"";
    EXPECT_THAT(Cli(receive), Out(0, stamped));
    EXPECT_NE(Sha256sumCheck(image), 0);  // the stamp changed the files' bytes
    // Players read a stamped file as before.
    for (const auto& f : std::filesystem::recursive_directory_iterator(image)) {
        if (f.path().extension() != ".mp4")
            continue;
        EXPECT_EQ(Shell("ffprobe -v error -show_entries format=duration '" + f.path().string() +
                        "' > /dev/null"),
                  0)
            << f.path();
    }
    EXPECT_THAT(Cli({"verify", "--no-progress", image}),
                AllOf(Out(0, "VERIFIED: all "), Printed(HasSubstr("with a receiving stamp")),
                      Printed(HasSubstr("STAMPED          ")),
                      Printed(HasSubstr("receiving stamp by \"County Police\" (SHA256:"))));
    EXPECT_THAT(Cli({"custody", "show", image}), Out(0, "received  by Sam Ode  note: stamped " +
                                                            std::to_string(videos) + " of its "));
    EXPECT_THAT(Cli({"custody", "verify", image}), Out(0, "INTACT: "));
    // Received again by the same: the stamp is there already.
    EXPECT_THAT(Cli(receive), Out(0, stamped));
    // What goes on from the stamped copy needs no --force: sealed for the next holder as it is.
    const std::string pass = prefix() + "/pass";
    WriteText(pass, "pass phrase\n");
    std::filesystem::permissions(
        pass, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const ScopedEnv cheap("QUILLON_SCRYPT_LOG2N", "10");
    EXPECT_EQ(
        Cli({"encrypt", image, "--out", prefix() + "/sealed", "--passphrase-file", pass}).status,
        0);

    // A stamped file changed after: its stamp no longer holds, and the image fails.
    std::string video;
    for (const auto& f : std::filesystem::recursive_directory_iterator(image))
        if (f.path().extension() == ".mp4")
            video = f.path().string();
    std::string bytes = ReadText(video);
    bytes[bytes.size() / 2] ^= 1;
    WriteText(video, bytes);
    EXPECT_THAT(Cli({"verify", "--no-progress", image}),
                AllOf(Out(1, "CHANGED          "), Printed(HasSubstr("FAILED: 1 file changed"))));
}
#endif
