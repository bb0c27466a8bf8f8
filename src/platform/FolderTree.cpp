#include "platform/FolderTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

bool Walk(int parent, const std::string& name, const std::string& relative,
          std::vector<TreeEntry>& out, std::string& why, int depth) {
    if (depth > 64) {
        why = "folders nested too deep at " + relative;
        return false;
    }
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        why = (relative.empty() ? name : relative) + " cannot be read: " + std::strerror(errno);
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        why = relative + " cannot be read";
        return false;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    bool ok = true;
    for (const auto& n : names) {
        struct stat st;
        const std::string path = relative.empty() ? n : relative + "/" + n;
        if (::fstatat(::dirfd(dir), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone meanwhile
        if (S_ISDIR(st.st_mode)) {
            if (!Walk(::dirfd(dir), n, path, out, why, depth + 1)) {
                ok = false;
                break;
            }
            continue;
        }
        out.push_back({path, static_cast<long long>(st.st_size), S_ISREG(st.st_mode)});
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

bool ListTree(const std::string& hostRoot, std::vector<TreeEntry>& out, std::string& why) {
    out.clear();
    return Walk(AT_FDCWD, hostRoot, std::string(), out, why, 0);
}

}  // namespace platform
