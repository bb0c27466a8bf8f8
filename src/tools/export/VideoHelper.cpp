#include "VideoHelper.h"

#include <filesystem>

#include "cli/CliCommands.h"
#include "platform/ChildProcess.h"
#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"

namespace {
constexpr const char* kHelper = "quillon-cli-video";
}  // namespace

std::string VideoHelperPath() {
    const std::filesystem::path self(platform::ModuleFileHostPath());
    // /usr/bin/quillon-cli: /usr/libexec/quillon/quillon-cli-video
    for (const std::filesystem::path& candidate :
         {self.parent_path() / kHelper,
          self.parent_path().parent_path() / "libexec" / "quillon" / kHelper})
        if (platform::FileExists(candidate.string()))
            return candidate.string();
    return std::string();
}

int HandToVideoHelper(const std::vector<std::string>& args) {
    const std::string helper = VideoHelperPath();
    if (helper.empty())
        return Fail(std::string("MP4 files are made by ") + kHelper +
                    ", which is not installed here (it is in the package quillon-video)");
    std::vector<std::string> argv = args;
    argv[0] = helper;
    return Fail(argv[0] + " cannot be run: " + platform::RunInstead(argv[0], argv));
}
