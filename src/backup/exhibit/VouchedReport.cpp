#include "backup/exhibit/VouchedReport.h"

#include "backup/exhibit/ReportNames.h"
#include "integrity/Manifest.h"

namespace exhibit {

std::string ReadVouchedReport(integrity::ImageFiles& image, JsonValue& out) {
    const platform::Expected<std::string> listing = image.ReadWhole(integrity::kManifestName);
    integrity::Manifest manifest;
    if (!listing || !integrity::ParseManifest(*listing, manifest).empty())
        return std::string("the image has no readable ") + integrity::kManifestName;
    const std::string none = "the image holds no readable report of its backup";
    const std::string name = ListedReportJson(manifest);
    if (name.empty())
        return none;
    const platform::Expected<std::string> text = image.ReadWhole(name);
    if (text && !ListedAs(manifest, name, *text))
        return name + " does not match its digest in " + integrity::kManifestName;
    if (!text || !JsonValue::Parse(*text, out).empty())
        return none;
    return std::string();
}

std::map<std::string, std::string> SignedPartsOfImage(integrity::ImageFiles& image) {
    std::map<std::string, std::string> parts;
    JsonValue report;
    if (!ReadVouchedReport(image, report).empty())
        return parts;
    for (const JsonValue& part : report["copies"]["signed_parts"].items)
        if (!part["path"].String().empty() && part["sha256"].String().size() == 64)
            parts[part["path"].String()] = part["sha256"].String();
    return parts;
}

}  // namespace exhibit
