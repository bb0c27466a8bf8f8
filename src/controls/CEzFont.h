#pragma once
// A font description as the skinned controls take it from the language file.
#include <QFont>
#include <QString>

struct CEzFont {
    int charset = 0;
    unsigned color = 0xACA899;  // RGB(172, 168, 153)
    QString face = "Arial";
    int height = 14;  // pixels
    int weight = 400;

    // The font: a height in pixels and a weight on the 100-900 scale.
    QFont ToQFont() const {
        QFont f(face);
        f.setPixelSize(height > 0 ? height : (height < 0 ? -height : 14));
        f.setWeight(static_cast<QFont::Weight>(weight <= 0 ? 400 : weight > 1000 ? 1000 : weight));
        return f;
    }
};
