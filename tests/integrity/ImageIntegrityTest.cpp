// An image's files as a check reads them (what fails says of which file, and what kind of failure
// it is), the manifest's text as sha256sum reads it, the hashing of files as a pass writes them
// (only what was committed below the image root, by its last commit, never a file whose bytes
// went around the hashing), and the machine's signing keys: the manifest's Ed25519 key and the
// export's RSA-3072 key with a certificate naming the unit, each made once, private to its owner,
// never replaced, whose signatures hold only for the bytes (or digest) they were made over.
#include <openssl/sha.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "TestEnv.h"
#include "integrity/ExportSigning.h"
#include "integrity/ImageFiles.h"
#include "integrity/ImageHasher.h"
#include "integrity/Manifest.h"
#include "integrity/Sha256.h"
#include "integrity/Signing.h"
#include "integrity/Verify.h"
#include "platform/AtomicFile.h"
#include "platform/ChildExit.h"
#include "platform/OwnerOnly.h"
#include "share/Has.h"

namespace fs = std::filesystem;
using namespace integrity;
using Kind = platform::Error::Kind;

TEST(ManifestTest, ItsTextReadsBackWithOddNamesAndAPartialMark) {
    std::map<std::string, FileDigest> files = {
        {"b/with space.dat", {Sha256Hex("x", 1), 1}},
        {"a/back\\slash", {Sha256Hex("", 0), 0}},
        {"line\nbreak", {Sha256Hex("yy", 2), 2}},
    };
    const std::string whole = FormatManifest(files, {});
    EXPECT_LACKS(whole, '#');
    // sha256sum's own marks for names with a backslash or a line break.
    EXPECT_HAS(whole, "\\" + files["a/back\\slash"].hex + "  a/back\\\\slash\n");
    Manifest m;
    ASSERT_EQ(ParseManifest(whole, m), "");
    EXPECT_FALSE(m.partial);
    ASSERT_EQ(m.lines.size(), 3u);
    std::map<std::string, std::string> read;
    for (const auto& l : m.lines)
        read[l.path] = l.hex;
    for (const auto& [path, d] : files)
        EXPECT_EQ(read[path], d.hex) << path;

    const std::string partial =
        FormatManifest(files, {"the backup was stopped.", "not copied: x\ny"});
    EXPECT_EQ(partial.rfind(kPartialMarker, 0), 0u);
    ASSERT_EQ(ParseManifest(partial, m), "");
    EXPECT_TRUE(m.partial);
    EXPECT_EQ(m.comments.size(), 2u);
    EXPECT_EQ(m.comments[1], "not copied: x y");  // one line per comment, whatever it held
    EXPECT_EQ(m.lines.size(), 3u);

    EXPECT_NE(ParseManifest("zz  file\n", m), "");
    EXPECT_NE(ParseManifest(files["b/with space.dat"].hex + " nosecondspace\n", m), "");
}

TEST(ManifestTest, TheManifestsOwnFilesAreKnownByName) {
    for (const char* name :
         {"SHA256SUMS", "SHA256SUMS.sig", "SHA256SUMS.pub", "SHA256SUMS-3", "SHA256SUMS-12.sig"})
        EXPECT_TRUE(IsManifestFile(name)) << name;
    for (const char* name :
         {"x/SHA256SUMS", "SHA256SUMS-", "SHA256SUMS-1x", "SHA256SUMSX", "SHA256SUMS.txt"})
        EXPECT_FALSE(IsManifestFile(name)) << name;
    EXPECT_EQ(OlderManifestName("SHA256SUMS.sig", 2), "SHA256SUMS-2.sig");
    // Only an older image's manifest itself has a number.
    EXPECT_EQ(OlderManifestNumber("SHA256SUMS-12"), 12);
    for (const char* name : {"SHA256SUMS", "SHA256SUMS-12.sig", "SHA256SUMS-3.pub", "SHA256SUMS-",
                             "CUSTODY.jsonl", "x/SHA256SUMS-1"})
        EXPECT_EQ(OlderManifestNumber(name), 0) << name;
}

