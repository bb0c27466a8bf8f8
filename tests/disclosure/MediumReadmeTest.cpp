// The README of a medium of encrypted images: one section an image, a later image's added and an
// image encrypted again put in its own place, the others kept byte for byte; a README that is
// not one of these is refused rather than overwritten; a passphrase is never in it.
#include <gmock/gmock.h>

#include "disclosure/MediumReadme.h"
#include "disclosure/age/Keys.h"

namespace age = disclosure::age;
using disclosure::ReadmeImages;
using disclosure::ReadmeWithImage;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace {

age::Recipients Keys(int count) {
    age::Recipients to;
    for (int i = 0; i < count; ++i)
        to.publicKeys.push_back(std::string(31, 'k') + static_cast<char>('a' + i));
    return to;
}

age::Recipients Passphrase(const std::string& pass) {
    age::Recipients to;
    to.passphrase = pass;
    return to;
}

std::string Written(const std::string& existing, const std::string& file, long long bytes,
                    const age::Recipients& to) {
    const platform::Expected<std::string> text = ReadmeWithImage(existing, file, bytes, to);
    EXPECT_TRUE(text.ok()) << (text ? "" : text.error().Said());
    return text ? *text : std::string();
}

// The text of the section of file, heading to the next heading.
std::string SectionOf(const std::string& readme, const std::string& file) {
    const std::size_t at = readme.find("\n==== " + file + " ====\n");
    if (at == std::string::npos)
        return std::string();
    const std::size_t next = readme.find("\n\n==== ", at + 1);
    return readme.substr(at, next == std::string::npos ? std::string::npos : next + 1 - at);
}

}  // namespace

TEST(MediumReadmeTest, EachImageHasItsSectionAndALaterOneLeavesTheOthersAsTheyWere) {
    const std::string one = Written("", "Img.tar.age", 1234, Keys(2));
    EXPECT_THAT(ReadmeImages(one), ElementsAre("Img.tar.age"));
    EXPECT_THAT(one, HasSubstr("Img.tar.age: 1234 bytes."));
    EXPECT_THAT(one, HasSubstr("age -d -i KEY Img.tar.age | tar -x"));
    EXPECT_THAT(one, HasSubstr("    " + age::RecipientText(Keys(2).publicKeys[1]) + "\n"));
    EXPECT_THAT(one, HasSubstr("open BackupViewer/index.html"));
    EXPECT_THAT(one, HasSubstr("sha256sum -c SHA256SUMS"));

    const std::string two = Written(one, "Other.tar.age", 99, Passphrase("s3cret words"));
    EXPECT_THAT(ReadmeImages(two), ElementsAre("Img.tar.age", "Other.tar.age"));
    EXPECT_EQ(two.substr(0, one.size()), one);
    EXPECT_THAT(SectionOf(two, "Other.tar.age"), HasSubstr("age -d Other.tar.age | tar -x"));
    EXPECT_THAT(SectionOf(two, "Other.tar.age"), HasSubstr("passphrase"));
    EXPECT_THAT(two, Not(HasSubstr("s3cret")));

    // The first again, for one key of another size: its section in its place, the second's kept.
    const std::string again = Written(two, "Img.tar.age", 5678, Keys(1));
    EXPECT_THAT(ReadmeImages(again), ElementsAre("Img.tar.age", "Other.tar.age"));
    EXPECT_EQ(SectionOf(again, "Other.tar.age"), SectionOf(two, "Other.tar.age"));
    EXPECT_THAT(SectionOf(again, "Img.tar.age"), HasSubstr("Img.tar.age: 5678 bytes."));
    EXPECT_THAT(again, Not(HasSubstr("1234 bytes")));
    EXPECT_THAT(again, Not(HasSubstr(age::RecipientText(Keys(2).publicKeys[1]))));
    // Nothing changes what is already there.
    EXPECT_EQ(Written(again, "Img.tar.age", 5678, Keys(1)), again);
    EXPECT_EQ(Written(Written(again, "Third.tar.age", 1, Keys(1)), "Third.tar.age", 1, Keys(1)),
              Written(again, "Third.tar.age", 1, Keys(1)));
}

TEST(MediumReadmeTest, AReadmeOfAnotherKindOrANameThatCannotStandInOneIsRefused) {
    const std::string ours = Written("", "Img.tar.age", 1, Keys(1));
    for (const std::string& theirs :
         {std::string("Notes of the operator\n"), ours.substr(0, 40),
          ours.substr(0, ours.find("\n==== ")) + "\nadded before the images\n" +
              ours.substr(ours.find("\n==== ")),
          ours + "\n====  ====\n"}) {
        const platform::Expected<std::string> merged =
            ReadmeWithImage(theirs, "Other.tar.age", 1, Keys(1));
        EXPECT_FALSE(merged.ok()) << theirs;
        EXPECT_THAT(merged ? std::string() : merged.error().text, HasSubstr("left as it is"));
    }
    for (const std::string& name : {std::string("Img\n==== X.tar.age"), std::string("Img.tar"),
                                    std::string("Bell\a.tar.age")}) {
        const platform::Expected<std::string> named = ReadmeWithImage(ours, name, 1, Keys(1));
        EXPECT_FALSE(named.ok()) << name;
    }
}
