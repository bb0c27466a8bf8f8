#include "backup/pass/ImageManifest.h"

#include "backup/exhibit/PassReport.h"
#include "backup/pass/CopyEngine.h"
#include "integrity/CustodyLog.h"
#include "integrity/ImageHasher.h"
#include "integrity/Manifest.h"
#include "integrity/Signing.h"
#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/WriteTap.h"
#include "records/ScheduleEntry.h"
#include "storage/RecorderPaths.h"

namespace {

// A folder target may hold the image of an earlier backup: its manifest is kept under the next
// free older name, so that it still checks what it covers. A disc's image folder holds one
// image only. The signature's files go before the manifest, so that a run killed in between
// leaves a manifest with its signature under one name or the other, and the next run moves the
// rest under the same older name.
bool KeepOlderManifest(const std::string& root, bool keep) {
    const std::string current = root + "/" + integrity::kManifestName;
    if (platform::FileLength(current) < 0)
        return true;
    if (!keep) {
        for (const char* name :
             {integrity::kManifestName, integrity::kSignatureName, integrity::kPublicKeyName})
            platform::DeleteFile(root + "/" + name);
        return true;
    }
    int n = 1;
    while (platform::FileLength(root + "/" +
                                integrity::OlderManifestName(integrity::kManifestName, n)) >= 0)
        ++n;
    bool ok = true;
    for (const char* name :
         {integrity::kSignatureName, integrity::kPublicKeyName, integrity::kManifestName}) {
        const std::string from = root + "/" + name;
        if (platform::FileLength(from) >= 0)
            ok = platform::MoveFile(from, root + "/" + integrity::OlderManifestName(name, n)) && ok;
    }
    return ok;
}

// A path below an entry's folder, as the entry's own problem.
std::string WithoutEntryFolder(const std::string& what, const std::string& folder) {
    return what.compare(0, folder.size() + 1, folder + "/") == 0 ? what.substr(folder.size() + 1)
                                                                 : what;
}

// What the first lines of a partial manifest say.
std::vector<std::string> PartialReasons(const backup::PassJob& job) {
    std::vector<std::string> why;
    const std::vector<std::string> failures = job.report().failures();
    if (job.report().stopped())
        why.push_back("the backup was stopped before it was complete.");
    else if (!failures.empty())
        why.push_back("not everything was copied.");
    if (!why.empty()) {
        // Each entry the pass did not make whole, by its folder, for whoever opens the image.
        for (int i = 0; i < kScheduleSlots; ++i) {
            const ScheduleEntry& e = job.plan().entries[static_cast<std::size_t>(i)];
            const EntryOutcome outcome = job.report().Entry(i);
            if (e.bUsed && !outcome.complete)
                why.push_back("incomplete entry: " + ImageEntryName(e, job.plan().host.dateType) +
                              ": " + outcome.why);
        }
    }
    for (const auto& f : failures)
        why.push_back("not copied: " + f);
    return why;
}

// What became of a file after the pass wrote it: "" when the target still holds it as written.
std::string FileFate(const std::string& hostPath, const integrity::FileDigest& written) {
    long long length = 0;
    platform::FileId id;
    if (!platform::StatFile(hostPath, length, id))
        return "is gone from the target";
    if (length != written.length)
        return "holds " + std::to_string(length) + " bytes instead of " +
               std::to_string(written.length);
    if (written.id != platform::FileId{} && id != written.id)
        return "was replaced by another file";
    return std::string();
}

// The entry whose folder holds a file the pass wrote lacks it (what says how): it is not whole.
void EntryLacks(backup::PassJob& job, const std::string& relative, const std::string& what) {
    const std::string folder = relative.substr(0, relative.find('/'));
    for (int i = 0; i < kScheduleSlots; ++i) {
        const ScheduleEntry& e = job.plan().entries[static_cast<std::size_t>(i)];
        if (!e.bUsed || ImageEntryName(e, job.plan().host.dateType) != folder)
            continue;
        const EntryOutcome outcome = job.report().Entry(i);
        if (outcome.complete)
            job.report().EntryDone(i, false, WithoutEntryFolder(what, folder));
        else if (outcome.recordingDamaged)
            job.report().EntryDone(i, false, outcome.why);  // it lacks more than its recording
    }
}

// Every file the pass wrote must still be on the target at its end, as it was written: a stick
// pulled and put back, a folder removed or a file deleted by someone else loses them.
void CheckWrittenFilesStayed(backup::PassJob& job, const std::string& root,
                             const std::map<std::string, integrity::FileDigest>& files) {
    if (job.report().targetLost())
        return;  // already said, once, for the whole target
    for (const auto& [relative, written] : files) {
        const std::string fate = FileFate(root + "/" + relative, written);
        if (fate.empty())
            continue;
        const std::string what = relative + " was written into the image but " + fate;
        job.report().Fail(what);
        EntryLacks(job, relative, what);
    }
}

// A small file written whole under its temporary name, to be named later.
bool Stage(platform::AtomicFile& file, const std::string& path, const std::string& bytes) {
    return file.Create(path) && file.Write(bytes.data(), bytes.size());
}

// The manifest's signature and the key that checks it, staged beside the manifest; false, with
// the pass failed, when there is a key and they cannot be made.
bool StageSignature(backup::PassJob& job, const std::string& root, const std::string& manifest,
                    platform::AtomicFile& signatureFile, platform::AtomicFile& keyFile) {
    const std::string folder = integrity::SigningKeyFolder();
    if (!integrity::HasSigningKey(folder))
        return true;
    std::string privatePem;
    platform::ReadWholeFile(integrity::PrivateKeyPath(folder), privatePem, 65536);
    const auto signature = integrity::Sign(privatePem, manifest);
    const std::string publicPem = integrity::PublicPemOf(privatePem);
    std::string why = signature ? std::string() : signature.error().text;
    if (signature && (!Stage(signatureFile, root + "/" + integrity::kSignatureName, *signature) ||
                      !Stage(keyFile, root + "/" + integrity::kPublicKeyName, publicPem)))
        why = "the signature could not be written";
    if (!why.empty()) {
        signatureFile.Abandon();
        keyFile.Abandon();
        job.report().Fail("the manifest was not signed: " + why);
        return false;
    }
    job.keyFingerprint = integrity::Fingerprint(publicPem);
    return true;
}

// Names the staged files, the manifest last: under the final name a manifest always has the
// signature it was made with beside it.
bool CommitManifest(backup::PassJob& job, platform::AtomicFile& manifest,
                    platform::AtomicFile& signature, platform::AtomicFile& key) {
    if (!signature.tempHostPath().empty() && (!signature.Commit() || !key.Commit())) {
        job.keyFingerprint.clear();
        job.report().Fail("the manifest was not signed: the signature could not be written");
    }
    return manifest.Commit().ok();
}

}  // namespace