class ImageHasherTest : public TempPrefixTest {
  protected:
    bool Write(const std::string& path, const std::string& bytes) {
        platform::AtomicFile f;
        return f.Create(path) && f.Write(bytes.data(), bytes.size()) && f.Commit();
    }
    // The whole of from copied into a new file to and committed.
    void Copy(const std::string& from, const std::string& to, std::size_t length) {
        platform::File in;
        ASSERT_TRUE(in.Open(from, platform::File::kRead));
        platform::AtomicFile copy;
        ASSERT_TRUE(copy.Create(to));
        long long copied = 0;
        ASSERT_TRUE(copy.CopyFrom(in, &copied));
        ASSERT_EQ(copied, static_cast<long long>(length));
        ASSERT_TRUE(copy.Commit());
    }
    // The handles this process holds open.
    static std::size_t OpenHandles() {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    }
};

TEST_F(ImageHasherTest, CommittedFilesBelowTheRootAreHashedFromTheirBytesAsWritten) {
    const std::string root = driveC() + "/img";
    fs::create_directories(root + "/e/d");
    // Larger than the hasher's buffers, so that a file takes several of them.
    std::string big(9 * platform::WriteTap::kBufferBytes + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 1000);
    WriteText(driveC() + "/source.dat", big);
    ImageHasher hasher(root);
    {
        platform::ScopedWriteTap tap(&hasher);
        ASSERT_NO_FATAL_FAILURE(Copy("C:\\source.dat", "C:\\img\\e\\d\\copy.dat", big.size()));
        // Gone or replaced at once, perhaps before it was hashed: the hash is still of the
        // bytes written (that the file went is the pass's to find).
        ASSERT_NO_FATAL_FAILURE(Copy("C:\\source.dat", "C:\\img\\e\\lost.dat", big.size()));
        fs::remove(root + "/e/lost.dat");
        WriteText(root + "/e/lost.dat", "other bytes");
        ASSERT_TRUE(Write("C:\\img\\e\\first.txt", "one"));
        ASSERT_TRUE(Write("C:\\img\\e\\first.txt", "two"));  // written again: the last counts
        ASSERT_TRUE(Write("C:\\outside.txt", "not in the image"));
        ASSERT_TRUE(Write("C:\\img\\SHA256SUMS", "the manifest's own"));
        platform::AtomicFile dropped;
        ASSERT_TRUE(dropped.Create("C:\\img\\e\\dropped.txt"));
        ASSERT_TRUE(dropped.Write("abc", 3));
        dropped.Abandon();
        // Bytes that go into the file around the tap cannot be vouched for.
        platform::AtomicFile around;
        ASSERT_TRUE(around.Create("C:\\img\\e\\around.txt"));
        ASSERT_TRUE(around.file().Write("zzz", 3));
        ASSERT_TRUE(around.Commit());
    }
    const ImageHasher::Result r = hasher.Finish();
    ASSERT_EQ(r.files.size(), 3u);
    EXPECT_EQ(r.files.at("e/d/copy.dat").hex, Sha256Hex(big.data(), big.size()));
    EXPECT_EQ(r.files.at("e/lost.dat").hex, r.files.at("e/d/copy.dat").hex);
    EXPECT_EQ(r.files.at("e/d/copy.dat").length, static_cast<long long>(big.size()));
    EXPECT_EQ(r.files.at("e/first.txt").hex, Sha256Hex("two", 3));
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_HAS(r.problems[0], "e/around.txt");
    EXPECT_EQ(ReadText(root + "/e/d/copy.dat"), big);  // the copy itself is whole
}

