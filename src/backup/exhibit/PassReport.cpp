#include "backup/exhibit/PassReport.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

#include "backup/exhibit/ExhibitReport.h"
#include "backup/exhibit/PassClock.h"
#include "integrity/ExportSigning.h"
#include "integrity/Manifest.h"
#include "integrity/Signing.h"
#include "platform/FileSystem.h"
#include "platform/MachineName.h"
#include "platform/PaperSize.h"
#include "platform/TimeZone.h"

namespace exhibit {
namespace {

std::string NowUtc() {
    std::tm t{};
    if (!platform::UtcTimeAt(std::time(nullptr), t))
        return std::string();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &t);
    return text;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// What the pass could not copy of the entry: said in words, and a minute the recording has
// damaged is a damaged minute of its cameras (the image holds none of it, or only its good
// pictures).
void TakeProblems(Entry& e, const std::vector<PassFailure>& failures) {
    for (const PassFailure& f : failures) {
        if (f.entry != e.folder)
            continue;
        e.problems.push_back(f.what);
        if (!f.recordingDamaged || f.minute < 0)
            continue;
        for (Camera& c : e.cameras) {
            if (f.camera >= 0 && c.number != f.camera + 1)
                continue;
            std::erase(c.missingMinutes, f.minute);
            if (std::find(c.damagedMinutes.begin(), c.damagedMinutes.end(), f.minute) ==
                c.damagedMinutes.end()) {
                c.damagedMinutes.push_back(f.minute);
                std::sort(c.damagedMinutes.begin(), c.damagedMinutes.end());
            }
        }
    }
}

}  // namespace

void WritePassReport(backup::PassJob& job, const std::string& rootHost,
                     std::map<std::string, integrity::FileDigest>& files) {
    const backup::HostSettings& host = job.plan().host;
    Facts f;
    f.caseDetails = job.plan().caseDetails;
    f.machine = platform::MachineName();
    f.program = std::string("Quillon Backup ") + QUILLON_VERSION;
    f.madeUtc = NowUtc();
    f.recorder.zone = platform::LocalTimeZoneName();
    if (!host.localMode && job.recorder) {
        f.recorder.address = host.serverAddress + ":" + std::to_string(host.port);
        f.recorder.name = "remote recorder at " + f.recorder.address;
    } else {
        f.recorder.name = "local recorder, recordings in " + host.StorageRoot();
    }
    f.recorder.clock = PassClock(job);
    // The folder may hold the entries of earlier images: only those this pass wrote.
    std::set<std::string> written;
    for (const auto& [path, digest] : files) {
        if (const std::size_t slash = path.find('/'); slash != std::string::npos)
            written.insert(path.substr(0, slash));
        if (EndsWith(path, ".mp4"))
            f.workingCopies.push_back(path);
    }
    // The video maker names its files by host path; the report by path below the root.
    for (const auto& [made, digest] : job.SignedParts())
        for (const std::string& mp4 : f.workingCopies)
            if (made.size() > mp4.size() && EndsWith(made, "/" + mp4))
                f.signedParts[mp4] = digest;
    const std::vector<PassFailure> failures = job.report().Failures();
    for (Entry& e : EntriesOfImage(rootHost))
        if (written.count(e.folder)) {
            TakeProblems(e, failures);
            f.entries.push_back(std::move(e));
        }
    for (const auto& [path, digest] : files)
        if (!IsReportFile(path))
            f.files.emplace(path, digest);
    const std::string keys = integrity::SigningKeyFolder();
    if (integrity::HasSigningKey(keys)) {
        std::string privatePem;
        platform::ReadWholeFile(integrity::PrivateKeyPath(keys), privatePem, 65536);
        f.keys.emplace_back(integrity::kManifestName,
                            integrity::Fingerprint(integrity::PublicPemOf(privatePem)));
    }
    if (!f.signedParts.empty())
        if (const auto exportKey = integrity::LoadExportKey(keys); exportKey)
            f.keys.emplace_back("the MP4 files",
                                integrity::CertificateFingerprint(exportKey->certificateDer));
    const ports::IExhibitPdf::Paper paper = platform::PreferredPaper() == "letter"
                                                ? ports::IExhibitPdf::Paper::kLetter
                                                : ports::IExhibitPdf::Paper::kA4;
    const ReportNames names = NewReportNames(rootHost, job.plan().targetType() == 3);
    if (const std::string why = WriteReport(f, job.exhibitPdf, paper, rootHost, names, files);
        !why.empty())
        job.report().Fail("the exhibit report was not written: " + why);
}

}  // namespace exhibit
