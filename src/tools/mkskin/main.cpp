// quillon-mkskin: draws the playback buttons' skin into a folder (data/GUIS in the repository),
// the same bytes every time.
#include <cstdio>
#include <string>

#include "mkskin/SkinArt.h"
#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon-mkskin FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const auto& file : mkskin::MakeSkin()) {
        const std::string path = platform::ToDrivePath(folder + "/" + file.name);
        if (!platform::WriteFileAtomically(path, file.bytes.data(), file.bytes.size())) {
            std::fprintf(stderr, "quillon-mkskin: %s could not be written\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
