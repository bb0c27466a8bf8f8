// The MP4 files of an image are found wherever they lie in it and each is checked; one read out
// of an image that is no folder is copied into a scratch folder that goes with the check.
#include "mp4/ImageVideos.h"

#include <filesystem>

#include "ScopedEnv.h"
#include "TestEnv.h"

namespace fs = std::filesystem;

using ImageVideosTest = TempPrefixTest;

TEST_F(ImageVideosTest, EveryMp4FileOfAnImageIsCheckedAndItsCopiesGo) {
    const std::string root = prefix() + "/image";
    fs::create_directories(root + "/2010_05_23=10,00~10,02/20100523");
    WriteText(root + "/2010_05_23=10,00~10,02/20100523/cam01.mp4", "no boxes at all");
    WriteText(root + "/B.MP4", "neither");
    WriteText(root + "/2010_05_23=10,00~10,02/20100523/201005231000N.dat", "a minute");
    WriteText(root + "/notes.mp4.txt", "not a video");

    const std::vector<mp4::VideoCheck> found = mp4::CheckFolderVideos(root, "");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "2010_05_23=10,00~10,02/20100523/cam01.mp4");
    EXPECT_EQ(found[1].name, "B.MP4");
    for (const mp4::VideoCheck& v : found)
        EXPECT_FALSE(v.check.ok()) << v.name;

    const std::string scratch = prefix() + "/tmp";
    fs::create_directories(scratch);
    const ScopedEnv tmp("TMPDIR", scratch);
    const auto image = integrity::OpenFolderImage(root);
    std::vector<mp4::VideoCheck> read;
    std::string problem;
    ASSERT_TRUE(mp4::CheckImageVideos(*image, "", read, problem)) << problem;
    ASSERT_EQ(read.size(), 2u);
    for (const mp4::VideoCheck& v : read) {
        EXPECT_FALSE(v.check.ok()) << v.name;
        // Refused for what it holds, not for a copy that did not arrive.
        EXPECT_EQ(v.check.problem, found[v.name == found[0].name ? 0 : 1].check.problem);
    }
    EXPECT_TRUE(fs::is_empty(scratch));
}
