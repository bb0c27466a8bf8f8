// quillon-mkicon: draws the application icon into a hicolor theme folder for the install.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "QuillonIcon.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: quillon-mkicon DIR [SIZE...]\n"
                     "  writes DIR/hicolor/NxN/apps/quillon.png for each size (default: 16 to "
                     "256)\n");
        return 2;
    }
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "quillon-mkicon: a size is 8 to 1024 pixels: %s\n", argv[i]);
            return 2;
        }
        sizes.push_back(size);
    }
    std::string why;
    if (!mkicon::WriteIconTheme(argv[1], sizes.empty() ? mkicon::IconSizes() : sizes, &why)) {
        std::fprintf(stderr, "quillon-mkicon: %s\n", why.c_str());
        return 1;
    }
    return 0;
}
