// The encoder makes its file itself: a folder held to its volume (a pass's image) takes no file
// that would sit on the disk beneath a stick pulled away.
#ifdef QUILLON_HAVE_VIDEO
#include <filesystem>

#include "TestEnv.h"
#include "mkrec/JpegPicture.h"
#include "platform/FileSystem.h"
#include "platform/VolumePin.h"
#include "video/Mp4Encoder.h"

class Mp4EncoderPinTest : public TempPrefixTest {};

TEST_F(Mp4EncoderPinTest, AnEncodeBelowAFolderHeldToAnotherVolumeMakesNoFile) {
    const std::string folder = prefix() + "/image";
    std::filesystem::create_directories(folder);
    const std::vector<std::uint8_t> jpeg = mkrec::MakeJpegPicture(64, 48, 1, 10, 0, 0, 1, 80);
    std::string why;
    {
        platform::VolumePin held(folder, platform::VolumeOf(folder));
        video::Mp4Encoder kept;
        kept.Prepare(folder + "/kept.mp4", 1274608800, "kept", false);
        ASSERT_EQ(kept.AddPicture(jpeg.data(), jpeg.size(), 0, why),
                  video::Mp4Encoder::Added::kAdded)
            << why;
        ASSERT_TRUE(kept.Finish(why)) << why;
    }
    platform::VolumePin elsewhere(folder, platform::VolumeOf(folder) + 1);
    video::Mp4Encoder lost;
    lost.Prepare(folder + "/lost.mp4", 1274608800, "lost", false);
    EXPECT_EQ(lost.AddPicture(jpeg.data(), jpeg.size(), 0, why), video::Mp4Encoder::Added::kFailed);
    EXPECT_NE(why.find("volume was taken away"), std::string::npos) << why;
    EXPECT_TRUE(std::filesystem::exists(folder + "/kept.mp4"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/lost.mp4"));
}
#endif
