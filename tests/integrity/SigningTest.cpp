// The machine's signing key: made once, private to its owner, never replaced; signatures that
// hold only for the bytes and the key they were made with.
#include "TestEnv.h"
#include "integrity/Signing.h"
#include "platform/OwnerOnly.h"

class SigningTest : public TempPrefixTest {};

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
