#include "share/DownloadFolder.h"

#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"
#include "share/ShareReplies.h"

namespace share {
namespace {

// A plain folder, not a link to one elsewhere.
bool IsPlainFolder(const std::string& host) {
    platform::FindData f;
    return platform::StatEntry(host, f) && f.isDirectory && !f.isLink;
}

}  // namespace

std::string PrepareDownloadPath(const std::string& folder, const std::string& name,
                                std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why)
            *why = reason;
        return std::string();
    };
    const std::string problem = RemoteNameProblem(name);
    if (!problem.empty())
        return fail(problem);
    if (!platform::CreateDirectoryTree(folder))
        return fail("the download folder " + folder + " cannot be made");
    std::string host = platform::ResolvePath(folder);
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    if (host.empty() || !platform::IsDirectory(host))
        return fail("the download folder " + folder + " cannot be reached");
    std::size_t start = 0;
    for (std::size_t slash; (slash = name.find('/', start)) != std::string::npos;
         start = slash + 1) {
        host += "/" + name.substr(start, slash - start);
        if (!IsPlainFolder(host)) {
            platform::CreateDirectory(host);
            if (!IsPlainFolder(host))
                return fail("the folder of " + name + " cannot be made in " + folder +
                            " (a file or a link is in its place)");
        }
    }
    return host + "/" + name.substr(start);
}

}  // namespace share
