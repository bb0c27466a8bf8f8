// Files the reader must refuse: any changed byte of the header, its MAC or the payload, a file
// cut short or grown, a header no writer of the format makes, and keys that do not open it.
// Each refusal says what is wrong, and where in the payload.
#include <gmock/gmock.h>

#include "AgeFixture.h"
#include "disclosure/age/Base64.h"

namespace age = disclosure::age;
using testing::HasSubstr;

class AgeFaultsTest : public AgeFixture {
  protected:
    void SetUp() override {
        AgeFixture::SetUp();
        if (IsSkipped())
            return;
        plain = Pattern(2 * age::kChunkSize + 100);
        file = *Encrypt(plain, ToKey());
        headerEnd = file.find('\n', file.find("\n--- ") + 1) + 1;
        payload = headerEnd + age::kPayloadNonceSize;
    }
    std::string Refusal(const std::string& bytes) {
        platform::Expected<std::string> back = Decrypt(bytes, WithKey());
        return back.ok() ? "opened" : back.error().text;
    }
    // A header of these lines (the version line first), its MAC left for the reader to judge.
    static std::string HeaderOf(const std::string& lines) {
        return std::string(age::kVersionLine) + "\n" + lines +
               "--- AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n" + std::string(40, 'x');
    }
    std::string plain, file;
    std::size_t headerEnd = 0, payload = 0;
};

TEST_F(AgeFaultsTest, EachChangedByteIsRefusedAndAPayloadChangeSaysItsChunk) {
    ASSERT_EQ(*Decrypt(file, WithKey()), plain);
    const std::size_t stanzaArg = file.find("-> X25519 ") + 12,
                      body = file.find('\n', stanzaArg) + 3;
    const std::size_t mac = headerEnd - 10;
    for (std::size_t at : {std::size_t{3}, stanzaArg, body, mac}) {
        std::string changed = file;
        changed[at] = static_cast<char>(changed[at] == 'A' ? 'B' : 'A');
        EXPECT_NE(Refusal(changed), "opened") << at;
    }
    std::string changed = file;
    changed[mac] = static_cast<char>(changed[mac] == 'A' ? 'B' : 'A');
    EXPECT_THAT(Refusal(changed), HasSubstr("changed header"));
    // The payload nonce, a byte inside the second chunk, the last chunk's tag.
    const std::size_t second = payload + age::kSealedChunkSize;
    const std::size_t cases[][2] = {{headerEnd, 0}, {second + 5, 1}, {file.size() - 1, 2}};
    for (const auto& c : cases) {
        std::string flipped = file;
        flipped[c[0]] ^= 0x01;
        EXPECT_THAT(Refusal(flipped),
                    HasSubstr("fails authentication at chunk " + std::to_string(c[1]) +
                              " (file bytes from " +
                              std::to_string(payload + c[1] * age::kSealedChunkSize) + ")"))
            << c[0];
    }
}

TEST_F(AgeFaultsTest, AFileCutShortOrGrownIsRefused) {
    // Inside a chunk, at a chunk's end, before the payload, inside the header.
    for (std::size_t keep : {file.size() - 1, payload + age::kSealedChunkSize,
                             payload + 2 * age::kSealedChunkSize, payload + 3, headerEnd - 5})
        EXPECT_NE(Refusal(file.substr(0, keep)), "opened") << keep;
    EXPECT_THAT(Refusal(file.substr(0, payload + 2 * age::kSealedChunkSize)),
                HasSubstr("fails authentication at chunk 1 (file bytes from " +
                          std::to_string(payload + age::kSealedChunkSize) +
                          "): it was changed or cut short there"));
    EXPECT_NE(Refusal(file + "x"), "opened");
    // A full last chunk with bytes after it is named as such.
    const std::string full = *Encrypt(Pattern(age::kChunkSize), ToKey());
    EXPECT_EQ(*Decrypt(full, WithKey()), Pattern(age::kChunkSize));
    EXPECT_THAT(Refusal(full + "trailing"), HasSubstr("has bytes after its last chunk"));
}