// A writer that hashes its own bytes (a download) gives its digest instead of the bytes; the
// hasher takes it only when it covers everything written, as it would the bytes.
TEST_F(ImageHasherTest, AWriterHashedFileCountsWithItsDigestOnlyWhenTheDigestCoversItsBytes) {
    const std::string root = driveC() + "/img";
    fs::create_directories(root + "/e");
    auto writeHashed = [](const std::string& path, const std::string& bytes,
                          const std::string& digest, bool aroundToo) {
        platform::AtomicFile f;
        if (!f.Create(path))
            return false;
        f.WriterHashes();
        if (!f.Write(bytes.data(), bytes.size()))
            return false;
        if (aroundToo && !f.file().Write("+", 1))
            return false;
        return f.CommitHashed(digest).ok();
    };
    const std::string piece = "bytes of a downloaded file";
    const std::string hex = Sha256Hex(piece.data(), piece.size());
    ImageHasher hasher(root);
    {
        platform::ScopedWriteTap tap(&hasher);
        ASSERT_TRUE(writeHashed("C:\\img\\e\\fetched.dat", piece, hex, false));
        ASSERT_TRUE(writeHashed("C:\\img\\e\\grown.dat", piece, hex, true));
        ASSERT_TRUE(writeHashed("C:\\img\\e\\nodigest.dat", piece, "", false));
        // Its writer said it hashes, then committed without a digest: nothing covers it.
        platform::AtomicFile plain;
        ASSERT_TRUE(plain.Create("C:\\img\\e\\plain.dat"));
        plain.WriterHashes();
        ASSERT_TRUE(plain.Write(piece.data(), piece.size()));
        ASSERT_TRUE(plain.Commit());
    }
    const ImageHasher::Result r = hasher.Finish();
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files.at("e/fetched.dat").hex, hex);
    EXPECT_EQ(r.files.at("e/fetched.dat").length, static_cast<long long>(piece.size()));
    ASSERT_EQ(r.leftOut.size(), 3u);
    for (const char* name : {"e/grown.dat", "e/nodigest.dat", "e/plain.dat"})
        EXPECT_EQ(r.leftOut.count(name), 1u) << name;
}

// Files hashed on different threads: a large file withdrawn and written again small, perhaps
// hashed after its successor, leaves the successor; one withdrawn for good leaves nothing.
TEST_F(ImageHasherTest, TheLastCommitCountsWhicheverFileIsHashedFirst) {
    const std::string root = driveC() + "/img";
    fs::create_directories(root + "/e");
    const std::string big(24 * platform::WriteTap::kBufferBytes, 'b');
    WriteText(driveC() + "/big.dat", big);
    ImageHasher hasher(root);
    {
        platform::ScopedWriteTap tap(&hasher);
        ASSERT_NO_FATAL_FAILURE(Copy("C:\\big.dat", "C:\\img\\e\\again.dat", big.size()));
        ASSERT_TRUE(Write("C:\\img\\e\\gone.dat", "gone"));
        ASSERT_TRUE(platform::WithdrawWrittenFile("C:\\img\\e\\again.dat"));
        ASSERT_TRUE(platform::WithdrawWrittenFile("C:\\img\\e\\gone.dat"));
        ASSERT_TRUE(Write("C:\\img\\e\\again.dat", "small"));
    }
    const ImageHasher::Result r = hasher.Finish();
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files.at("e/again.dat").hex, Sha256Hex("small", 5));
    EXPECT_TRUE(r.problems.empty());
}

