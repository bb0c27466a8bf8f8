#pragma once
// Every path the tool forms: the recorder's minutes (read only), the backup image and the
// working folder. Plain formatting of drive paths; doubled separators are kept as formed.
#include <string>

namespace paths {

// A number of the recorder's names and times as two digits ("07", "23").
std::string Two(int v);

constexpr const char* kDiscImageRoot = "C:\\QuillonTemp";
constexpr const char* kNetImageRoot = "C:\\NetBackupTemp";

// ".aug" for the models 0x1648A and 0x1648D, ".au" for every other.
std::string AudioSuffix(int modelCode);
// Minute segment name YYYYMMDDhhmm.
std::string SegmentName(const std::string& day, int hour, int minute);

// Recorder side.
std::string DayFolder(const std::string& root, const std::string& day);
std::string DayMapPath(const std::string& folder, const std::string& day);  // "%s\%s.dat"
std::string MinutePrefix(const std::string& root, const std::string& day, int hour, int minute);
std::string MinuteIndexPath(const std::string& root, const std::string& segment);
std::string MinuteWildcard(const std::string& root, const std::string& day, int hour, int minute);
std::string AudioPath(const std::string& root, const std::string& day, int hour, int minute,
                      int channel, int modelCode);
std::string AudioPathOfSegment(const std::string& root, const std::string& segment, int channel,
                               int modelCode);

// Image side.
std::string ImageRoot(int targetType, const std::string& targetText);
std::string EntryFolder(const std::string& imageRoot, const std::string& entry);
std::string EntryDayFolder(const std::string& imageRoot, const std::string& entry,
                           const std::string& day);
std::string EntryAudioFolder(const std::string& imageRoot, const std::string& entry,
                             const std::string& day);
std::string EntryDestFolder(const std::string& imageRoot, const std::string& entry,
                            const std::string& day);  // ends in "\"
std::string EntryMinutePrefix(const std::string& imageRoot, const std::string& entry,
                              const std::string& day, int hour, int minute);
std::string EntryAudioDest(const std::string& imageRoot, const std::string& entry,
                           const std::string& day);  // ends in "\"

// Working folder.
std::string WorkingFolder(const std::string& base);
std::string ReservePath(const std::string& base);
std::string WorkingEntryFolder(const std::string& base, const std::string& entry);
std::string WorkingInfoPath(const std::string& base, const std::string& entry);
std::string WorkingMinuteMapPath(const std::string& base, const std::string& entry,
                                 const std::string& day);

}  // namespace paths