TEST_F(AgeFaultsTest, AnEmptyLastChunkAfterOthersIsRefused) {
    // The writer never makes one: a file is built by hand, of a full chunk and an empty last.
    const std::string chunk = Pattern(age::kChunkSize), nonce(16, 'n');
    const std::string fileKey(16, '\x42');
    platform::Expected<age::Stanza> stanza = age::X25519Stanza(publicKey, fileKey);
    ASSERT_TRUE(stanza.ok());
    std::string crafted = *age::HeaderText({*stanza}, fileKey) + nonce;
    age::Aead aead(*age::PayloadKey(fileKey, nonce));
    unsigned char n[age::kNonceSize] = {};
    std::string sealed(age::kSealedChunkSize, '\0');
    auto* out = reinterpret_cast<unsigned char*>(sealed.data());
    ASSERT_TRUE(
        aead.Seal(n, reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), out));
    crafted += sealed;
    n[10] = 1;
    n[11] = 1;
    std::string empty(age::kTagSize, '\0');
    ASSERT_TRUE(aead.Seal(n, nullptr, 0, reinterpret_cast<unsigned char*>(empty.data())));
    EXPECT_THAT(Refusal(crafted + empty), HasSubstr("empty last chunk after others"));
    // The same chunk flagged last is a legal file: the refusal is of the empty chunk alone.
    n[10] = 0;
    ASSERT_TRUE(
        aead.Seal(n, reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), out));
    EXPECT_EQ(Refusal(*age::HeaderText({*stanza}, fileKey) + nonce + sealed), "opened");
}

TEST_F(AgeFaultsTest, AHeaderNoWriterMakesIsRefused) {
    const std::string body43 = std::string(42, 'A') + "A";
    EXPECT_THAT(Refusal("not-age\n"), HasSubstr("is no age v1 file"));
    // Padding, a non-canonical last character, a 64-column line with no line after it.
    EXPECT_THAT(Refusal(HeaderOf("-> X25519 " + body43 + "=\n" + body43 + "\n")),
                HasSubstr("malformed X25519 stanza"));
    EXPECT_THAT(Refusal(HeaderOf("-> X25519 " + body43 + "\n" + std::string(42, 'A') + "B\n")),
                HasSubstr("no canonical base64"));
    EXPECT_THAT(Refusal(HeaderOf("-> grease x\n" + std::string(64, 'A') + "\n")),
                HasSubstr("no canonical base64"));
    EXPECT_THAT(Refusal(HeaderOf("-> grease x\n" + std::string(65, 'A') + "\n")),
                HasSubstr("longer than 64 columns"));
    EXPECT_THAT(Refusal(std::string(age::kVersionLine) + "\n-> grease\n" +
                        std::string(age::kMaxHeaderBytes, 'A')),
                HasSubstr("header over"));
    // A passphrase stanza beside another lets a key holder change what the passphrase opens.
    const std::string scrypt = "-> scrypt " + std::string(22, 'A') + " 10\n" + body43 + "\n";
    EXPECT_THAT(Refusal(HeaderOf(scrypt + "-> X25519 " + body43 + "\n" + body43 + "\n")),
                HasSubstr("beside other stanzas"));
    age::Unlock with;
    with.passphrase = "x";
    EXPECT_THAT(
        Decrypt(HeaderOf("-> scrypt " + std::string(22, 'A') + " 23\n" + body43 + "\n"), with)
            .error()
            .text,
        HasSubstr("more than the 2^22"));
    EXPECT_THAT(
        Decrypt(HeaderOf("-> scrypt " + std::string(22, 'A') + " 010\n" + body43 + "\n"), with)
            .error()
            .text,
        HasSubstr("malformed scrypt"));
}

TEST_F(AgeFaultsTest, UnknownStanzasAreSkippedAndWrongKeysRefusedClearly) {
    // A stanza of another type before ours, its body a full line and an empty one.
    const std::string fileKey(16, '\x07');
    const age::Stanza grease{"grease-x", {"a", "b"}, std::string(48, 'g')};
    platform::Expected<age::Stanza> ours = age::X25519Stanza(publicKey, fileKey);
    ASSERT_TRUE(ours.ok());
    const std::string header = *age::HeaderText({grease, *ours}, fileKey);
    EXPECT_THAT(header,
                HasSubstr("-> grease-x a b\n" + age::Base64Encode(std::string(48, 'g')) + "\n\n"));
    const std::string nonce(16, 'n');
    MemorySink sink;
    age::StreamWriter writer(sink, *age::PayloadKey(fileKey, nonce));
    ASSERT_TRUE(writer.Write("greased", 7).ok());
    ASSERT_TRUE(writer.Finish().ok());
    EXPECT_EQ(*Decrypt(header + nonce + sink.bytes_, WithKey()), "greased");
    WriteText(Path("greased.age"), header + nonce + sink.bytes_);
    EXPECT_EQ(Capture("age -d -i '" + Path("key.txt") + "' '" + Path("greased.age") + "'"),
              "greased");
    platform::Expected<age::NewIdentity> other = age::MakeIdentity();
    age::Unlock wrong{*age::ParseIdentityFile(other->fileText), std::nullopt};
    EXPECT_EQ(Decrypt(file, wrong).error().text, age::kNoIdentityMatches);
    EXPECT_THAT(Decrypt(file, age::Unlock{{}, std::string("pass")}).error().text,
                HasSubstr("give --identity"));
}
