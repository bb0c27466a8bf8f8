// The application icon as the desktop meets it: each size drawn at that size, round at the
// corners and whole in the middle, written as the hicolor theme wants it, the same every time.
#include "mkicon/QuillonIcon.h"

#include <filesystem>

#include "TestEnv.h"

using QuillonIconTest = TempPrefixTest;

TEST_F(QuillonIconTest, EachSizeIsATileWithRoundCornersADiscAndARedMark) {
    for (int size : mkicon::IconSizes()) {
        SCOPED_TRACE(size);
        const QImage icon = mkicon::DrawIcon(size);
        ASSERT_EQ(icon.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(size - 1, size - 1)), 0);
        // The disc is light and opaque below the middle, the mark red at the upper right, and
        // the tile shows between the disc and the corner.
        const QRgb disc = icon.pixel(size * 30 / 100, size * 70 / 100);
        EXPECT_EQ(qAlpha(disc), 255);
        EXPECT_GT(qGray(disc), 150);
        const QRgb mark = icon.pixel(size * 76 / 100, size * 25 / 100);
        EXPECT_GT(qRed(mark), 180);
        EXPECT_LT(qGreen(mark), 90);
        const QRgb tile = icon.pixel(size * 10 / 100, size / 2);
        EXPECT_EQ(qAlpha(tile), 255);
        EXPECT_GT(qBlue(tile), qRed(tile));
    }
}

TEST_F(QuillonIconTest, TheThemeHoldsEachSizeAsAPngThatReadsBackTheSameEveryTime) {
    const std::string root = prefix() + "/icons";
    std::string why;
    ASSERT_TRUE(mkicon::WriteIconTheme(root, {16, 48, 256}, &why)) << why;
    const auto first = FilesBelow(root);
    ASSERT_EQ(first.size(), 3u);
    for (int size : {16, 48, 256}) {
        const std::string file = root + "/hicolor/" + std::to_string(size) + "x" +
                                 std::to_string(size) + "/apps/quillon.png";
        QImage read;
        ASSERT_TRUE(read.load(QString::fromStdString(file), "PNG")) << file;
        EXPECT_EQ(read.size(), QSize(size, size));
        EXPECT_EQ(read.convertToFormat(QImage::Format_ARGB32),
                  mkicon::DrawIcon(size).convertToFormat(QImage::Format_ARGB32));
    }
    ASSERT_TRUE(mkicon::WriteIconTheme(root, {16, 48, 256}, &why)) << why;
    EXPECT_EQ(FilesBelow(root), first);  // a package built twice holds the same bytes

    // A folder that cannot be written is said and leaves no part of a file.
    const std::string blocked = prefix() + "/blocked";
    WriteText(blocked + "/hicolor/32x32/apps", "a file where the folder should be");
    EXPECT_FALSE(mkicon::WriteIconTheme(blocked, {16, 32}, &why));
    EXPECT_NE(why.find("32x32"), std::string::npos) << why;
    for (const auto& [path, bytes] : FilesBelow(blocked))
        EXPECT_EQ(path.find(".quillon-part"), std::string::npos) << path;
}
