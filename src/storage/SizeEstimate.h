#pragma once
// How many kilobytes an entry's backup will take, from the minute index files and audio files of
// the selected cameras, and the total shown in the dialog.
#include <string>

#include "backup/BackupContext.h"

constexpr int kPicturesPerAllowanceKB = 37;
constexpr int kEntryMarginKB = 3000;

// "where camnum in(0,2,5)" of the selected cameras; "where camnum in()" (valid, matches nothing)
// when none is selected.
std::string BuildCameraWhereClause(const BackupContext& ctx);
// Sum of imgsize / number of rows of the selected cameras in one minute; 0 when the index is
// missing or cannot be read.
int GetMinuteDataBytes(const BackupContext& ctx, const std::string& segment);
int GetMinuteFrameCount(const BackupContext& ctx, const std::string& segment);
// Length of the minute's audio file for the channel; 0 when missing.
int GetMinuteAudioBytes(const BackupContext& ctx, const std::string& segment, int channel);
// 1 when an estimate was made (m_nLastEntrySize, m_nTotalSize, m_nSelCamCount updated and the
// total shown), 2 when the range holds nothing. start and end are "hhmm".
int EstimateEntrySize(BackupContext& ctx, const std::string& day, const std::string& start,
                      const std::string& end);
// "Total %.01f KByte" up to 1024 KB, "Total %.01f MByte" above, or the language file's formats.
std::string FormatTotalSize(const BackupContext& ctx, DWORD totalKB);
void ShowTotalSize(BackupContext& ctx);
