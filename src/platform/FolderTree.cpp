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

Outcome Walk(int parent, const std::string& name, const std::string& relative,
             std::vector<TreeEntry>& out, int depth) {
    if (depth > 64)
        return Error{Error::Kind::kDamaged, "folders nested too deep at " + relative, ""};
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Error{errno == ENOENT ? Error::Kind::kNotFound : Error::Kind::kDamaged,
                     std::string("cannot be read: ") + std::strerror(errno),
                     relative.empty() ? name : relative};
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return Error{Error::Kind::kDamaged, "cannot be read", relative.empty() ? name : relative};
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    Outcome walked = Succeeded();
    for (const auto& n : names) {
        struct stat st;
        const std::string path = relative.empty() ? n : relative + "/" + n;
        if (::fstatat(::dirfd(dir), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone meanwhile
        if (S_ISDIR(st.st_mode)) {
            if (walked = Walk(::dirfd(dir), n, path, out, depth + 1); !walked)
                break;
            continue;
        }
        out.push_back({path, static_cast<long long>(st.st_size), S_ISREG(st.st_mode)});
    }
    ::closedir(dir);
    return walked;
}

}  // namespace

Expected<std::vector<TreeEntry>> ListTree(const std::string& hostRoot) {
    std::vector<TreeEntry> out;
    if (const Outcome walked = Walk(AT_FDCWD, hostRoot, std::string(), out, 0); !walked)
        return walked.error();
    return out;
}

}  // namespace platform
