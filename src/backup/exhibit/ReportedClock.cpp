#include "backup/exhibit/ReportedClock.h"

#include "backup/exhibit/ReportNames.h"
#include "integrity/Manifest.h"

namespace exhibit {

ClockCheck ClockOfReport(const JsonValue& report) {
    ClockCheck c;
    const JsonValue& clock = report["recorder"]["clock"];
    if (clock["method"].kind != JsonValue::Kind::kString)
        return c;
    c.method = clock["method"].String();
    c.offsetSeconds = clock["offset_seconds"].number;
    c.uncertaintySeconds = clock["uncertainty_seconds"].number;
    c.synchronised = clock["synchronised"].truth;
    c.detail = clock["detail"].String();
    return c;
}

ClockCheck ClockOfImage(integrity::ImageFiles& image) {
    ClockCheck none;
    const platform::Expected<std::string> listing = image.ReadWhole(integrity::kManifestName);
    integrity::Manifest manifest;
    if (!listing || !integrity::ParseManifest(*listing, manifest).empty()) {
        none.detail = std::string("the image has no readable ") + integrity::kManifestName;
        return none;
    }
    none.detail = "the image holds no readable report of its backup";
    const std::string name = ListedReportJson(manifest);
    if (name.empty())
        return none;
    const platform::Expected<std::string> text = image.ReadWhole(name);
    if (text && !ListedAs(manifest, name, *text)) {
        // A forced export of a changed image must not correct its start by a forged offset.
        none.detail = name + " does not match its digest in " + integrity::kManifestName +
                      ": its clock is not taken";
        return none;
    }
    JsonValue report;
    if (!text || !JsonValue::Parse(*text, report).empty())
        return none;
    return ClockOfReport(report);
}

}  // namespace exhibit