void BeginImageManifest(backup::PassJob& job) {
    if (job.hasher || !job.plan().manifest)
        return;
    job.manifestNote.clear();
    job.keyFingerprint.clear();
    std::string root = job.sink().root();
    if (root.empty())
        return;
    if (job.sink().kind() == backup::TargetKind::kDisc)
        platform::CreateDirectory(paths::kDiscImageRoot);
    root.pop_back();  // the separator
    const std::string host = platform::ResolvePath(root);
    if (host.empty() || !platform::IsDirectory(host))
        return;  // the pass finds the target missing and says so
    // A run killed as it wrote its manifest left it half-made under a temporary name, which no
    // manifest lists: it goes before this run's image is checked.
    platform::RemoveLeftoverTempFiles(root);
    job.hasher = std::make_shared<integrity::ImageHasher>(host);
    job.linkTap = std::make_shared<platform::GatedWriteTap>(*job.hasher);
}

platform::WriteTap* ImageManifestTap(backup::PassJob& job) {
    return job.hasher.get();
}

std::shared_ptr<platform::WriteTap> ImageManifestLinkTap(backup::PassJob& job) {
    return job.linkTap;
}

void FinishImageManifest(backup::PassJob& job) {
    std::shared_ptr<integrity::ImageHasher> hasher = std::move(job.hasher);
    job.hasher.reset();
    if (!hasher)
        return;
    // A download still running (the window closed during it) finishes the file it writes into
    // the hashing, and nothing after it.
    if (std::shared_ptr<platform::GatedWriteTap> gate = std::move(job.linkTap))
        gate->Close();
    integrity::ImageHasher::Result result = hasher->Finish();
    const std::string root = hasher->rootHost();
    for (const auto& problem : result.problems)
        job.report().Fail(problem);
    // A file the manifest cannot vouch for is missing from the image as evidence: its entry
    // goes another time, as for a file lost since it was written.
    for (const auto& [relative, problem] : result.leftOut)
        EntryLacks(job, relative, problem);
    // A target taken away after the last file is lost, said once, rather than each of its
    // files found gone.
    if (!job.report().targetLost())
        TargetLost(job);
    // The manifest lists what was written as written: a file lost since is a failure of the
    // pass and of its entry, never a shorter manifest.
    CheckWrittenFilesStayed(job, root, result.files);
    // The report is listed and signed with the rest; a lost target takes nothing more.
    if (!job.report().targetLost())
        exhibit::WritePassReport(job, root, result.files);
    const std::vector<std::string> partial = PartialReasons(job);
    const std::string text = integrity::FormatManifest(result.files, partial);
    const std::string path = root + "/" + integrity::kManifestName;
    // A target that was lost may still take this small file (a full one often does); one taken
    // away must not get it under its name elsewhere.
    const bool gone =
        job.report().targetLost() &&
        (!platform::IsDirectory(root) || platform::VolumeOf(root) != job.sink().volume());
    // Everything is written before anything of an earlier image moves: a full target keeps the
    // earlier manifest where it was.
    platform::AtomicFile manifestFile, signatureFile, keyFile;
    const bool staged = !gone && Stage(manifestFile, path, text);
    if (staged)
        StageSignature(job, root, text, signatureFile, keyFile);
    if (!staged || !KeepOlderManifest(root, job.plan().targetType() == 3) ||
        !CommitManifest(job, manifestFile, signatureFile, keyFile)) {
        manifestFile.Abandon();
        signatureFile.Abandon();
        keyFile.Abandon();
        job.keyFingerprint.clear();
        // No entry of this image can be checked without it: the schedule keeps them all.
        if (job.report().targetLost()) {
            job.manifestNote = "no manifest was written: the target can take nothing more";
            job.report().EntriesLack(job.manifestNote);
            return;
        }
        // The target may have been lost after the last file (turned read-only): said as such,
        // once.
        const std::string what = "the manifest " + path + " could not be written";
        if (!TargetLost(job, what, true))
            job.report().Fail(what);
        job.report().EntriesLack(what);
        return;
    }
    // The image's custody goes on with this backup, in its root and in the base folder's log.
    const std::string base = job.plan().host.basePath;
    if (const platform::Outcome logged = integrity::LogBackedUp(
            root, base.empty() ? base : platform::ResolvePath(base + integrity::kCustodyLogName),
            text, !partial.empty(), job.plan().caseDetails.operatorName);
        !logged)
        job.report().Fail("the custody log was not written: " + logged.error().Said());
    job.manifestNote = std::string(partial.empty() ? "manifest: " : "partial manifest: ") +
                       std::to_string(result.files.size()) + " files in " + job.sink().root() +
                       integrity::kManifestName;
}

void OpenImage(backup::PassJob& job) {
    job.sink().Open();
    BeginImageManifest(job);
}

void CloseImage(backup::PassJob& job, bool whole) {
    FinishImageManifest(job);
    if (whole)
        job.sink().Close(job.report());
    else
        job.sink().Abandon();
}
