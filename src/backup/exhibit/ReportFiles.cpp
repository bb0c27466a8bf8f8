#include "backup/exhibit/ExhibitReport.h"
#include "integrity/Sha256.h"
#include "platform/AtomicFile.h"

namespace exhibit {

std::string WriteReport(const Facts& facts, ports::IExhibitPdf* pdf,
                        ports::IExhibitPdf::Paper paper, const std::string& rootHost,
                        const ReportNames& names,
                        std::map<std::string, integrity::FileDigest>& files) {
    std::vector<std::pair<std::string, std::string>> made = {{names.json, ReportJson(facts)}};
    if (pdf) {
        std::string bytes;
        if (std::string why = pdf->Render(ReportPages(facts), paper, bytes); !why.empty())
            return names.pdf + " could not be made: " + why;
        made.emplace_back(names.pdf, std::move(bytes));
    }
    // Both are staged before either takes its name: a full target keeps neither half-made.
    std::vector<platform::AtomicFile> staged(made.size());
    for (std::size_t i = 0; i < made.size(); ++i) {
        const std::string& bytes = made[i].second;
        if (!staged[i].Create(rootHost + "/" + made[i].first) ||
            !staged[i].Write(bytes.data(), bytes.size()))
            return made[i].first + " could not be written into the image";
    }
    for (std::size_t i = 0; i < made.size(); ++i) {
        if (!staged[i].Commit())
            return made[i].first + " could not be put in its place in the image";
        long long length = 0;
        platform::FileId id;
        platform::StatFile(staged[i].finalHostPath(), length, id);
        const std::string& bytes = made[i].second;
        files[made[i].first] = {integrity::Sha256Hex(bytes.data(), bytes.size()),
                                static_cast<long long>(bytes.size()), id};
    }
    return std::string();
}

}  // namespace exhibit
