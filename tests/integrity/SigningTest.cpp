// The machine's signing keys: the manifest's Ed25519 key and the export's RSA-3072 key with a
// certificate naming the unit, each made once, private to its owner, never replaced; signatures
// that hold only for the bytes (or digest) and the key they were made with.
#include <openssl/sha.h>

#include "TestEnv.h"
#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "platform/OwnerOnly.h"
#include "share/Has.h"

class SigningTest : public TempPrefixTest {};

namespace {

integrity::Sha256Digest DigestOf(const std::string& bytes) {
    integrity::Sha256Digest digest;
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest.data());
    return digest;
}

}  // namespace

TEST_F(SigningTest, AKeyIsMadeOnceAndSignsOnlyWhatItSigned) {
    const std::string folder = integrity::SigningKeyFolder();
    EXPECT_EQ(folder, prefix() + "/keys");
    EXPECT_FALSE(integrity::HasSigningKey(folder));
    ASSERT_EQ(integrity::CreateSigningKey(folder), "");
    EXPECT_EQ(platform::FileMode(integrity::PrivateKeyPath(folder)), 0600);
    EXPECT_EQ(platform::FileMode(folder), 0700);
    const std::string privatePem = ReadText(integrity::PrivateKeyPath(folder));
    const std::string publicPem = ReadText(integrity::PublicKeyPath(folder));
    // A second key would orphan every image signed with the first.
    EXPECT_NE(integrity::CreateSigningKey(folder), "");
    EXPECT_EQ(ReadText(integrity::PrivateKeyPath(folder)), privatePem);

    std::string signature;
    ASSERT_EQ(integrity::Sign(privatePem, "manifest bytes", signature), "");
    EXPECT_EQ(signature.size(), 64u);
    EXPECT_TRUE(integrity::SignatureGood(publicPem, "manifest bytes", signature));
    EXPECT_TRUE(integrity::SignatureGood(privatePem, "manifest bytes", signature));
    EXPECT_FALSE(integrity::SignatureGood(publicPem, "manifest bytes!", signature));
    signature[10] ^= 1;
    EXPECT_FALSE(integrity::SignatureGood(publicPem, "manifest bytes", signature));

    const std::string other = prefix() + "/other";
    ASSERT_EQ(integrity::CreateSigningKey(other), "");
    const std::string otherPublic = ReadText(integrity::PublicKeyPath(other));
    ASSERT_EQ(integrity::Sign(privatePem, "x", signature), "");
    EXPECT_FALSE(integrity::SignatureGood(otherPublic, "x", signature));

    const std::string fp = integrity::Fingerprint(publicPem);
    EXPECT_EQ(fp.rfind("SHA256:", 0), 0u);
    EXPECT_EQ(fp.size(), 7u + 64 + 15);  // 16 groups of four, a space between
    EXPECT_EQ(integrity::Fingerprint(privatePem), fp);
    EXPECT_NE(integrity::Fingerprint(otherPublic), fp);
    std::string why;
    EXPECT_FALSE(integrity::SignatureGood("not a key", "x", signature, &why));
    EXPECT_NE(why, "");
    EXPECT_EQ(integrity::Fingerprint("not a key"), "");
}

TEST_F(SigningTest, AKeyAndCertificateAreMadeOnceBelongTogetherAndSignOnlyTheirDigest) {
    const std::string folder = integrity::SigningKeyFolder();
    EXPECT_FALSE(integrity::HasExportKey(folder));
    EXPECT_NE(integrity::CreateExportKey(folder, ""), "");
    EXPECT_NE(integrity::CreateExportKey(folder, std::string(65, 'u')), "");
    EXPECT_FALSE(integrity::HasExportKey(folder));
    ASSERT_EQ(integrity::CreateExportKey(folder, "Quillon Backup depot-2"), "");
    EXPECT_EQ(platform::FileMode(integrity::ExportKeyPath(folder)), 0600);
    EXPECT_EQ(platform::FileMode(folder), 0700);
    // Beside the manifest's key, which it neither needs nor touches.
    EXPECT_FALSE(integrity::HasSigningKey(folder));
    ASSERT_EQ(integrity::CreateSigningKey(folder), "");
    const std::string keyPem = ReadText(integrity::ExportKeyPath(folder));
    EXPECT_NE(integrity::CreateExportKey(folder, "Another"), "");
    EXPECT_EQ(ReadText(integrity::ExportKeyPath(folder)), keyPem);

    integrity::ExportKey key;
    ASSERT_EQ(integrity::LoadExportKey(folder, key), "");
    EXPECT_EQ(integrity::RsaSignatureLength(key.privatePem), 384u);
    EXPECT_EQ(integrity::CertificateCommonName(key.certificateDer), "Quillon Backup depot-2");
    const std::string fp = integrity::CertificateFingerprint(key.certificateDer);
    EXPECT_EQ(fp.rfind("SHA256:", 0), 0u);
    EXPECT_EQ(fp.size(), 7u + 64 + 15);

    // Its PSS signatures hold only for their digest and certificate.
    const std::string other = prefix() + "/other";
    ASSERT_EQ(integrity::CreateExportKey(other, "Other"), "");
    integrity::ExportKey otherKey;
    ASSERT_EQ(integrity::LoadExportKey(other, otherKey), "");
    std::string signature, again;
    ASSERT_EQ(integrity::RsaPssSign(key.privatePem, "file bytes", signature), "");
    EXPECT_EQ(signature.size(), 384u);
    EXPECT_TRUE(
        integrity::RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes"), signature));
    // PSS is salted: two signatures of the same bytes differ and both hold.
    ASSERT_EQ(integrity::RsaPssSignDigest(key.privatePem, DigestOf("file bytes"), again), "");
    EXPECT_NE(again, signature);
    EXPECT_TRUE(integrity::RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes"), again));

    std::string why;
    EXPECT_FALSE(integrity::RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes!"),
                                                signature, &why));
    EXPECT_NE(why, "");
    EXPECT_FALSE(
        integrity::RsaPssSignatureGood(otherKey.certificateDer, DigestOf("file bytes"), signature));
    signature[100] ^= 1;
    EXPECT_FALSE(
        integrity::RsaPssSignatureGood(key.certificateDer, DigestOf("file bytes"), signature));
    EXPECT_FALSE(
        integrity::RsaPssSignatureGood("not a certificate", DigestOf("x"), signature, &why));
    EXPECT_HAS(why, "certificate");
    // The manifest's Ed25519 key does not sign exports.
    EXPECT_NE(integrity::RsaPssSign(ReadText(integrity::PrivateKeyPath(folder)), "x", signature),
              "");

    // A certificate of another key is found out on loading.
    WriteText(integrity::ExportCertificatePath(folder),
              ReadText(integrity::ExportCertificatePath(other)));
    EXPECT_HAS(integrity::LoadExportKey(folder, key), "not that of");
}
