#include "backup/exhibit/ReportNames.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "backup/exhibit/ExhibitReport.h"
#include "integrity/Sha256.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace exhibit {
namespace {

// The pair of names of the n-th report in a folder: the first has the plain names.
ReportNames NamesNumbered(int n) {
    if (n <= 1)
        return {kReportJson, kReportPdf};
    const std::string suffix = "-" + std::to_string(n);
    return {"report" + suffix + ".json", "REPORT" + suffix + ".pdf"};
}

// Every path the manifests in the folder list, the earlier images' ones too; damaged: one of
// them could not be read whole.
std::set<std::string> ListedInFolder(const std::string& rootHost, bool& damaged) {
    damaged = false;
    std::set<std::string> listed;
    for (const platform::FindData& f : platform::FindFiles(rootHost + "/SHA256SUMS*")) {
        if (f.isDirectory ||
            (f.name != integrity::kManifestName && integrity::OlderManifestNumber(f.name) == 0))
            continue;
        std::string text;
        integrity::Manifest manifest;
        // One that cannot be read still holds its names: they are taken all the same.
        if (!platform::ReadWholeFile(f.hostPath, text, 64 << 20) ||
            !integrity::ParseManifest(text, manifest).empty()) {
            damaged = true;
            for (std::size_t from = 0; from < text.size();) {
                std::size_t end = text.find('\n', from);
                if (end == std::string::npos)
                    end = text.size();
                const std::string line = text.substr(from, end - from);
                if (const std::size_t gap = line.find("  "); gap != std::string::npos)
                    listed.insert(line.substr(gap + 2));
                from = end + 1;
            }
            continue;
        }
        for (const integrity::ManifestLine& line : manifest.lines)
            listed.insert(line.path);
    }
    return listed;
}

// Whether text, from pos to its end, is "-N" with N a number of 2 or more, or nothing.
bool NumberSuffix(const std::string& text, std::size_t pos, std::size_t end) {
    if (pos == end)
        return true;
    if (text[pos] != '-' || end - pos < 2 || text[pos + 1] == '0' ||
        (end - pos == 2 && text[pos + 1] == '1'))
        return false;
    for (std::size_t i = pos + 1; i < end; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

bool IsNamed(const std::string& relative, const std::string& stem, const std::string& extension) {
    if (relative.size() < stem.size() + extension.size() ||
        relative.compare(0, stem.size(), stem) ||
        relative.compare(relative.size() - extension.size(), extension.size(), extension))
        return false;
    return NumberSuffix(relative, stem.size(), relative.size() - extension.size());
}

bool IsReportJson(const std::string& relative) {
    return IsNamed(relative, "report", ".json");
}

}  // namespace

ReportNames NewReportNames(const std::string& rootHost, bool keepsOlder) {
    if (!keepsOlder)
        return NamesNumbered(1);
    bool damaged = false;
    const std::set<std::string> listed = ListedInFolder(rootHost, damaged);
    // A damaged manifest may have lost the line of its image's report: then no report file
    // there is written over. Else one no manifest lists is what a run killed before naming its
    // manifest left, and its next run takes the name again.
    const auto taken = [&](const std::string& name) {
        return listed.count(name) ||
               (damaged && (platform::FileLength(rootHost + "/" + name) >= 0 ||
                            platform::IsDirectory(rootHost + "/" + name)));
    };
    for (int n = 1;; ++n) {
        ReportNames names = NamesNumbered(n);
        if (!taken(names.json) && !taken(names.pdf))
            return names;
    }
}

bool IsReportFile(const std::string& relative) {
    return IsReportJson(relative) || IsNamed(relative, "REPORT", ".pdf");
}

std::string ListedReportJson(const integrity::Manifest& manifest) {
    for (const integrity::ManifestLine& line : manifest.lines)
        if (IsReportJson(line.path))
            return line.path;
    return std::string();
}

bool ListedAs(const integrity::Manifest& manifest, const std::string& path,
              const std::string& bytes) {
    const std::string hex = integrity::Sha256Hex(bytes.data(), bytes.size());
    for (const integrity::ManifestLine& line : manifest.lines)
        if (line.path == path)
            return std::equal(
                hex.begin(), hex.end(), line.hex.begin(), line.hex.end(),
                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    return false;
}

}  // namespace exhibit
