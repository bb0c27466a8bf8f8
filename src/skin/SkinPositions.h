#pragma once
// The skin's position files and title entries, as the skinned buttons read them: btn.pos places
// a button (x, y, w, h and a draw mode), cut.pos says which rectangle of the shared skin
// bitmaps holds its images, and the language file may give it a title and a font.
#include <string>
#include <utility>
#include <vector>

namespace skin {

struct ButtonPosition {
    int x = 0, y = 0, w = 0, h = 0;
    int drawMode = 0;  // as written; ClampDrawMode gives the mode drawn
};

struct CutPosition {
    int x = 0, y = 0, w = 0, h = 0;
    int extra = 0;  // the fifth number: kept, not used
    bool found = false;
};

struct TitleInfo {
    std::string title;  // the key itself when the entry is missing
    std::string face;
    long charset = 0;
    int height = 0;
    int weight = 0;
};

// "%s\GUIS\btn.pos" and "%s\GUIS\cut.pos" of a skin folder.
std::string ButtonPositionFile(const std::string& skinPath);
std::string CutPositionFile(const std::string& skinPath);

// The comma-separated fields of a value, empty ones skipped.
std::vector<std::string> SplitFields(const std::string& value);
// Draw modes are 0 (1:1), 1 (stretched) and 2 (tiled); others are taken as the nearest.
int ClampDrawMode(int mode);

// A missing entry is all zero (draw mode 0); missing fields are 0.
ButtonPosition ReadButtonPosition(const std::string& file, const std::string& section,
                                  const std::string& key);
// "x,y,w,h,mode," - the trailing comma as the files have it.
bool WriteButtonPosition(const std::string& file, const std::string& section,
                         const std::string& key, const ButtonPosition& position);
CutPosition ReadCutPosition(const std::string& file, const std::string& section,
                            const std::string& key);
// Only x and y of a panel's entry; 0, 0 when missing.
std::pair<int, int> ReadPanPosition(const std::string& file, const std::string& section,
                                    const std::string& key);
TitleInfo ReadTitleInfo(const std::string& languageFile, const std::string& section,
                        const std::string& key);
// "title,face,charset,height,weight,".
bool WriteTitleInfo(const std::string& languageFile, const std::string& section,
                    const std::string& key, const TitleInfo& title);

}  // namespace skin
