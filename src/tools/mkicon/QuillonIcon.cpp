#include "QuillonIcon.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <filesystem>

namespace mkicon {
namespace fs = std::filesystem;

const std::vector<int>& IconSizes() {
    static const std::vector<int> sizes = {16, 22, 24, 32, 48, 64, 128, 256};
    return sizes;
}

QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double s = size;

    // The tile: a rounded square with a little margin, lighter at the top.
    const QRectF tile(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
    QLinearGradient sky(tile.topLeft(), tile.bottomLeft());
    sky.setColorAt(0, QColor(0x2f, 0x6f, 0xa8));
    sky.setColorAt(1, QColor(0x16, 0x3a, 0x60));
    p.setBrush(sky);
    p.drawRoundedRect(tile, s * 0.18, s * 0.18);

    // The disc the backup goes to, slightly below the middle.
    const QPointF centre(s * 0.47, s * 0.55);
    const double radius = s * 0.34;
    QRadialGradient shine(centre - QPointF(radius * 0.35, radius * 0.35), radius * 1.4);
    shine.setColorAt(0, QColor(0xfa, 0xfb, 0xfc));
    shine.setColorAt(1, QColor(0xa9, 0xb6, 0xc2));
    p.setBrush(shine);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(0xd5, 0xdc, 0xe3));
    p.drawEllipse(centre, radius * 0.34, radius * 0.34);
    p.setBrush(QColor(0x16, 0x3a, 0x60));  // the hole shows the tile's dark end
    p.drawEllipse(centre, radius * 0.14, radius * 0.14);

    // The recording mark: a red dot with a white rim at the upper right.
    const QPointF mark(s * 0.76, s * 0.25);
    p.setBrush(Qt::white);
    p.drawEllipse(mark, s * 0.15, s * 0.15);
    p.setBrush(QColor(0xe0, 0x32, 0x2d));
    p.drawEllipse(mark, s * 0.115, s * 0.115);
    p.end();
    return image;
}

bool WriteIconTheme(const std::string& root, const std::vector<int>& sizes, std::string* why) {
    for (int size : sizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const fs::path folder = fs::path(root) / "hicolor" / name / "apps";
        const fs::path file = folder / "quillon.png";
        fs::path temp = file;
        temp += ".quillon-part";
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (!DrawIcon(size).save(QString::fromStdString(temp.string()), "PNG")) {
            fs::remove(temp, ec);
            if (why)
                *why = "cannot write " + temp.string();
            return false;
        }
        fs::rename(temp, file, ec);
        if (ec) {
            fs::remove(temp, ec);
            if (why)
                *why = "cannot rename " + temp.string() + " to " + file.string();
            return false;
        }
    }
    return true;
}

}  // namespace mkicon