// A copy that fails half-way (the file may grow no further) hands nothing complete to the
// hashing: the file is abandoned, nothing is listed, and no handle on it stays open.
TEST_F(ImageHasherTest, ACopyThatFailsHalfWayLeavesNothingListedAndNoHandleOpen) {
    const std::string root = driveC() + "/img";
    fs::create_directories(root + "/e");
    WriteText(driveC() + "/big.dat", std::string(3 * platform::WriteTap::kBufferBytes, 'h'));
    const int code = ExitOfChild([&] {
        const std::size_t before = OpenHandles();
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{platform::WriteTap::kBufferBytes, platform::WriteTap::kBufferBytes};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 77;
        ImageHasher hasher(root);
        {
            platform::ScopedWriteTap tap(&hasher);
            platform::File in;
            platform::AtomicFile copy;
            if (!in.Open("C:\\big.dat", platform::File::kRead) ||
                !copy.Create("C:\\img\\e\\big.dat") || copy.CopyFrom(in).ok())
                return 1;
            copy.Abandon();
        }
        const ImageHasher::Result r = hasher.Finish();
        if (!r.files.empty() || !r.problems.empty() || !r.leftOut.empty())
            return 2;
        return OpenHandles() == before ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
}

class ImageFilesTest : public TempPrefixTest {};

TEST_F(ImageFilesTest, AFileThatCannotBeHadSaysWhichAndWhy) {
    const std::string root = prefix() + "/image";
    fs::create_directories(root + "/folder");
    // A link where the manifest belongs: listed, but never followed.
    fs::create_directory_symlink("folder", root + "/SHA256SUMS");
    WriteText(root + "/big.dat", std::string(100, 'x'));
    const auto image = OpenFolderImage(root);

    const auto tooLarge = image->ReadWhole("big.dat", 99);
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.error().kind, Kind::kDamaged);
    EXPECT_EQ(tooLarge.error().Said(), "big.dat is too large");
    ASSERT_TRUE(image->ReadWhole("big.dat", 100));
    EXPECT_EQ(image->ReadWhole("big.dat", 100)->size(), 100u);

    const auto outside = image->ReadWhole("../image/big.dat");
    ASSERT_FALSE(outside);
    EXPECT_EQ(outside.error().kind, Kind::kRefused);
    EXPECT_EQ(image->ReadWhole("gone.dat").error().kind, Kind::kNotFound);

    EXPECT_EQ(VerifyImage(*image, {}).manifestProblem, "SHA256SUMS cannot be opened");
}

class SigningTest : public TempPrefixTest {};

namespace {

Sha256Digest DigestOf(const std::string& bytes) {
    Sha256Digest digest;
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest.data());
    return digest;
}

}  // namespace

TEST_F(SigningTest, AKeyIsMadeOnceAndSignsOnlyWhatItSigned) {
    const std::string folder = SigningKeyFolder();
    EXPECT_EQ(folder, prefix() + "/keys");
    EXPECT_FALSE(HasSigningKey(folder));
    ASSERT_TRUE(CreateSigningKey(folder));
    EXPECT_EQ(platform::FileMode(PrivateKeyPath(folder)), 0600);
    EXPECT_EQ(platform::FileMode(folder), 0700);
    const std::string privatePem = ReadText(PrivateKeyPath(folder));
    const std::string publicPem = ReadText(PublicKeyPath(folder));
    // A second key would orphan every image signed with the first.
    EXPECT_EQ(CreateSigningKey(folder).error().kind, platform::Error::Kind::kRefused);
    EXPECT_EQ(ReadText(PrivateKeyPath(folder)), privatePem);

    auto signed_ = Sign(privatePem, "manifest bytes");
    ASSERT_TRUE(signed_);
    std::string signature = *signed_;
    EXPECT_EQ(signature.size(), 64u);
    EXPECT_TRUE(CheckSignature(publicPem, "manifest bytes", signature));
    EXPECT_TRUE(CheckSignature(privatePem, "manifest bytes", signature));
    EXPECT_EQ(CheckSignature(publicPem, "manifest bytes!", signature).error().kind,
              platform::Error::Kind::kDamaged);
    signature[10] ^= 1;
    EXPECT_FALSE(CheckSignature(publicPem, "manifest bytes", signature));

    const std::string other = prefix() + "/other";
    ASSERT_TRUE(CreateSigningKey(other));
    const std::string otherPublic = ReadText(PublicKeyPath(other));
    signature = *Sign(privatePem, "x");
    EXPECT_FALSE(CheckSignature(otherPublic, "x", signature));

    const std::string fp = Fingerprint(publicPem);
    EXPECT_EQ(fp.rfind("SHA256:", 0), 0u);
    EXPECT_EQ(fp.size(), 7u + 64 + 15);  // 16 groups of four, a space between
    EXPECT_EQ(Fingerprint(privatePem), fp);
    EXPECT_NE(Fingerprint(otherPublic), fp);
    const platform::Outcome unread = CheckSignature("not a key", "x", signature);
    ASSERT_FALSE(unread);
    EXPECT_EQ(unread.error().kind, platform::Error::Kind::kFailed);
    EXPECT_HAS(unread.error().text, "key cannot be read");
    EXPECT_EQ(Fingerprint("not a key"), "");
}

