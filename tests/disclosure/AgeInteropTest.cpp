// Our age files against the age tool of the system: each opens what the other wrote, at every
// size around the 64 KiB chunk, with a key and with a passphrase, and the keys' texts agree.
#include <gmock/gmock.h>

#include "AgeFixture.h"

namespace age = disclosure::age;
using testing::HasSubstr;

class AgeInteropTest : public AgeFixture {};

TEST_F(AgeInteropTest, KeysReadAndWrittenAsTheAgeToolDoes) {
    platform::Expected<std::string> pub = age::X25519Public(secret);
    ASSERT_TRUE(pub.ok());
    EXPECT_EQ(age::RecipientText(*pub), recipientText);
    // A new identity of ours, as the age tool reads it.
    platform::Expected<age::NewIdentity> made = age::MakeIdentity();
    ASSERT_TRUE(made.ok());
    WriteText(Path("ours.txt"), made->fileText);
    EXPECT_EQ(Trimmed(Capture("age-keygen -y '" + Path("ours.txt") + "'")), made->recipient);
    // One changed character breaks the checksum; upper case is no recipient.
    std::string changed = recipientText;
    changed[10] = changed[10] == 'q' ? 'p' : 'q';
    EXPECT_FALSE(age::ParseRecipient(changed).ok());
    std::string upper = recipientText;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_FALSE(age::ParseRecipient(upper).ok());
    EXPECT_FALSE(age::ParseIdentityFile("# nothing but a comment\n\n").ok());
    EXPECT_THAT(
        age::ParseRecipientsFile("# ours\n\n" + recipientText + "\nage1nope\n").error().text,
        HasSubstr("line 4"));
}

TEST_F(AgeInteropTest, EverySizeAroundAChunkOpensBothWays) {
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 131072u, 200000u}) {
        SCOPED_TRACE(size);
        const std::string plain = Pattern(size);
        platform::Expected<std::string> ours = Encrypt(plain, ToKey());
        ASSERT_TRUE(ours.ok());
        WriteText(Path("ours.age"), *ours);
        ASSERT_EQ(Run("age -d -i '" + Path("key.txt") + "' -o '" + Path("ours.out") + "' '" +
                      Path("ours.age") + "'"),
                  0);
        EXPECT_EQ(ReadText(Path("ours.out")), plain);
        WriteText(Path("plain"), plain);
        ASSERT_EQ(Run("age -e -r " + recipientText + " -o '" + Path("theirs.age") + "' '" +
                      Path("plain") + "'"),
                  0);
        // In small pieces too, as a pipe hands them over.
        for (std::size_t piece : {std::size_t{1} << 20, std::size_t{777}}) {
            platform::Expected<std::string> back =
                Decrypt(ReadText(Path("theirs.age")), WithKey(), piece);
            ASSERT_TRUE(back.ok()) << back.error().text;
            EXPECT_EQ(*back, plain);
        }
    }
}

TEST_F(AgeInteropTest, AFileForSeveralRecipientsOpensWithEach) {
    platform::Expected<age::NewIdentity> other = age::MakeIdentity();
    ASSERT_TRUE(other.ok());
    age::Recipients to = ToKey();
    to.publicKeys.insert(to.publicKeys.begin(), *age::ParseRecipient(other->recipient));
    platform::Expected<std::string> file = Encrypt("for two", to);
    ASSERT_TRUE(file.ok());
    WriteText(Path("two.age"), *file);
    WriteText(Path("other.txt"), other->fileText);
    for (const char* key : {"key.txt", "other.txt"})
        EXPECT_EQ(Capture("age -d -i '" + Path(key) + "' '" + Path("two.age") + "'"), "for two");
    EXPECT_EQ(*Decrypt(*file, WithKey()), "for two");
}

TEST_F(AgeInteropTest, APassphraseOpensBothWays) {
    age::Recipients to;
    to.passphrase = "correct horse";
    to.log2N = age::kLeastLog2N;
    const std::string plain = Pattern(70000);
    platform::Expected<std::string> ours = Encrypt(plain, to);
    ASSERT_TRUE(ours.ok());
    EXPECT_THAT(ours->substr(0, 60), HasSubstr("-> scrypt "));
    WriteText(Path("ours.age"), *ours);
    ASSERT_EQ(WithTerminal("correct horse\\n",
                           "age -d -o '" + Path("ours.out") + "' '" + Path("ours.age") + "'"),
              0);
    EXPECT_EQ(ReadText(Path("ours.out")), plain);
    WriteText(Path("plain"), plain);
    ASSERT_EQ(WithTerminal("correct horse\\ncorrect horse\\n",
                           "age -p -o '" + Path("theirs.age") + "' '" + Path("plain") + "'"),
              0);
    age::Unlock with;
    with.passphrase = "correct horse";
    platform::Expected<std::string> back = Decrypt(ReadText(Path("theirs.age")), with);
    ASSERT_TRUE(back.ok()) << back.error().text;
    EXPECT_EQ(*back, plain);
    with.passphrase = "wrong horse";
    EXPECT_EQ(Decrypt(ReadText(Path("theirs.age")), with).error().text, age::kPassphraseFails);
    // The work factor a file asks for is bounded before any of it is spent.
    to.log2N = age::kLeastLog2N - 1;
    EXPECT_FALSE(Encrypt(plain, to).ok());
}
