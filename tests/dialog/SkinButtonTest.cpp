// The skinned button over the skin in data/GUIS: cut, placed, drawn and its looks.
#include <QEnterEvent>
#include <QPainter>
#include <QTest>
#include <filesystem>

#include "TestEnv.h"
#include "controls/CxSkinButton.h"
#include "platform/DrivePaths.h"

namespace fs = std::filesystem;

namespace {

constexpr QRgb kRed = 0xFFFF0000;

class SkinButtonTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        fs::create_directories(driveC() + "/skin");
        fs::copy(std::string(QUILLON_SOURCE_DIR) + "/data/GUIS", driveC() + "/skin/GUIS");
        const std::string guis = driveC() + "/skin/GUIS/";
        WriteText(guis + "btn.pos", ReadText(guis + "btn.pos") +
                                        "Tiled=10,40,100,30,2,\nOneToOne=200,40,10,10,0,\n"
                                        "AtOrigin=0,0,10,10,0,\n");
        WriteText(guis + "cut.pos",
                  ReadText(guis + "cut.pos") + "Tiled=0,0,40,30,0,\nOneToOne=120,0,40,30,0,\n");
        std::array<std::vector<std::uint8_t>, 5> files;
        for (std::size_t i = 0; const char* name : {"Normal", "Over", "Down", "Disable", "Mask"}) {
            const std::string bytes = ReadText(guis + "QOR_S_" + name + ".bmp");
            files[i++].assign(bytes.begin(), bytes.end());
        }
        bitmaps = SkinBitmaps::FromFiles(files);
        parent.resize(400, 100);
        parent.setAutoFillBackground(true);
        QPalette red = parent.palette();
        red.setColor(QPalette::Window, QColor(kRed));
        parent.setPalette(red);
    }
    CxSkinButton* Make(const std::string& key) {
        auto* b = new CxSkinButton(&parent);
        b->SetSkinPath("C:\\skin");
        b->SetSkinInfo("BackupDlg", key, "BackupDlg", key, 0xFFFFFF, bitmaps);
        return b;
    }
    QImage Shot(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    SkinBitmaps bitmaps;
    QWidget parent;
};

}  // namespace

TEST_F(SkinButtonTest, CutAndPlacedByItsEntriesWithTheMasksWhiteShowingThrough) {
    ASSERT_FALSE(bitmaps.normal.isNull());
    CxSkinButton* stop = Make("ViewStop");
    EXPECT_EQ(stop->geometry(), QRect(134, 2, 40, 30));
    EXPECT_TRUE(stop->hasCut());
    EXPECT_EQ(stop->drawMode(), 1);
    EXPECT_EQ(stop->title(), "ViewStop");  // no title entry: the key
    const QImage all = Shot(&parent);
    EXPECT_EQ(all.pixel(134, 2), kRed);                                         // a rounded corner
    EXPECT_EQ(all.pixel(154, 17), bitmaps.normal.pixel(140, 15) | 0xFF000000);  // the symbol

    // Tiled: the cell again every 40 pixels, no mask; 1:1 keeps the image's size.
    CxSkinButton* tiled = Make("Tiled");
    CxSkinButton* one = Make("OneToOne");
    CxSkinButton* origin = Make("AtOrigin");
    EXPECT_EQ(tiled->geometry(), QRect(10, 40, 100, 30));
    EXPECT_EQ(tiled->drawMode(), 2);
    EXPECT_EQ(one->geometry(), QRect(200, 40, 40, 30));
    EXPECT_EQ(origin->pos(), QPoint(0, 0));  // mode 0 at 0,0 is not moved
    const QImage t = Shot(tiled);
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 30; y += 7)
            ASSERT_EQ(t.pixel(x, y), t.pixel(x + 40, y)) << x << "," << y;
    EXPECT_EQ(t.pixel(0, 0), 0xFFFFFFFF);  // the cell's own white corner, unmasked
}

TEST_F(SkinButtonTest, HoverPressedAndDisabledEachHaveTheirLook) {
    CxSkinButton* b = Make("ViewForward");
    parent.show();
    const QImage normal = Shot(b);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(b, &enter);
    EXPECT_TRUE(b->mouseOver());
    const QImage hover = Shot(b);
    EXPECT_NE(hover, normal);
    EXPECT_EQ(hover.pixel(20, 15), bitmaps.over.pixel(160 + 20, 15) | 0xFF000000);

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_TRUE(b->IsBtnDown());
    EXPECT_FALSE(b->mouseOver());  // the pressed look replaces the hover look
    const QImage down = Shot(b);
    EXPECT_TRUE(down != normal && down != hover);
    int clicks = 0;
    QObject::connect(b, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_FALSE(b->IsBtnDown());
    EXPECT_EQ(clicks, 1);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
    EXPECT_EQ(Shot(b), normal);
    b->setEnabled(false);
    EXPECT_NE(Shot(b), normal);  // disabled
    b->setEnabled(true);
    b->SetEnable(true);  // latched: the pressed image over the normal one
    EXPECT_EQ(Shot(b), down);
}

TEST_F(SkinButtonTest, ARegionFromAMaskAndASkinFromFiles) {
    QImage mask(4, 3, QImage::Format_RGB32);
    mask.fill(Qt::white);
    for (const QPoint p : {QPoint(1, 0), QPoint(2, 0), QPoint(3, 2)})
        mask.setPixel(p, 0);
    EXPECT_EQ(CreateRgnFromBitmap(mask, 0xFFFFFF), QRegion(1, 0, 2, 1) + QRegion(3, 2, 1, 1));
    EXPECT_TRUE(CreateRgnFromBitmap(QImage(), 0xFFFFFF).isNull());

    CxSkinButton* b = new CxSkinButton(&parent);
    b->SetSkinPath("C:\\skin");
    ASSERT_TRUE(b->SetSkin("BackupDlg", "ViewLast", "GUIS\\QOR_S_Normal.bmp",
                           "GUIS\\QOR_S_Down.bmp", "GUIS\\QOR_S_Over.bmp",
                           "GUIS\\QOR_S_Disable.bmp", "GUIS\\QOR_S_Mask.bmp"));
    EXPECT_FALSE(b->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(b->mask().contains(QPoint(20, 15)));
    // A missing file leaves the button without images: it draws the button face.
    CxSkinButton* bare = new CxSkinButton(&parent);
    bare->SetSkinPath("C:\\nowhere");
    EXPECT_FALSE(
        bare->SetSkin("BackupDlg", "ViewLast", "a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"));
    EXPECT_FALSE(Shot(bare).isNull());
}
