#include "VideoHelper.h"

#include <cstdio>
#include <filesystem>

#include "platform/ChildProcess.h"
#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"

namespace {

constexpr const char* kHelper = "quillon-cli-video";

}  // namespace

std::string VideoHelperPath() {
    const std::filesystem::path self(platform::ModuleFileHostPath());
    const std::filesystem::path beside = self.parent_path() / kHelper;
    // /usr/bin/quillon-cli: /usr/libexec/quillon/quillon-cli-video
    const std::filesystem::path installed =
        self.parent_path().parent_path() / "libexec" / "quillon" / kHelper;
    for (const std::filesystem::path& candidate : {beside, installed})
        if (platform::FileExists(candidate.string()))
            return candidate.string();
    return std::string();
}

int HandToVideoHelper(const std::vector<std::string>& args) {
    const std::string helper = VideoHelperPath();
    if (helper.empty()) {
        std::fprintf(stderr,
                     "quillon-cli: MP4 files are made by %s, which is not installed here (it is "
                     "in the package quillon-video)\n",
                     kHelper);
        return 1;
    }
    std::vector<std::string> argv = args;
    argv[0] = helper;
    const std::string why = platform::RunInstead(helper, argv);
    std::fprintf(stderr, "quillon-cli: %s cannot be run: %s\n", helper.c_str(), why.c_str());
    return 1;
}
