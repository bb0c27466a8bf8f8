// An image's files as a check reads them: what fails says of which file, and what kind of
// failure it is, so that nobody takes our own words apart again.
#include <filesystem>

#include "TestEnv.h"
#include "integrity/ImageFiles.h"
#include "integrity/Verify.h"

namespace fs = std::filesystem;
using Kind = platform::Error::Kind;

class ImageFilesTest : public TempPrefixTest {};

TEST_F(ImageFilesTest, AFileThatCannotBeHadSaysWhichAndWhy) {
    const std::string root = prefix() + "/image";
    fs::create_directories(root + "/folder");
    // A link where the manifest belongs: listed, but never followed.
    fs::create_directory_symlink("folder", root + "/SHA256SUMS");
    WriteText(root + "/big.dat", std::string(100, 'x'));
    const auto image = integrity::OpenFolderImage(root);

    const auto tooLarge = image->ReadWhole("big.dat", 99);
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.error().kind, Kind::kDamaged);
    EXPECT_EQ(tooLarge.error().Said(), "big.dat is too large");
    ASSERT_TRUE(image->ReadWhole("big.dat", 100));
    EXPECT_EQ(image->ReadWhole("big.dat", 100)->size(), 100u);

    const auto outside = image->ReadWhole("../image/big.dat");
    ASSERT_FALSE(outside);
    EXPECT_EQ(outside.error().kind, Kind::kRefused);
    EXPECT_EQ(image->ReadWhole("gone.dat").error().kind, Kind::kNotFound);

    EXPECT_EQ(integrity::VerifyImage(*image, {}).manifestProblem, "SHA256SUMS cannot be opened");
}
