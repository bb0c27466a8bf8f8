#include "storage/RecorderPaths.h"

#include <cstdio>

namespace paths {

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string AudioSuffix(int modelCode) {
    return (modelCode == 0x1648A || modelCode == 0x1648D) ? ".aug" : ".au";
}

std::string SegmentName(const std::string& day, int hour, int minute) {
    return day + Two(hour) + Two(minute);
}

std::string DayFolder(const std::string& root, const std::string& day) {
    return root + "\\" + day;
}

std::string DayMapPath(const std::string& folder, const std::string& day) {
    return folder + "\\" + day + ".dat";
}

std::string MinutePrefix(const std::string& root, const std::string& day, int hour, int minute) {
    return root + "\\" + day + "\\" + SegmentName(day, hour, minute);
}

std::string MinuteIndexPath(const std::string& root, const std::string& segment) {
    return root + "\\" + segment.substr(0, 8) + "\\" + segment + "N.idx";
}

std::string MinuteWildcard(const std::string& root, const std::string& day, int hour, int minute) {
    return MinutePrefix(root, day, hour, minute) + "N.*";
}

std::string AudioPath(const std::string& root, const std::string& day, int hour, int minute,
                      int channel, int modelCode) {
    return root + "\\" + day + "\\Audio\\" + SegmentName(day, hour, minute) +
           AudioSuffix(modelCode) + std::to_string(channel);
}

std::string AudioPathOfSegment(const std::string& root, const std::string& segment, int channel,
                               int modelCode) {
    return root + "\\" + segment.substr(0, 8) + "\\Audio\\" + segment + AudioSuffix(modelCode) +
           std::to_string(channel);
}

std::string ImageRoot(int targetType, const std::string& targetText) {
    if (targetType == 2)
        return std::string(kDiscImageRoot) + "\\";
    if (targetType == 3) {
        if (!targetText.empty() && targetText.back() == '\\')
            return targetText;
        return targetText + "\\";
    }
    return std::string();
}

std::string EntryFolder(const std::string& imageRoot, const std::string& entry) {
    return imageRoot + entry;
}

std::string EntryDayFolder(const std::string& imageRoot, const std::string& entry,
                           const std::string& day) {
    return imageRoot + entry + "\\" + day;
}

std::string EntryAudioFolder(const std::string& imageRoot, const std::string& entry,
                             const std::string& day) {
    return EntryDayFolder(imageRoot, entry, day) + "\\Audio";
}

std::string EntryDestFolder(const std::string& imageRoot, const std::string& entry,
                            const std::string& day) {
    return EntryDayFolder(imageRoot, entry, day) + "\\";
}

std::string EntryMinutePrefix(const std::string& imageRoot, const std::string& entry,
                              const std::string& day, int hour, int minute) {
    return EntryDayFolder(imageRoot, entry, day) + "\\" + SegmentName(day, hour, minute);
}

std::string EntryAudioDest(const std::string& imageRoot, const std::string& entry,
                           const std::string& day) {
    return EntryAudioFolder(imageRoot, entry, day) + "\\";
}

std::string WorkingFolder(const std::string& base) {
    // A base folder is given with its closing separator ("C:\Backup\") as often as without:
    // either way the path shown to the operator has one between the two.
    return !base.empty() && base.back() == '\\' ? base + "Reserved" : base + "\\Reserved";
}
std::string ReservePath(const std::string& base) {
    return WorkingFolder(base) + "\\reserve.dat";
}
std::string WorkingEntryFolder(const std::string& base, const std::string& entry) {
    return WorkingFolder(base) + "\\" + entry;
}
std::string WorkingInfoPath(const std::string& base, const std::string& entry) {
    return WorkingEntryFolder(base, entry) + "\\BackupInfo.dat";
}
std::string WorkingMinuteMapPath(const std::string& base, const std::string& entry,
                                 const std::string& day) {
    return WorkingEntryFolder(base, entry) + "\\" + day + "\\" + day + ".dat";
}

}  // namespace paths
