// The custody log: its chain and signatures hold an intact log, a line removed, moved, changed
// or cut off is named by its number, a receiver checks a signature with openssl alone, and
// appends that meet lose no line.
#include <gmock/gmock.h>

#include <thread>

#include "PseudoDrives.h"
#include "TestEnv.h"
#include "integrity/CustodyLog.h"
#include "integrity/Manifest.h"
#include "integrity/Signing.h"

using namespace integrity;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

// The log cut into its lines, each with its line end, and put together again.
std::vector<std::string> Split(const std::string& log) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t next = log.find('\n', at) + 1;
        lines.push_back(log.substr(at, next - at));
        at = next;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string log;
    for (const auto& l : lines)
        log += l;
    return log;
}

}  // namespace

class CustodyLogTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        EXPECT_TRUE(CreateSigningKey(prefix() + "/machine"));
        EXPECT_TRUE(CreateSigningKey(prefix() + "/receiver"));
        machineKey = ReadText(PrivateKeyPath(prefix() + "/machine"));
        receiverKey = ReadText(PrivateKeyPath(prefix() + "/receiver"));
    }
    std::string Append(const std::string& log, const std::vector<CustodyRecord>& records,
                       const std::string& key) {
        const platform::Expected<std::string> out =
            AppendCustody(log, records, key, "2026-12-09T21:55:22Z");
        EXPECT_TRUE(out) << (out ? "" : out.error().text);
        return out ? *out : log;
    }
    // Nine lines: backed up, verified, a signature; handed over, a signature; received and
    // the receiver's signature; verified, a signature.
    std::string Log() {
        std::string log =
            Append({},
                   {{.event = CustodyEvent::kBackedUp, .actor = "jo", .manifest = hash},
                    {.event = CustodyEvent::kVerified, .actor = "jo", .manifest = hash}},
                   machineKey);
        log = Append(log,
                     {{.event = CustodyEvent::kHandedOver,
                       .actor = "jo",
                       .manifest = hash,
                       .recipient = "Det. \"Sam\" Ode",
                       .organisation = "County Police",
                       .reason = "case 12\nexhibit 3"}},
                     machineKey);
        log = Append(log, {{.event = CustodyEvent::kReceived, .actor = "Sam", .manifest = hash}},
                     receiverKey);
        return log;
    }
    std::vector<std::string> Problems(const std::string& log) {
        return CheckCustodyLog(log).problems;
    }

    const std::string hash = ManifestHash("abc  x.dat\n");
    std::string machineKey, receiverKey;
};

// Each line chains to the one before (the first to 64 zeros), counts itself, and the signature
// lines cover all before them, by the key each names; what a line holds reads back as written.
TEST_F(CustodyLogTest, AnIntactLogChecksWithEachSignersKeyAndReadsBack) {
    const std::string log = Log();
    const CustodyCheck check = CheckCustodyLog(log);
    EXPECT_TRUE(check.ok());
    EXPECT_THAT(check.problems, IsEmpty());
    EXPECT_EQ(check.lines, 7);
    const std::string machine = Fingerprint(PublicPemOf(machineKey));
    const std::string receiver = Fingerprint(PublicPemOf(receiverKey));
    EXPECT_THAT(check.signatures,
                ElementsAre("line 3: good signature over lines 1-2 by " + machine,
                            "line 5: good signature over lines 1-4 by " + machine,
                            "line 7: good signature over lines 1-6 by " + receiver));
    const std::vector<CustodyLine> lines = ReadCustodyLines(log);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].prev, std::string(64, '0'));
    EXPECT_EQ(lines[1].prev, ManifestHash(Split(log)[0]));
    EXPECT_EQ(lines[0].event, "backed up");
    EXPECT_EQ(lines[0].time, "2026-12-09T21:55:22Z");
    EXPECT_EQ(lines[3].event, "handed over");
    EXPECT_EQ(lines[3].recipient, "Det. \"Sam\" Ode");
    EXPECT_EQ(lines[3].organisation, "County Police");
    EXPECT_EQ(lines[3].reason, "case 12\nexhibit 3");
    EXPECT_EQ(lines[3].manifest, hash);
    EXPECT_EQ(lines[5].actor, "Sam");
    EXPECT_EQ(lines[6].event, "signature");
    EXPECT_EQ(lines[6].covers, 6);
    // The reason's line break stays inside its line.
    EXPECT_EQ(Split(log).size(), 7u);
}

