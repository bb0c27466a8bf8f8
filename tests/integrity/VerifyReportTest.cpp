// What a check of an image finds and the words its report says it in: each kind of change, a
// manifest that vouches for nothing, a signature that is not the trusted key's, and older
// manifests kept beside the current one that count only while signed as it is.
#include <filesystem>

#include "TestEnv.h"
#include "integrity/Manifest.h"
#include "integrity/Sha256.h"
#include "integrity/Signing.h"
#include "integrity/Verify.h"
#include "share/Has.h"

namespace fs = std::filesystem;
using namespace integrity;

class VerifyReportTest : public TempPrefixTest {
  protected:
    // Three files under a manifest that lists them, unsigned.
    void Fresh() {
        root = prefix() + "/image";
        fs::remove_all(root);
        for (const std::string& file : kFiles)
            Put(file, "bytes of " + file);
        List("SHA256SUMS", kFiles);
    }
    void Put(const std::string& path, const std::string& bytes) const {
        WriteText(root + "/" + path, bytes);
    }
    // The manifest name of paths as they are now, signed by the private key when given.
    void List(const std::string& name, const std::vector<std::string>& paths,
              const std::string& key = "") const {
        std::map<std::string, FileDigest> files;
        for (const std::string& p : paths) {
            const std::string bytes = ReadText(root + "/" + p);
            files[p] = {Sha256Hex(bytes.data(), bytes.size()),
                        static_cast<long long>(bytes.size())};
        }
        const std::string text = FormatManifest(files, {});
        Put(name, text);
        if (!key.empty()) {
            Put(name + ".sig", *Sign(key, text));
            Put(name + ".pub", PublicPemOf(key));
        }
    }
    // The report's lines, each after a line break.
    std::string Check(const std::string& trustedPem = "") {
        VerifyOptions options;
        options.trustedKeyPem = trustedPem;
        report = VerifyImage(*OpenFolderImage(root), options);
        std::string all;
        for (const std::string& line : report.Lines())
            all += "\n" + line;
        return all;
    }
    std::string NewKey(const std::string& folder) const {
        EXPECT_TRUE(CreateSigningKey(folder));
        return ReadText(PrivateKeyPath(folder));
    }
    const std::vector<std::string> kFiles{"e/d/1.dat", "e/d/1.idx", "e/d/2.dat"};
    std::string root;
    VerifyReport report;
};

TEST_F(VerifyReportTest, EachKindOfChangeIsNamedAndFailsTheCheck) {
    Fresh();
    EXPECT_HAS(Check(), "\nVERIFIED: all 3 files match SHA256SUMS, not signed");
    EXPECT_TRUE(report.ok());
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { Put("e/d/1.dat", "bytes of e/d/1.dax"); }, "\nCHANGED          e/d/1.dat"},
        {[&] { fs::remove(root + "/e/d/1.idx"); }, "\nMISSING          e/d/1.idx"},
        {[&] { Put("e/d/9.dat", "planted"); }, "\nNOT IN MANIFEST  e/d/9.dat"},
        {[&] {
             Put("SHA256SUMS",
                 ReadText(root + "/SHA256SUMS") + std::string(64, '0') + "  e/d/1.dat\n");
         },
         "e/d/1.dat a second time"},
        {[&] { fs::remove(root + "/SHA256SUMS"); }, "\nNOT VERIFIED: there is no SHA256SUMS"},
        {[&] { Put("SHA256SUMS", ""); }, "\nNOT VERIFIED: SHA256SUMS lists no file"},
    };
    for (const auto& [change, finding] : cases) {
        Fresh();
        change();
        const std::string lines = Check();
        EXPECT_HAS(lines, finding);
        EXPECT_FALSE(report.ok()) << lines;
        if (finding.find("  e/d/") != std::string::npos) {  // a file's finding
            EXPECT_HAS(lines, "\nFAILED: 1 file");
        }
    }
}

TEST_F(VerifyReportTest, OnlyTheTrustedKeysSignatureOverTheManifestsAsTheyAreHolds) {
    const std::string key = NewKey(prefix() + "/keys"), forger = NewKey(prefix() + "/forger");
    const std::string trusted = PublicPemOf(key), print = Fingerprint(trusted);
    Fresh();
    List("SHA256SUMS", kFiles, key);
    EXPECT_HAS(Check(trusted), "\nsignature: good signature by the trusted key " + print);
    EXPECT_HAS(Check(trusted), ", signed by " + print + " (the trusted key)");
    EXPECT_HAS(Check(), "good signature by the key on the medium " + print);
    // A changed file under a manifest made again to match it: the signature no longer holds.
    const std::string sig = ReadText(root + "/SHA256SUMS.sig");
    Put("e/d/1.dat", "other pictures");
    List("SHA256SUMS", kFiles);
    Put("SHA256SUMS.sig", sig);
    EXPECT_HAS(Check(), "BAD signature");
    EXPECT_FALSE(report.ok());
    // Signed again by a key of the forger's own, put on the medium: only the trusted key tells.
    List("SHA256SUMS", kFiles, forger);
    EXPECT_LACKS(Check(), print);
    EXPECT_TRUE(report.ok());
    EXPECT_HAS(Check(trusted), "signed by another key than the trusted one");
    EXPECT_FALSE(report.ok());
    fs::remove(root + "/SHA256SUMS.sig");  // unsigned, while a trusted key is asked for
    Check(trusted);
    EXPECT_FALSE(report.ok());
    // Older manifests beside the current one count only while signed as it is: two images in one
    // folder, each signed, both count.
    Fresh();
    List("SHA256SUMS-1", {"e/d/1.dat", "e/d/1.idx"}, key);
    List("SHA256SUMS", {"e/d/2.dat"}, key);
    EXPECT_HAS(Check(trusted), "files match SHA256SUMS and SHA256SUMS-1, signed by");
    // A forged older manifest, unsigned, that lists a file planted beside the signed ones.
    Put("e/d/extra.dat", "planted");
    List("SHA256SUMS-2", {"e/d/extra.dat"});
    std::string lines = Check(trusted);
    EXPECT_HAS(lines, "\nNOT TRUSTED      SHA256SUMS-2 is not signed, while SHA256SUMS is");
    EXPECT_HAS(lines, "\nNOT IN MANIFEST  e/d/extra.dat");
    // Bytes hidden under the names of a manifest's signature and key, with no manifest of theirs.
    Fresh();
    List("SHA256SUMS", kFiles, key);
    Put("SHA256SUMS-7.pub", "planted");
    Put("SHA256SUMS-3.sig", "planted");
    lines = Check(trusted);
    EXPECT_HAS(lines, "\nNOT IN MANIFEST  SHA256SUMS-7.pub");
    EXPECT_HAS(lines, "\nNOT IN MANIFEST  SHA256SUMS-3.sig");
    // The signed manifest moved aside for an unsigned one that lists less.
    Fresh();
    List("SHA256SUMS-1", kFiles, key);
    Put("e/d/1.dat", "changed pictures");
    List("SHA256SUMS", {"e/d/2.dat"});
    EXPECT_HAS(Check(), "SHA256SUMS-1 is signed while SHA256SUMS is not");
    EXPECT_FALSE(report.ok());
}
