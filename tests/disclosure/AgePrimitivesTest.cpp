// The key derivations the format is built on, against their published test vectors, and a
// derivation libcrypto refuses coming back as an error the caller can show, not as an ended
// program.
#include <gmock/gmock.h>

#include "disclosure/age/Primitives.h"
#include "integrity/Sha256.h"

namespace age = disclosure::age;
using testing::HasSubstr;

namespace {

std::string Hex(const std::string& bytes) {
    return integrity::ToHex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string Counting(unsigned char from, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i)
        s += static_cast<char>(from + i);
    return s;
}

}  // namespace

TEST(AgePrimitivesTest, HkdfAndHmacGiveTheirPublishedVectors) {
    // HKDF-SHA256 case 1 of its RFC; the same key material with no salt (the header's key).
    platform::Expected<std::string> okm =
        age::Hkdf(Counting(0x00, 13), std::string(22, '\x0b'), Counting(0xf0, 10), 42);
    ASSERT_TRUE(okm.ok()) << okm.error().text;
    EXPECT_EQ(
        Hex(*okm),
        "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865");
    platform::Expected<std::string> unsalted = age::Hkdf("", std::string(22, '\x0b'), "", 42);
    ASSERT_TRUE(unsalted.ok()) << unsalted.error().text;
    EXPECT_EQ(
        Hex(*unsalted),
        "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8");
    platform::Expected<std::string> mac = age::HmacSha256("Jefe", "what do ya want for nothing?");
    ASSERT_TRUE(mac.ok()) << mac.error().text;
    EXPECT_EQ(Hex(*mac), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

TEST(AgePrimitivesTest, ADerivationTheLibraryRefusesIsAnError) {
    // HKDF gives at most 255 hashes of output: the most is made, one byte more is refused.
    const std::string key(32, 'k');
    platform::Expected<std::string> most = age::Hkdf("", key, "payload", 255 * 32);
    ASSERT_TRUE(most.ok()) << most.error().text;
    EXPECT_EQ(most->size(), 255u * 32);
    platform::Expected<std::string> over = age::Hkdf("", key, "payload", 255 * 32 + 1);
    ASSERT_FALSE(over.ok());
    EXPECT_EQ(over.error().kind, platform::Error::Kind::kFailed);
    EXPECT_THAT(over.error().text, HasSubstr("a key cannot be derived: "));
}
