#include "storage/SizeEstimate.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/CHKLM.h"
#include "companions/CppSQLite3.h"
#include "platform/FileSystem.h"
#include "platform/PrivateProfile.h"
#include "storage/RecorderPaths.h"

namespace {

struct MinuteFigures {
    long long bytes = 0;
    long long frames = 0;
};

// One read-only open and one query for both figures of a minute. A wrapper error (an index that
// is not a database or has no table) counts the minute as 0.
MinuteFigures QueryMinute(const BackupContext& ctx, const std::string& root,
                          const std::string& segment) {
    MinuteFigures out;
    try {
        CppSQLite3DB db;
        db.openReadOnly(paths::MinuteIndexPath(root, segment));
        CppSQLite3Query q = db.execQuery("select sum(imgsize),count(camnum) from indextable " +
                                         BuildCameraWhereClause(ctx));
        for (; !q.eof(); q.nextRow()) {
            out.bytes += q.getInt64Field(0);
            out.frames += q.getInt64Field(1);
        }
    } catch (const CppSQLite3Exception&) {
        return MinuteFigures{};
    }
    return out;
}

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
        while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j])))
            ++j;
        if (j < fmt.size() && fmt[j] == '.') {
            ++j;
            while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j])))
                ++j;
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

std::string BuildCameraWhereClause(const BackupContext& ctx) {
    std::string list;
    for (int c = 0; c < ctx.m_nCamCount && c < kMaxCameras; ++c)
        if (ctx.m_bCamSel[c])
            list += std::to_string(c) + ",";
    if (!list.empty())
        list.pop_back();
    return "where camnum in(" + list + ")";
}

int GetMinuteDataBytes(const BackupContext& ctx, const std::string& segment) {
    return static_cast<int>(QueryMinute(ctx, GetStoragePath(), segment).bytes);
}

int GetMinuteFrameCount(const BackupContext& ctx, const std::string& segment) {
    return static_cast<int>(QueryMinute(ctx, GetStoragePath(), segment).frames);
}

int GetMinuteAudioBytes(const BackupContext& ctx, const std::string& segment, int channel) {
    long long len = platform::FileLength(
        paths::AudioPathOfSegment(GetStoragePath(), segment, channel, ctx.m_nModelCode));
    return len < 0 ? 0 : static_cast<int>(static_cast<DWORD>(len));
}

int EstimateEntrySize(BackupContext& ctx, const std::string& day, const std::string& start,
                      const std::string& end) {
    ctx.m_view.SetWaitCursor(true);
    ctx.m_nLastEntrySize = 0;
    ctx.m_bSizeFlag = 0;
    const int sh = std::atoi(start.substr(0, 2).c_str()),
              sm = std::atoi(start.substr(2, 2).c_str());
    const int eh = std::atoi(end.substr(0, 2).c_str()), em = std::atoi(end.substr(2, 2).c_str());
    const int endKey = eh * 100 + em;
    const std::string root = GetStoragePath();
    long long kb = 0, pictures = 0;
    for (int h = sh; h <= eh && h < 24; ++h) {
        for (int m = (h == sh ? sm : 0); m < 60; ++m) {
            if (h * 100 + m > endKey)
                break;
            if (h < 0 || m < 0 || !ctx.m_bHourHasRec[h] || !ctx.m_bMinuteHasRec[h * 60 + m])
                continue;
            const std::string segment = paths::SegmentName(day, h, m);
            const MinuteFigures fig = QueryMinute(ctx, root, segment);
            kb += static_cast<int>(fig.bytes) / 1024;
            pictures += static_cast<int>(fig.frames);
            for (int c = 0; c < ctx.m_nCamCount && c < kMaxCameras; ++c) {
                if (!ctx.m_bCamSel[c])
                    continue;
                long long len = platform::FileLength(
                    paths::AudioPathOfSegment(root, segment, c, ctx.m_nModelCode));
                if (len > 0)
                    kb += static_cast<DWORD>(len) / 1024;
            }
        }
    }
    if (kb == 0) {
        ctx.m_view.SetWaitCursor(false);
        return 2;
    }
    const DWORD size = static_cast<DWORD>(kb + pictures / kPicturesPerAllowanceKB + kEntryMarginKB);
    ctx.m_nSelCamCount += ctx.SelectedCameraCount();
    ctx.m_nTotalSize += size;
    ctx.m_nLastEntrySize = size;
    ShowTotalSize(ctx);
    ctx.m_bSizeFlag = 0;
    ctx.m_view.SetWaitCursor(false);
    return 1;
}

std::string FormatTotalSize(const BackupContext& ctx, DWORD totalKB) {
    const std::string file = ctx.m_profile.LanguageDataPath();
    const bool mega = totalKB > 1024;
    const std::string fmt = platform::GetPrivateProfileString(
        "Common Quillon", mega ? "DataSize MByte" : "DataSize KByte", "", 100, file);
    if (!fmt.empty() && IsSingleFloatFormat(fmt))
        return Format(fmt, mega ? totalKB * 0.0009765625 : static_cast<double>(totalKB));
    return mega ? Format("Total %.01f MByte", totalKB / 1024.0)
                : Format("Total %.01f KByte", static_cast<double>(totalKB));
}

void ShowTotalSize(BackupContext& ctx) {
    ctx.m_view.SetItemText(ctl::kTotalSize, FormatTotalSize(ctx, ctx.m_nTotalSize));
}
