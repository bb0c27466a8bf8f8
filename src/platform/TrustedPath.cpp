#include "platform/TrustedPath.h"

#include "platform/PlainFileRead.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// Why someone else may change what st describes ("" when none may).
std::string OwnerProblem(const struct stat& st) {
    const uid_t me = ::geteuid();
    if (st.st_uid != me && st.st_uid != 0)
        return "belongs to user " + std::to_string(st.st_uid) + ", neither this program's user " +
               std::to_string(me) + " nor root";
    return std::string();
}

// The folder and each one above it, "/" first, as spelled (absolute: below the current folder
// when it is relative).
std::vector<std::string> Chain(const std::string& folder) {
    std::string path = folder;
    if (path.empty() || path[0] != '/') {
        char here[PATH_MAX];
        if (!::getcwd(here, sizeof here))
            return {};
        path = std::string(here) + "/" + path;
    }
    std::vector<std::string> chain{"/"};
    for (std::size_t at = 1; at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at)
            chain.push_back(path.substr(0, end));
        at = end + 1;
    }
    return chain;
}

Outcome ChainProblem(const std::vector<std::string>& chain) {
    using Kind = Error::Kind;
    for (const std::string& folder : chain) {
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0)
            return Error{
                errno == ENOENT ? Kind::kNotFound : Kind::kFailed,
                "the folder " + folder + " cannot be looked at (" + std::strerror(errno) + ")", ""};
        // A link is changed by whoever may change its folder, checked before it; what it leads
        // to is checked in the chain of the real path.
        if (const std::string problem = OwnerProblem(st); !problem.empty())
            return Error{Kind::kRefused, "the folder " + folder + " " + problem, ""};
        if (S_ISLNK(st.st_mode))
            continue;
        if (!S_ISDIR(st.st_mode))
            return Error{Kind::kNotFound, "is not a folder", folder};
        const unsigned mode = static_cast<unsigned>(st.st_mode);
        if ((mode & 022) && !(mode & S_ISVTX))
            return Error{Kind::kRefused,
                         "the folder " + folder + " may be changed by others (mode " +
                             OctalMode(mode) + "); make it writable by its owner only (chmod go-w)",
                         ""};
    }
    return Succeeded();
}

}  // namespace

Outcome CheckFolderChain(const std::string& hostFolder) {
    const std::vector<std::string> spelled = Chain(hostFolder);
    if (spelled.empty())
        return Error{Error::Kind::kFailed,
                     "the folder " + hostFolder + " cannot be found from the current folder", ""};
    if (Outcome checked = ChainProblem(spelled); !checked)
        return checked;
    char* real = ::realpath(hostFolder.c_str(), nullptr);
    if (!real)
        return Error{
            errno == ENOENT ? Error::Kind::kNotFound : Error::Kind::kFailed,
            "the folder " + hostFolder + " cannot be looked at (" + std::strerror(errno) + ")", ""};
    const std::string resolved = real;
    std::free(real);
    return resolved == spelled.back() ? Succeeded() : ChainProblem(Chain(resolved));
}

Expected<std::string> ReadTrustedFile(const std::string& hostPath, std::size_t limit) {
    PlainFileRead file;
    if (Outcome opened = file.Open(hostPath); !opened)
        return opened.error();
    const struct stat& st = file.status();
    if (const std::string problem = OwnerProblem(st); !problem.empty())
        return Error{Error::Kind::kRefused, problem, hostPath};
    const unsigned mode = static_cast<unsigned>(st.st_mode);
    if (mode & 022)
        return Error{Error::Kind::kRefused,
                     "may be changed by others (mode " + OctalMode(mode) +
                         "); make it writable by its owner only (chmod go-w)",
                     hostPath};
    const std::size_t slash = hostPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : hostPath.substr(0, slash + 1);
    if (const Outcome chain = CheckFolderChain(folder); !chain)
        return Error{chain.error().kind, "cannot be trusted: " + chain.error().Said(), hostPath};
    return file.ReadAll(limit);
}

}  // namespace platform