// A line removed, two swapped, one byte changed, the last line or its last bytes cut, lines
// appended unsigned: each is named by its line and how it broke.
TEST_F(CustodyLogTest, EachDamageIsNamedByItsLine) {
    const std::vector<std::string> lines = Split(Log());

    std::vector<std::string> removed = lines;
    removed.erase(removed.begin() + 1);
    EXPECT_THAT(
        Problems(Join(removed)),
        ElementsAre("line 2: its previous-line hash does not match line 1",
                    "line 2: it calls itself line 3, after line 1: lines were removed, added or "
                    "moved",
                    // Every signature after it covers one line more than it finds.
                    "line 2: the signature says it covers 2 lines, not the 1 line before it",
                    "line 4: the signature says it covers 4 lines, not the 3 lines before it",
                    "line 6: the signature says it covers 6 lines, not the 5 lines before it"));

    std::vector<std::string> swapped = lines;
    std::swap(swapped[3], swapped[4]);
    EXPECT_THAT(
        Problems(Join(swapped)),
        ElementsAre("line 4: its previous-line hash does not match line 3",
                    "line 4: it calls itself line 5, after line 3: lines were removed, added or "
                    "moved",
                    "line 4: the signature says it covers 4 lines, not the 3 lines before it",
                    "line 5: its previous-line hash does not match line 4",
                    "line 5: it calls itself line 4, after line 5: lines were removed, added or "
                    "moved",
                    "line 6: its previous-line hash does not match line 5",
                    "line 6: it calls itself line 6, after line 4: lines were removed, added or "
                    "moved",
                    "line 7: signature does not verify: lines 1-6 are not what it signed"));

    std::vector<std::string> changed = lines;
    changed[3][changed[3].find("County")] = 'c';
    EXPECT_THAT(Problems(Join(changed)),
                ElementsAre("line 5: its previous-line hash does not match line 4",
                            "line 5: signature does not verify: lines 1-4 are not what it signed",
                            "line 7: signature does not verify: lines 1-6 are not what it signed"));

    const std::string whole = Join(lines);
    const CustodyCheck cutInside = CheckCustodyLog(whole.substr(0, whole.size() - 10));
    EXPECT_THAT(cutInside.problems, ElementsAre("line 7: it is cut off (it has no line end): the "
                                                "log's last bytes are missing"));
    EXPECT_FALSE(cutInside.ok());

    std::vector<std::string> cut = lines;
    cut.pop_back();
    const CustodyCheck tail = CheckCustodyLog(Join(cut));
    EXPECT_THAT(tail.problems, IsEmpty());
    EXPECT_EQ(tail.unsignedTail,
              "the log ends after line 6, but the last signature (line 5) covers only lines "
              "1-4: line 6 is not signed");
    EXPECT_FALSE(tail.ok());

    const std::string unsignedLog =
        Append({}, {{.event = CustodyEvent::kBackedUp, .actor = "jo"}}, "");
    EXPECT_EQ(CheckCustodyLog(unsignedLog).unsignedTail,
              "the log has no signature: line 1 is not signed");
    EXPECT_FALSE(CheckCustodyLog("").ok());

    std::vector<std::string> garbled = lines;
    garbled[0] = "not json\n";
    EXPECT_THAT(Problems(Join(garbled)),
                ElementsAre("line 1: it is not a JSON object",
                            "line 2: its previous-line hash does not match line 1",
                            "line 3: signature does not verify: lines 1-2 are not what it signed",
                            "line 5: signature does not verify: lines 1-4 are not what it signed",
                            "line 7: signature does not verify: lines 1-6 are not what it signed"));
}

