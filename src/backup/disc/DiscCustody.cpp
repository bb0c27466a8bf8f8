#include "backup/disc/DiscCustody.h"

#include "integrity/CustodyLog.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "storage/RecorderPaths.h"

namespace backup {

std::string LogDiscWritten(const std::string& basePath, bool readBack, const std::string& actor) {
    const std::string manifestPath =
        platform::ResolvePath(std::string(paths::kDiscImageRoot) + "\\" + integrity::kManifestName);
    std::string manifest;
    if (basePath.empty() || manifestPath.empty() ||
        !platform::ReadWholeFile(manifestPath, manifest, 64LL << 20))
        return std::string();  // made without a manifest: nothing names it
    const integrity::CustodyRecord written{
        .event = integrity::CustodyEvent::kWrittenToDisc,
        .actor = actor.empty() ? integrity::CustodyActor() : actor,
        .manifest = integrity::ManifestHash(manifest)};
    std::vector<integrity::CustodyRecord> records = {written};
    if (readBack) {
        records.push_back(written);
        records.back().event = integrity::CustodyEvent::kReadBack;
        records.back().note = "the disc matches the image's manifest";
    }
    const platform::Outcome logged =
        integrity::AppendCustodyFile(platform::ResolvePath(basePath + integrity::kCustodyLogName),
                                     records, integrity::MachineSigningKey());
    return logged ? std::string() : "The custody log was not written: " + logged.error().Said();
}

}  // namespace backup
