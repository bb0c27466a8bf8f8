#include "backup/exhibit/ReportedClock.h"

#include "backup/exhibit/VouchedReport.h"

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
    JsonValue report;
    if (const std::string why = ReadVouchedReport(image, report); !why.empty()) {
        ClockCheck none;
        // A forced export of a changed image must not correct its start by a forged offset.
        none.detail = why.find("does not match") != std::string::npos
                          ? why + ": its clock is not taken"
                          : why;
        return none;
    }
    return ClockOfReport(report);
}

}  // namespace exhibit