// Whoever receives the log checks a signature without our software: the lines it covers are the
// log's first lines as they are, the key the PEM body the line holds, the signature base64.
TEST_F(CustodyLogTest, ASignatureChecksWithOpenssl) {
    const std::string log = prefix() + "/CUSTODY.jsonl";
    WriteText(log, Log());
    const std::string dir = prefix();
    const std::string field = [](const char* name) {
        return std::string("sed -n 5p CUSTODY.jsonl | sed 's/.*\"") + name +
               "\":\"\\([^\"]*\\)\".*/\\1/'";
    }("key");
    const std::string sig =
        std::string("sed -n 5p CUSTODY.jsonl | sed 's/.*\"signature\":\"\\([^\"]*\\)\".*/\\1/'");
    const std::string steps =
        "cd '" + dir + "' && head -n 4 CUSTODY.jsonl > signed && " +
        "{ echo '-----BEGIN PUBLIC KEY-----'; " + field +
        "; echo '-----END PUBLIC KEY-----'; } > key.pem && " + sig +
        " | openssl base64 -d -A > sig && "
        "openssl pkeyutl -verify -pubin -inkey key.pem -rawin -in signed -sigfile sig >/dev/null";
    EXPECT_EQ(Shell(steps), 0);
    // One line more than it covers does not check.
    EXPECT_NE(Shell("cd '" + dir +
                    "' && head -n 5 CUSTODY.jsonl > signed && openssl pkeyutl -verify -pubin "
                    "-inkey key.pem -rawin -in signed -sigfile sig >/dev/null 2>&1"),
              0);
    // The chain by hand: line 2 names the SHA-256 of line 1 with its line end.
    EXPECT_EQ(Shell("cd '" + dir +
                    "' && h=$(head -n 1 CUSTODY.jsonl | sha256sum | cut -c1-64) && sed -n 2p "
                    "CUSTODY.jsonl | grep -q \"\\\"prev\\\":\\\"$h\\\"\""),
              0);
}

// A log that ends inside a line is left as it is; a new log starts at line 1; appends to one file
// from two threads at once lose nothing; the image's log is one of the manifest's own files.
TEST_F(CustodyLogTest, AppendsKeepEveryLineAndRefuseACutLog) {
    const std::string path = prefix() + "/CUSTODY.jsonl";
    const CustodyRecord record{.event = CustodyEvent::kVerified, .actor = "jo", .manifest = hash};
    const auto appendMany = [&] {
        for (int i = 0; i < 20; ++i)
            EXPECT_TRUE(AppendCustodyFile(path, {record}, ""));
    };
    std::thread other(appendMany);
    appendMany();
    other.join();
    ASSERT_TRUE(AppendCustodyFile(path, {record}, machineKey));
    const CustodyCheck check = CheckCustodyLog(ReadText(path));
    EXPECT_EQ(check.lines, 42);
    EXPECT_TRUE(check.ok()) << testing::PrintToString(check.problems) << check.unsignedTail;

    const std::string cut = ReadText(path).substr(0, ReadText(path).size() - 3);
    WriteText(path, cut);
    const platform::Outcome refused = AppendCustodyFile(path, {record}, machineKey);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, platform::Error::Kind::kDamaged);
    EXPECT_EQ(ReadText(path), cut);

    // A text that is no UTF-8 would make the line no JSON: refused, and the log is as it was.
    WriteText(path, "");
    CustodyRecord broken = record;
    broken.reason = "seized \xff";
    const platform::Outcome notText = AppendCustodyFile(path, {record, broken}, machineKey);
    ASSERT_FALSE(notText);
    EXPECT_EQ(notText.error().kind, platform::Error::Kind::kRefused);
    EXPECT_NE(notText.error().text.find("reason"), std::string::npos);
    EXPECT_EQ(ReadText(path), "");
    broken.reason = "seized \xc3\xa9";
    EXPECT_TRUE(AppendCustodyFile(path, {broken}, machineKey));

    EXPECT_TRUE(IsManifestFile(kCustodyLogName));
    EXPECT_FALSE(IsManifestFile(std::string("x/") + kCustodyLogName));
}
