#include "backup/disc/DiscReadBack.h"

#include <memory>

#include "integrity/Manifest.h"
#include "integrity/Verify.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "storage/RecorderPaths.h"

std::string DiscReadBack::Check(integrity::ImageFiles& disc,
                                const std::function<void(long long, long long)>& progress) {
    integrity::VerifyOptions options;
    options.expectedManifest = &manifest_;
    options.progress = progress;
    const integrity::VerifyReport report = integrity::VerifyImage(disc, options);
    // A partial image is the pass's outcome, which the operator is told about anyway; what
    // the read-back looks for is the disc differing from the image.
    if (report.manifestProblem.empty() && report.missing.empty() && report.changed.empty() &&
        report.unlisted.empty() &&
        (report.signature == integrity::SignatureState::kGood ||
         report.signature == integrity::SignatureState::kUnsigned))
        return std::string();
    std::string text;
    constexpr std::size_t kShown = 8;
    const std::vector<std::string> lines = report.Lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // The findings, then the verdict, which is the last line.
        if (i < kShown || i + 1 == lines.size())
            text += (text.empty() ? "" : "\n") + lines[i];
    }
    return text;
}

std::shared_ptr<IWrittenDiscCheck> MakeDiscReadBack() {
    const std::string path =
        platform::ResolvePath(std::string(paths::kDiscImageRoot) + "\\" + integrity::kManifestName);
    std::string manifest;
    if (path.empty() || !platform::ReadWholeFile(path, manifest, 64LL << 20))
        return nullptr;
    return std::make_shared<DiscReadBack>(std::move(manifest));
}
