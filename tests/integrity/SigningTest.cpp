// The machine's signing keys: the manifest's Ed25519 key and the export's RSA-3072 key with a
// certificate naming the unit, each made once, private to its owner, never replaced; signatures
// that hold only for the bytes (or digest) and the key they were made with.
#include <openssl/sha.h>

#include "TestEnv.h"
#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "platform/OwnerOnly.h"
#include "share/Has.h"

using namespace integrity;
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
    ASSERT_EQ(CreateSigningKey(folder), "");
    EXPECT_EQ(platform::FileMode(PrivateKeyPath(folder)), 0600);
    EXPECT_EQ(platform::FileMode(folder), 0700);
    const std::string privatePem = ReadText(PrivateKeyPath(folder));
    const std::string publicPem = ReadText(PublicKeyPath(folder));
    // A second key would orphan every image signed with the first.
    EXPECT_NE(CreateSigningKey(folder), "");
    EXPECT_EQ(ReadText(PrivateKeyPath(folder)), privatePem);

    std::string signature;
    ASSERT_EQ(Sign(privatePem, "manifest bytes", signature), "");
    EXPECT_EQ(signature.size(), 64u);
    EXPECT_TRUE(SignatureGood(publicPem, "manifest bytes", signature));
    EXPECT_TRUE(SignatureGood(privatePem, "manifest bytes", signature));
    EXPECT_FALSE(SignatureGood(publicPem, "manifest bytes!", signature));
    signature[10] ^= 1;
    EXPECT_FALSE(SignatureGood(publicPem, "manifest bytes", signature));

    const std::string other = prefix() + "/other";
    ASSERT_EQ(CreateSigningKey(other), "");
    const std::string otherPublic = ReadText(PublicKeyPath(other));
    ASSERT_EQ(Sign(privatePem, "x", signature), "");
    EXPECT_FALSE(SignatureGood(otherPublic, "x", signature));

    const std::string fp = Fingerprint(publicPem);
    EXPECT_EQ(fp.rfind("SHA256:", 0), 0u);
    EXPECT_EQ(fp.size(), 7u + 64 + 15);  // 16 groups of four, a space between
    EXPECT_EQ(Fingerprint(privatePem), fp);
    EXPECT_NE(Fingerprint(otherPublic), fp);
    std::string why;
    EXPECT_FALSE(SignatureGood("not a key", "x", signature, &why));
    EXPECT_NE(why, "");
    EXPECT_EQ(Fingerprint("not a key"), "");
}

TEST_F(SigningTest, AKeyAndCertificateAreMadeOnceBelongTogetherAndSignOnlyTheirDigest) {
    const std::string folder = SigningKeyFolder();
    EXPECT_FALSE(HasExportKey(folder));
    EXPECT_NE(CreateExportKey(folder, ""), "");
    EXPECT_NE(CreateExportKey(folder, std::string(65, 'u')), "");
    EXPECT_FALSE(HasExportKey(folder));
    ASSERT_EQ(CreateExportKey(folder, "Quillon Backup depot-2"), "");
    EXPECT_EQ(platform::FileMode(ExportKeyPath(folder)), 0600);
    EXPECT_EQ(platform::FileMode(folder), 0700);
    // Beside the manifest's key, which it neither needs nor touches.
    EXPECT_FALSE(HasSigningKey(folder));
    ASSERT_EQ(CreateSigningKey(folder), "");
    const std::string keyPem = ReadText(ExportKeyPath(folder));
    EXPECT_NE(CreateExportKey(folder, "Another"), "");
    EXPECT_EQ(ReadText(ExportKeyPath(folder)), keyPem);

    ExportKey key;
    ASSERT_EQ(LoadExportKey(folder, key), "");
    EXPECT_EQ(RsaSignatureLength(key.privatePem), 384u);
    EXPECT_EQ(CertificateCommonName(key.certificateDer), "Quillon Backup depot-2");
    const std::string fp = CertificateFingerprint(key.certificateDer);
    EXPECT_EQ(fp.rfind("SHA256:", 0), 0u);
    EXPECT_EQ(fp.size(), 7u + 64 + 15);

    // Its PSS signatures hold only for their digest and certificate.
    const std::string other = prefix() + "/other";
    ASSERT_EQ(CreateExportKey(other, "Other"), "");
    ExportKey otherKey;
    ASSERT_EQ(LoadExportKey(other, otherKey), "");
    std::string signature, again;
    ASSERT_EQ(RsaPssSign(key.privatePem, "file bytes", signature), "");
    EXPECT_EQ(signature.size(), 384u);
    EXPECT_TRUE(RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes"), signature));
    // PSS is salted: two signatures of the same bytes differ and both hold.
    ASSERT_EQ(RsaPssSignDigest(key.privatePem, DigestOf("file bytes"), again), "");
    EXPECT_NE(again, signature);
    EXPECT_TRUE(RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes"), again));

    std::string why;
    EXPECT_FALSE(RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes!"), signature, &why));
    EXPECT_NE(why, "");
    EXPECT_FALSE(RsaPssSignatureGood(otherKey.certificateDer, DigestOf("file bytes"), signature));
    signature[100] ^= 1;
    EXPECT_FALSE(RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes"), signature));
    EXPECT_FALSE(RsaPssSignatureGood("not a certificate", DigestOf("x"), signature, &why));
    EXPECT_HAS(why, "certificate");
    // The manifest's Ed25519 key does not sign exports.
    EXPECT_NE(RsaPssSign(ReadText(PrivateKeyPath(folder)), "x", signature), "");

    // A certificate of another key is found out on loading.
    WriteText(ExportCertificatePath(folder), ReadText(ExportCertificatePath(other)));
    EXPECT_HAS(LoadExportKey(folder, key), "not that of");
}
