#include "backup/schedule/EntrySize.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "app/CHKLM.h"
#include "platform/PrivateProfile.h"
#include "storage/SizeEstimate.h"

namespace {

// A format from the language file is used only when it holds exactly one floating-point
// conversion, so that a bad file cannot make the formatting read an argument it was not given.
bool IsSingleFloatFormat(const std::string& fmt) {
    int conversions = 0;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%')
            continue;
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < fmt.size() && std::strchr("-+ #0", fmt[j]))
            ++j;
        // Width and precision of at most two digits: a text of a billion digits is no size.
        auto digits = [&] {
            const std::size_t from = j;
            while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j])))
                ++j;
            return j - from <= 2;
        };
        if (!digits())
            return false;
        if (j < fmt.size() && fmt[j] == '.') {
            ++j;
            if (!digits())
                return false;
        }
        if (j >= fmt.size() || !std::strchr("fFeEgG", fmt[j]))
            return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

std::string Format(const std::string& fmt, double value) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt.c_str(), value);
    return buf;
}

}  // namespace

CameraSet SelectedCameras(const backup::HostSettings& host, const backup::DaySelection& sel) {
    CameraSet cams;
    for (int c = 0; c < host.camCount && c < kMaxCameras; ++c)
        cams[static_cast<std::size_t>(c)] = sel.camSel[c] != 0;
    return cams;
}

storage::EstimateTotals EstimateEntry(const backup::HostSettings& host,
                                      const backup::DaySelection& sel, const std::string& day,
                                      const std::string& start, const std::string& end) {
    storage::EstimateRequest r;
    r.root = host.StorageRoot();
    r.day = day;
    r.startHour = std::atoi(start.substr(0, 2).c_str());
    r.startMinute = std::atoi(start.substr(2, 2).c_str());
    r.endHour = std::atoi(end.substr(0, 2).c_str());
    r.endMinute = std::atoi(end.substr(2, 2).c_str());
    r.hourHasRec = sel.hourHasRec;
    r.minuteHasRec = sel.minuteHasRec;
    r.cameras = SelectedCameras(host, sel);
    r.modelCode = host.modelCode;
    return storage::EstimateRange(r);
}

bool EstimateEntrySize(const backup::HostSettings& host, backup::DaySelection& sel,
                       backup::ScheduleState& schedule, const std::string& day,
                       const std::string& start, const std::string& end) {
    schedule.lastEntryKB = 0;
    const storage::EstimateTotals totals = EstimateEntry(host, sel, day, start, end);
    if (totals.kb == 0)
        return false;
    const DWORD size = storage::EntrySizeKB(totals);
    sel.selCamCount += static_cast<int>(SelectedCameras(host, sel).count());
    schedule.AddToTotal(size);
    schedule.lastEntryKB = size;
    return true;
}

std::string FormatTotalSize(const CProfileReadWrite& profile, DWORD totalKB) {
    const std::string file = profile.LanguageDataPath();
    const bool mega = totalKB > 1024;
    const std::string fmt = platform::GetPrivateProfileString(
        "Common Quillon", mega ? "DataSize MByte" : "DataSize KByte", "", 100, file);
    if (!fmt.empty() && IsSingleFloatFormat(fmt))
        return Format(fmt, mega ? totalKB * 0.0009765625 : static_cast<double>(totalKB));
    return mega ? Format("Total %.01f MByte", totalKB / 1024.0)
                : Format("Total %.01f KByte", static_cast<double>(totalKB));
}

void TellTotalSize(const CProfileReadWrite& profile, const backup::ScheduleState& schedule,
                   backup::IOperatorEvents& view) {
    view.TotalSizeChanged(FormatTotalSize(profile, schedule.totalKB));
}
