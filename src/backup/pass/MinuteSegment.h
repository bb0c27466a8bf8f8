#pragma once
// The dialog's minute copy: one minute of an entry's cameras into the image, with the status
// line, the done size and the progress bar, and what went wrong in the backup report.
#include <string>

#include "backup/pass/PassJob.h"
#include "storage/PictureRows.h"

// sourcePrefix and destPrefix name a minute without "N.idx" / "N.dat". Returns 1 when the
// source index held at least one row (even if none was selected), 0 when nothing was copied;
// then why, when given, says what stopped it. The cameras' index rows that address no picture
// are left out; damaged, when given, counts them camera by camera for the caller to report;
// inRecording, when given, tells whether why lies in the recording itself.
// Runs on the worker thread.
int CopyMinuteSegment(backup::PassJob& job, int entryIndex, const std::string& sourcePrefix,
                      const std::string& destPrefix, std::string* why = nullptr,
                      storage::RowsOutside* damaged = nullptr, bool* inRecording = nullptr);
// The same for the cameras of entry, which need not be a slot of the schedule.
int RebuildMinute(backup::PassJob& job, const ScheduleEntry& entry, const std::string& sourcePrefix,
                  const std::string& destPrefix, std::string* why = nullptr,
                  storage::RowsOutside* damaged = nullptr, bool* inRecording = nullptr);
