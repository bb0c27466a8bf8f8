// The image folder as a tar archive: the system's tar takes ours apart into the same files, we
// take the system's apart, and an archive that reaches outside its folder, makes links or names
// a file twice leaves its refusal and nothing else.
#include <sys/stat.h>

#include <filesystem>

#include <gmock/gmock.h>

#include "AgeFixture.h"
#include "disclosure/TarExtract.h"
#include "disclosure/TarFormat.h"
#include "disclosure/TarWriter.h"

namespace fs = std::filesystem;
namespace tar = disclosure::tar;
using testing::HasSubstr;

class TarTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        image = prefix() + "/Img";
        WriteText(image + "/SHA256SUMS", "sums\n");
        WriteText(image + "/a/empty.dat", "");
        WriteText(image + "/a/b/block.dat", std::string(512, 'b'));
        WriteText(image + "/a/b/odd.dat", std::string(70001, 'o'));
        fs::create_directories(image + "/empty-folder");
        // Over the 100 bytes of the name field: a pax header carries it.
        longName = "a/" + std::string(60, 'd') + "/" + std::string(70, 'f') + ".idx";
        WriteText(image + "/" + longName, "long");
    }
    std::string Archive(const std::string& folder, platform::Outcome* result = nullptr) {
        MemorySink sink;
        const platform::Outcome written = disclosure::WriteFolderAsTar(folder, "Img", sink);
        if (result)
            *result = written;
        else
            EXPECT_TRUE(written.ok()) << written.error().Said();
        return sink.bytes_;
    }
    platform::Expected<std::string> Extract(const std::string& archive, const std::string& into) {
        fs::create_directories(into);
        MemorySource source(archive, 1000);
        return disclosure::ExtractTar(source, into);
    }
    // An archive of one entry header per (name, type, data), then the end.
    static std::string Crafted(const std::vector<std::tuple<std::string, char, std::string>>& e,
                               const std::string& after = "") {
        std::string out;
        for (const auto& [name, type, data] : e) {
            out += tar::HeaderBlock({name, data.size(), 0, 0644, type});
            out += data + std::string(tar::Padding(data.size()), '\0');
        }
        return out + std::string(1024, '\0') + after;
    }
    std::string image, longName;
};

TEST_F(TarTest, TheSystemsTarAndOursTakeEachOthersArchivesApart) {
    const std::string archive = Archive(image);
    EXPECT_EQ(archive.size() % tar::kBlock, 0u);
    WriteText(prefix() + "/ours.tar", archive);
    fs::create_directories(prefix() + "/theirs");
    ASSERT_EQ(
        std::system(("tar -xf '" + prefix() + "/ours.tar' -C '" + prefix() + "/theirs'").c_str()),
        0);
    EXPECT_EQ(EntriesBelow(prefix() + "/theirs/Img"), EntriesBelow(image));
    platform::Expected<std::string> top = Extract(archive, prefix() + "/back");
    ASSERT_TRUE(top.ok()) << top.error().Said();
    EXPECT_EQ(*top, "Img");
    EXPECT_EQ(EntriesBelow(prefix() + "/back/Img"), EntriesBelow(image));
    // A pax archive of the system's tar.
    ASSERT_EQ(std::system(("cd '" + prefix() + "' && tar --format=pax -cf sys.tar Img").c_str()),
              0);
    top = Extract(ReadText(prefix() + "/sys.tar"), prefix() + "/sys");
    ASSERT_TRUE(top.ok()) << top.error().Said();
    EXPECT_EQ(EntriesBelow(prefix() + "/sys/Img"), EntriesBelow(image));
}

TEST_F(TarTest, ALinkOrAPipeInTheFolderIsRefusedByName) {
    fs::create_symlink("/etc/passwd", image + "/a/b/passwd");
    platform::Outcome result = platform::Succeeded();
    Archive(image, &result);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().path, "Img/a/b/passwd");
    EXPECT_THAT(result.error().text, HasSubstr("is a link"));
    fs::remove(image + "/a/b/passwd");
    ASSERT_EQ(::mkfifo((image + "/a/pipe").c_str(), 0600), 0);
    Archive(image, &result);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().path, "Img/a/pipe");
    EXPECT_THAT(result.error().text, HasSubstr("named pipe"));
}

TEST_F(TarTest, ArchivesReachingOutsideTheirFolderAreRefused) {
    struct Case {
        std::string archive, says;
    };
    const std::vector<Case> cases = {
        {Crafted({{"/etc/evil", tar::kFile, "x"}}), "outside the folder"},
        {Crafted({{"Img/../../evil", tar::kFile, "x"}}), "outside the folder"},
        {Crafted({{"Img/./x", tar::kFile, "x"}}), "outside the folder"},
        {Crafted({{"Img/link", '2', ""}}), "a symbolic link"},
        {Crafted({{"Img/hard", '1', ""}}), "a hard link"},
        {Crafted({{"Img/x", tar::kFile, "1"}, {"Img/x", tar::kFile, "2"}}), "names it twice"},
        {Crafted({{"Img/x", tar::kFile, "1"}, {"Other/y", tar::kFile, "2"}}),
         "outside the "
         "archive's top"},
        {Crafted({{"Img/x", tar::kFile, "1"}}, std::string(1, 'z')), "data after its end"},
        {Crafted({{"Img/x", tar::kFile, std::string(600, 'x')}}).substr(0, 700), "cut short"},
        {Crafted({}), "holds nothing"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const std::string into = prefix() + "/into" + std::to_string(n++);
        platform::Expected<std::string> top = Extract(c.archive, into);
        ASSERT_FALSE(top.ok());
        EXPECT_THAT(top.error().text, HasSubstr(c.says));
    }
    EXPECT_FALSE(fs::exists(prefix() + "/evil"));
    EXPECT_FALSE(fs::exists("/etc/evil"));
    // A checksum that does not match.
    std::string damaged = Crafted({{"Img/x", tar::kFile, "1"}});
    damaged[0] = 'J';
    EXPECT_THAT(Extract(damaged, prefix() + "/damaged").error().text,
                HasSubstr("damaged header block"));
    // A name that is not safe by any spelling.
    std::vector<std::string> parts;
    for (const char* name : {"", "/a", "a//b", "a/..", "a\\b", "a/\x01"})
        EXPECT_FALSE(disclosure::SafeEntryName(name, parts)) << name;
    EXPECT_TRUE(disclosure::SafeEntryName("Img/a/b.dat", parts));
    EXPECT_EQ(parts, (std::vector<std::string>{"Img", "a", "b.dat"}));
}