TEST_F(SigningTest, AKeyAndCertificateAreMadeOnceBelongTogetherAndSignOnlyTheirDigest) {
    const std::string folder = SigningKeyFolder();
    EXPECT_FALSE(HasExportKey(folder));
    EXPECT_FALSE(CreateExportKey(folder, ""));
    EXPECT_FALSE(CreateExportKey(folder, std::string(65, 'u')));
    EXPECT_FALSE(HasExportKey(folder));
    ASSERT_TRUE(CreateExportKey(folder, "Quillon Backup depot-2"));
    EXPECT_EQ(platform::FileMode(ExportKeyPath(folder)), 0600);
    EXPECT_EQ(platform::FileMode(folder), 0700);
    // Beside the manifest's key, which it neither needs nor touches.
    EXPECT_FALSE(HasSigningKey(folder));
    ASSERT_TRUE(CreateSigningKey(folder));
    const std::string keyPem = ReadText(ExportKeyPath(folder));
    EXPECT_EQ(CreateExportKey(folder, "Another").error().kind, platform::Error::Kind::kRefused);
    EXPECT_EQ(ReadText(ExportKeyPath(folder)), keyPem);

    const auto loaded = LoadExportKey(folder);
    ASSERT_TRUE(loaded);
    const ExportKey key = *loaded;
    EXPECT_EQ(RsaSignatureLength(key.privatePem), 384u);
    EXPECT_EQ(CertificateCommonName(key.certificateDer), "Quillon Backup depot-2");
    const std::string fp = CertificateFingerprint(key.certificateDer);
    EXPECT_EQ(fp.rfind("SHA256:", 0), 0u);
    EXPECT_EQ(fp.size(), 7u + 64 + 15);

    // Its PSS signatures hold only for their digest and certificate.
    const std::string other = prefix() + "/other";
    ASSERT_TRUE(CreateExportKey(other, "Other"));
    const auto otherLoaded = LoadExportKey(other);
    ASSERT_TRUE(otherLoaded);
    const ExportKey otherKey = *otherLoaded;
    const auto signed_ = RsaPssSign(key.privatePem, "file bytes");
    ASSERT_TRUE(signed_);
    std::string signature = *signed_;
    EXPECT_EQ(signature.size(), 384u);
    EXPECT_TRUE(CheckRsaPssSignature(key.certificateDer, DigestOf("file bytes"), signature));
    // PSS is salted: two signatures of the same bytes differ and both hold.
    const auto again = RsaPssSignDigest(key.privatePem, DigestOf("file bytes"));
    ASSERT_TRUE(again);
    EXPECT_NE(*again, signature);
    EXPECT_TRUE(CheckRsaPssSignature(key.certificateDer, DigestOf("file bytes"), *again));

    const platform::Outcome mismatch =
        CheckRsaPssSignature(key.certificateDer, DigestOf("file bytes!"), signature);
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(mismatch.error().kind, platform::Error::Kind::kDamaged);
    EXPECT_FALSE(CheckRsaPssSignature(otherKey.certificateDer, DigestOf("file bytes"), signature));
    signature[100] ^= 1;
    EXPECT_FALSE(CheckRsaPssSignature(key.certificateDer, DigestOf("file bytes"), signature));
    const platform::Outcome unread =
        CheckRsaPssSignature("not a certificate", DigestOf("x"), signature);
    ASSERT_FALSE(unread);
    EXPECT_EQ(unread.error().kind, platform::Error::Kind::kFailed);
    EXPECT_HAS(unread.error().text, "certificate");
    // The manifest's Ed25519 key does not sign exports.
    EXPECT_FALSE(RsaPssSign(ReadText(PrivateKeyPath(folder)), "x"));

    // A certificate of another key is found out on loading.
    WriteText(ExportCertificatePath(folder), ReadText(ExportCertificatePath(other)));
    const auto mismatched = LoadExportKey(folder);
    ASSERT_FALSE(mismatched);
    EXPECT_EQ(mismatched.error().kind, platform::Error::Kind::kDamaged);
    EXPECT_HAS(mismatched.error().text, "not that of");
}
