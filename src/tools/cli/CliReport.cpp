// quillon-cli report IMAGE --out DIR: an image's exhibit report written again, into a folder of
// the user's choice, from the image as it is and what its own report recorded at the backup.
#include <map>

#include "CliCommands.h"
#include "backup/exhibit/ExhibitReport.h"
#include "backup/exhibit/ImageReport.h"
#include "integrity/Manifest.h"
#include "platform/FileSystem.h"
#include "platform/PaperSize.h"
#ifdef QUILLON_HAVE_REPORT
#include "report/CairoExhibitPdf.h"
#endif

int CmdReport(const CliArgs& a) {
    if (a.positional.size() != 1 || a.out.empty())
        throw UsageError{"report takes one image folder and --out DIR"};
    const std::string image = CommandHostPath(a.positional[0]);
    const std::string out = CommandHostPath(a.out);
    if (!platform::IsDirectory(image))
        return Fail(a.positional[0] + " is no folder");
    // An image's manifest vouches for the report it holds: another goes beside it, never over it.
    if (platform::FileLength(out + "/" + integrity::kManifestName) >= 0)
        return Fail(a.out + " holds an image, whose " + integrity::kManifestName +
                    " lists its own report: write the report again into another folder");
    if (!platform::IsDirectory(out) && !platform::CreateDirectoryTree(out))
        return Fail(a.out + " cannot be made");
    exhibit::Facts facts;
    if (const std::string why = exhibit::FactsOfImage(image, facts); !why.empty())
        return Fail(a.positional[0] + ": " + why);
    // What the operator gives now goes before what the backup recorded.
    for (auto [given, kept] :
         {std::pair{&a.caseDetails.caseReference, &facts.caseDetails.caseReference},
          std::pair{&a.caseDetails.exhibitNumber, &facts.caseDetails.exhibitNumber},
          std::pair{&a.caseDetails.operatorName, &facts.caseDetails.operatorName}})
        if (!given->empty())
            *kept = *given;
    ports::IExhibitPdf* pdf = nullptr;
#ifdef QUILLON_HAVE_REPORT
    report::CairoExhibitPdf cairo;
    pdf = &cairo;
#endif
    std::map<std::string, integrity::FileDigest> written;
    const std::string why = exhibit::WriteReport(facts, pdf,
                                                 platform::PreferredPaper() == "letter"
                                                     ? ports::IExhibitPdf::Paper::kLetter
                                                     : ports::IExhibitPdf::Paper::kA4,
                                                 out, exhibit::NewReportNames(out, false), written);
#ifdef QUILLON_HAVE_REPORT
    report::ReleaseFontCaches();
#endif
    if (!why.empty())
        return Fail(why);
    for (const auto& [name, digest] : written)
        std::printf("%s/%s  %s\n", a.out.c_str(), name.c_str(), digest.hex.c_str());
    if (!pdf)
        std::printf(
            "REPORT.pdf is made by quillon-cli-video (package quillon-video), which is not "
            "installed here\n");
    return 0;
}
