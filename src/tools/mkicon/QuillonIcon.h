#pragma once
// The application icon, drawn rather than kept as a picture: a blue tile, a disc and a red
// recording mark, with its proportions kept at every size so that it reads at 16 pixels too.
#include <QImage>
#include <string>
#include <vector>

namespace mkicon {

// The sizes a desktop asks a hicolor theme for.
const std::vector<int>& IconSizes();

// The icon at size x size pixels, transparent around the tile.
QImage DrawIcon(int size);

// Writes <root>/hicolor/<n>x<n>/apps/quillon.png for each size. False, with why, when a file
// cannot be written; each file is written under a temporary name and renamed when whole.
bool WriteIconTheme(const std::string& root, const std::vector<int>& sizes, std::string* why);

}  // namespace mkicon
