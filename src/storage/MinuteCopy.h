#pragma once
// Copies one recorded minute into the image for the cameras of one schedule entry: the index is
// rebuilt through an in-memory table and the pictures are packed from offset 0.
#include <string>

#include "backup/BackupContext.h"

constexpr std::size_t kMinuteCopyBuffer = 1048576;  // one picture must fit

// sourcePrefix and destPrefix name a minute without "N.idx" / "N.dat". Returns 1 when the source
// index held at least one row (even if none was selected), 0 when nothing was copied; then why,
// when given, says what stopped it and nothing half-written stays in the image.
int CopyMinuteSegment(BackupContext& ctx, int entryIndex, const std::string& sourcePrefix,
                      const std::string& destPrefix, std::string* why = nullptr);

// The create statement of the minute index table.
std::string IndexTableCreateStatement();
