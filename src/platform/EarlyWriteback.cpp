#include "platform/EarlyWriteback.h"

#include <map>
#include <mutex>

namespace platform {
namespace {

std::mutex gFoldersMutex;
std::map<std::string, int> gFolders;  // without a trailing '/', with how many have each in

std::string Folder(std::string host) {
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

}  // namespace

void BeginEarlyWriteback(const std::string& hostFolder) {
    std::lock_guard<std::mutex> lock(gFoldersMutex);
    ++gFolders[Folder(hostFolder)];
}

void EndEarlyWriteback(const std::string& hostFolder) {
    std::lock_guard<std::mutex> lock(gFoldersMutex);
    const auto it = gFolders.find(Folder(hostFolder));
    if (it != gFolders.end() && --it->second == 0)
        gFolders.erase(it);
}

bool WantsEarlyWriteback(const std::string& hostPath) {
    std::lock_guard<std::mutex> lock(gFoldersMutex);
    for (const auto& [folder, count] : gFolders)
        if (hostPath.size() > folder.size() && hostPath.compare(0, folder.size(), folder) == 0 &&
            (hostPath[folder.size()] == '/' || folder == "/"))
            return true;
    return false;
}

}  // namespace platform
