// quillon-cli report IMAGE|--disc LETTER --out DIR: an image's exhibit report written again,
// into a folder of the user's choice (a written disc cannot take it), from the image as it is and
// what its own report recorded at the backup.
#include <map>
#include <memory>

#include "CliCommands.h"
#include "backup/exhibit/ExhibitReport.h"
#include "backup/exhibit/ImageReport.h"
#include "integrity/ImageCopyOut.h"
#include "integrity/Manifest.h"
#include "platform/FileSystem.h"
#include "platform/PaperSize.h"
#ifdef QUILLON_HAVE_REPORT
#include "report/CairoExhibitPdf.h"
#endif

int CmdReport(const CliArgs& a) {
    const bool disc = !a.disc.empty();
    if ((disc ? !a.positional.empty() : a.positional.size() != 1) || a.out.empty())
        throw UsageError{"report takes one image folder, or --disc LETTER, and --out DIR"};
    const std::string named = disc ? "the disc in " + a.disc : a.positional[0];
    const std::string out = CommandHostPath(a.out);
    // An image's manifest vouches for the report it holds: another goes beside it, never over it.
    if (platform::FileLength(out + "/" + integrity::kManifestName) >= 0)
        return Fail(a.out + " holds an image, whose " + integrity::kManifestName +
                    " lists its own report: write the report again into another folder");
    if (!platform::IsDirectory(out) && !platform::CreateDirectoryTree(out))
        return Fail(a.out + " cannot be made");
    std::string image;
    std::unique_ptr<integrity::ScratchFolder> copy;
    if (disc) {
        // The index files and pictures are read as files: the disc's image is copied out first,
        // into a folder of this command's own that goes with it.
        platform::Expected<std::unique_ptr<integrity::ImageFiles>> opened =
            OpenCommandImage(a.disc, std::string());
        if (!opened)
            return Fail(opened.error().Said());
        const auto listing = (*opened)->List();
        if (!listing)
            return Fail(named + " cannot be listed: " + listing.error().Said());
        copy = std::make_unique<integrity::ScratchFolder>(out, kDiscScratchStem);
        if (copy->path().empty())
            return Fail("no folder for the disc's files can be made in " + a.out);
        if (const platform::Outcome copied =
                integrity::CopyImageFilesOut(**opened, *listing, "", copy->path());
            !copied)
            return Fail(named + " cannot be read: " + copied.error().Said());
        image = copy->path();
    } else {
        image = CommandHostPath(a.positional[0]);
        if (!platform::IsDirectory(image))
            return Fail(a.positional[0] + " is no folder");
    }
    exhibit::Facts facts;
    if (const std::string why = exhibit::FactsOfImage(image, facts); !why.empty())
        return Fail(named + ": " + why);
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
