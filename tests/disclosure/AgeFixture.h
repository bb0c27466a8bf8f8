#pragma once
// Age files made and read in memory, and the age tool of the system as the other side: what it
// encrypts we must open, what we encrypt it must open.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TestEnv.h"
#include "disclosure/age/AgeFile.h"
#include "disclosure/age/Keys.h"

class MemorySink : public disclosure::ByteSink {
  public:
    platform::Outcome Write(const void* bytes, std::size_t count) override {
        bytes_.append(static_cast<const char*>(bytes), count);
        return platform::Succeeded();
    }
    std::string bytes_;
};

// Hands out its bytes in pieces of at most `piece`, as a file or a pipe may.
class MemorySource : public disclosure::ByteSource {
  public:
    explicit MemorySource(std::string bytes, std::size_t piece = 1 << 20)
        : bytes_(std::move(bytes)), piece_(piece) {}
    platform::Expected<std::size_t> Read(void* buffer, std::size_t count) override {
        const std::size_t n = std::min({count, piece_, bytes_.size() - at_});
        bytes_.copy(static_cast<char*>(buffer), n, at_);
        at_ += n;
        return n;
    }

  private:
    std::string bytes_;
    std::size_t piece_, at_ = 0;
};

class AgeFixture : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        if (std::system("age --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "QUILLON-SKIP: the age package is not installed (scripts/setup)";
        // An identity of the age tool's own making.
        ASSERT_EQ(Run("age-keygen -o '" + Path("key.txt") + "' 2>/dev/null"), 0);
        platform::Expected<std::vector<std::string>> secrets =
            disclosure::age::ParseIdentityFile(ReadText(Path("key.txt")));
        ASSERT_TRUE(secrets.ok());
        secret = secrets->front();
        recipientText = Trimmed(Capture("age-keygen -y '" + Path("key.txt") + "'"));
        platform::Expected<std::string> pub = disclosure::age::ParseRecipient(recipientText);
        ASSERT_TRUE(pub.ok()) << recipientText;
        publicKey = *pub;
    }
    std::string Path(const std::string& name) const { return prefix() + "/" + name; }
    static int Run(const std::string& command) { return std::system(command.c_str()); }
    static std::string Trimmed(std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }
    // What a shell command prints.
    static std::string Capture(const std::string& command) {
        std::string out;
        FILE* p = ::popen(command.c_str(), "r");
        if (!p)
            return out;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        ::pclose(p);
        return out;
    }
    // age reads a passphrase from its terminal only: script(1) gives it one, fed from a pipe.
    static int WithTerminal(const std::string& answers, const std::string& command) {
        return Run("printf '" + answers + "' | script -qec \"" + command +
                   "\" /dev/null >/dev/null");
    }
    static std::string Pattern(std::size_t n) {
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i)
            s[i] = static_cast<char>((i * 131 + i / 7) & 0xff);
        return s;
    }
    static platform::Expected<std::string> Encrypt(const std::string& plain,
                                                   const disclosure::age::Recipients& to) {
        MemorySink sink;
        auto started = disclosure::age::Encryption::Start(sink, to);
        if (!started)
            return started.error();
        if (auto w = (*started)->Writer().Write(plain.data(), plain.size()); !w)
            return w.error();
        if (auto f = (*started)->Finish(); !f)
            return f.error();
        return sink.bytes_;
    }
    static platform::Expected<std::string> Decrypt(const std::string& file,
                                                   const disclosure::age::Unlock& with,
                                                   std::size_t piece = 1 << 20) {
        MemorySource source(file, piece);
        auto started = disclosure::age::Decryption::Start(source, with);
        if (!started)
            return started.error();
        std::string plain;
        char buf[10000];
        for (;;) {
            platform::Expected<std::size_t> n = (*started)->Reader().Read(buf, sizeof buf);
            if (!n)
                return n.error();
            if (*n == 0)
                return plain;
            plain.append(buf, *n);
        }
    }
    disclosure::age::Recipients ToKey() const { return {{publicKey}, std::nullopt}; }
    disclosure::age::Unlock WithKey() const { return {{secret}, std::nullopt}; }
    std::string secret, publicKey, recipientText;
};
