#include "ImageSource.h"

#include <cctype>

#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"
#ifdef QUILLON_HAVE_DISC
#include "disc/DiscImageFiles.h"
#endif

std::string CommandHostPath(const std::string& path) {
    const bool drivePath =
        path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
    std::string host = drivePath ? platform::ResolvePath(path) : path;
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

std::unique_ptr<integrity::ImageFiles> OpenCommandImage(const std::string& disc,
                                                        const std::string& folder,
                                                        std::string& why) {
    if (!disc.empty()) {
#ifdef QUILLON_HAVE_DISC
        return disc::OpenDiscImage(
            static_cast<char>(std::toupper(static_cast<unsigned char>(disc[0]))), why);
#else
        why = "this quillon-cli was built without disc support";
        return nullptr;
#endif
    }
    const std::string host = CommandHostPath(folder);
    if (host.empty() || !platform::IsDirectory(host)) {
        why = folder + " is not a folder";
        return nullptr;
    }
    return integrity::OpenFolderImage(host);
}
