// Where the programs take the token from; the first given wins.
#include <sys/stat.h>
#include <unistd.h>

#include "ShareFixture.h"
#include "share/TokenSource.h"

class TokenSourceTest : public TempPrefixTest {};

TEST_F(TokenSourceTest, ATokenFileOfThisUserAloneGivesItsOneLineAndWhatCannotBeAHeaderIsNone) {
    for (const char* text :
         {"tk-0123456789abcdef", "tk-0123456789abcdef\n", "  tk-0123456789abcdef \r\n\n"}) {
        const std::string path = Secret("token", text, 0600);
        const share::FoundToken found = share::ReadTokenFile(path);
        EXPECT_EQ(found.problem, "") << text;
        EXPECT_EQ(found.value, "tk-0123456789abcdef") << text;
        EXPECT_EQ(found.from, "the token file " + path);
    }
    EXPECT_EQ(share::ReadTokenFile(Secret("ro", "tk-ro", 0400)).value, "tk-ro");
    for (const char* text : {"", "\n\n", "two words", "tk\x01", "t\xC3\xA9", "tk-a\ntk-b"}) {
        const share::FoundToken found = share::ReadTokenFile(Secret("bad", text, 0600));
        EXPECT_EQ(found.value, "") << text;
        EXPECT_NE(found.problem, "") << text;
    }
    EXPECT_NE(share::TokenTextProblem(std::string(1025, 'a')), "");
    EXPECT_EQ(share::TokenTextProblem(std::string(1024, 'a')), "");
    EXPECT_HAS(share::ReadTokenFile(Secret("huge", std::string(4096, 'a'), 0600)).problem,
               "longer than");
}

// A token file of ours alone is no secret in a folder where someone else may put another file in
// its place: every folder that leads to it must be changed by this user or root only, or be
// sticky as /tmp is.
TEST_F(TokenSourceTest, AFileOthersMayReachOrReplaceOrThatIsNoPlainFileOfOursIsRefused) {
    // The token file at path is taken when says is empty, else refused saying each of says.
    const auto check = [](const std::string& path, const std::vector<std::string>& says) {
        const share::FoundToken found = share::ReadTokenFile(path);
        EXPECT_EQ(found.problem.empty(), says.empty()) << path << ": " << found.problem;
        EXPECT_EQ(found.value, says.empty() ? "tk-folder-secret" : "") << path;
        if (says.empty())
            return;
        EXPECT_HAS(found.problem, path);
        for (const auto& part : says)
            EXPECT_HAS(found.problem, part);
        EXPECT_LACKS(found.problem, "secret");
    };
    // A file refused as one in a folder it cannot trust, saying why.
    const auto untrusted = [&](const std::string& path, const std::string& why) {
        check(path, {"the token file " + path + " cannot be trusted: ", why});
    };
    const auto in = [&](const std::string& folder, unsigned mode) {
        fs::create_directories(prefix() + "/" + folder);
        const std::string path = Secret(folder + "/token", "tk-folder-secret", 0600);
        ::chmod((prefix() + "/" + folder).c_str(), mode);
        return path;
    };
    const std::string open = prefix() + "/open";
    check(Secret("world", "tk-world-secret", 0644), {"mode 0644"});
    check(Secret("group", "tk-group-secret", 0640), {"mode 0640"});
    check(Secret("exec", "tk-exec-secret", 0700), {"mode 0700"});
    check(prefix() + "/missing", {"does not exist"});
    untrusted(in("open", 0777), "the folder " + open + " may be changed by others (mode 0777)");
    untrusted(in("shared", 0770),
              "the folder " + prefix() + "/shared may be changed by others (mode 0770)");
    check(in("sticky", 01777), {});
    check(in("plain", 0755), {});
    fs::create_symlink(Secret("target", "tk-link-secret", 0600), prefix() + "/link");
    check(prefix() + "/link", {"symbolic link"});
    fs::create_directory(prefix() + "/folder");
    ::chmod((prefix() + "/folder").c_str(), 0700);
    check(prefix() + "/folder", {"not a regular file"});
    // A folder above the file's is as much the file's: below an open one, nothing is safe.
    fs::create_directories(open + "/below");
    ::chmod((open + "/below").c_str(), 0700);
    untrusted(Secret("open/below/token", "tk-below-secret", 0600),
              "the folder " + open + " may be changed by others");
    // A link to a folder leads the chain through the folder it names.
    fs::create_directory_symlink(open, prefix() + "/leads");
    untrusted(prefix() + "/leads/below/token", "the folder " + open + " may be changed");
    if (::geteuid() != 0)
        return;
    // Only root can give a file away; a token file of another user is never ours, and a sticky
    // folder of another user is still that user's to change.
    const std::string theirs = Secret("theirs", "tk-theirs-secret", 0600);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    check(theirs, {"belongs to user 65534"});
    const std::string sticky = in("sticky-theirs", 01777);
    ASSERT_EQ(::chown((prefix() + "/sticky-theirs").c_str(), 65534, 65534), 0);
    untrusted(sticky, "the folder " + prefix() + "/sticky-theirs belongs to user 65534");
}

TEST_F(TokenSourceTest, TheFileGivenComesFirstThenTheVariableThenTheCredential) {
    const std::string file = Secret("token", "tk-from-file", 0600);
    const std::string credentials = prefix() + "/credentials";
    fs::create_directory(credentials);
    Secret("credentials/token", "tk-from-credential\n", 0400);
    ScopedEnv folder("CREDENTIALS_DIRECTORY", credentials.c_str());
    {
        ScopedEnv variable(share::kTokenVariable, "tk-from-variable");
        EXPECT_EQ(share::FindToken(file).value, "tk-from-file");
        const share::FoundToken found = share::FindToken("");
        EXPECT_EQ(found.value, "tk-from-variable");
        EXPECT_EQ(found.from, "QUILLON_SHARE_TOKEN");
    }
    {
        // Set but empty is not set, as the shell's `QUILLON_SHARE_TOKEN= program` means it.
        ScopedEnv variable(share::kTokenVariable, "");
        const share::FoundToken found = share::FindToken("");
        EXPECT_EQ(found.value, "tk-from-credential");
        EXPECT_EQ(found.from, "the credential " + credentials + "/token");
    }
    ScopedEnv noVariable(share::kTokenVariable, nullptr);
    // The service manager may hand the file over owned by another user through an access list:
    // only a file every user may read is refused.
    ::chmod((credentials + "/token").c_str(), 0440);
    EXPECT_EQ(share::FindToken("").value, "tk-from-credential");
    ::chmod((credentials + "/token").c_str(), 0444);
    EXPECT_HAS(share::FindToken("").problem, "every user");
    // Credentials without ours, or none at all: no token, and nothing wrong.
    fs::remove(credentials + "/token");
    EXPECT_EQ(share::FindToken("").value, "");
    EXPECT_EQ(share::FindToken("").problem, "");
    {
        ScopedEnv noFolder("CREDENTIALS_DIRECTORY", nullptr);
        const share::FoundToken none = share::FindToken("");
        EXPECT_EQ(none.value, "");
        EXPECT_EQ(none.from, "");
        EXPECT_EQ(none.problem, "");
    }
    ScopedEnv badVariable(share::kTokenVariable, "two words");
    const share::FoundToken bad = share::FindToken("");
    EXPECT_EQ(bad.value, "");
    EXPECT_HAS(bad.problem, "QUILLON_SHARE_TOKEN");
    EXPECT_LACKS(bad.problem, "two words");
}
