#pragma once
// Private-profile ("ini") files with the platform's lookup rules: section and key match without
// regard to case, the first match wins, values are trimmed, the caller's buffer size cuts the
// value to size - 1 characters, and the file is read afresh on every call.
#include <string>
#include <vector>

#include "platform/Types.h"

namespace platform {

// Reads key in section of the file at path (a drive path or a host path). Returns the value (or
// def when the file, section or key is missing), cut to bufferSize - 1 characters.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, std::size_t bufferSize,
                                    const std::string& path);

// Integer value as the platform reads it: leading decimal digits, def when missing.
UINT GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                          const std::string& path);

// Writes key=value into section, creating the file and the section when missing. The first
// matching key is replaced in place; other lines are kept as they are.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

// Section names in file order (empty when the file cannot be read).
std::vector<std::string> GetPrivateProfileSectionNames(const std::string& path);

// True when the file holds the section (used by the registry hive for key existence).
bool ProfileSectionExists(const std::string& section, const std::string& path);

// Appends an empty section; false when the file cannot be written.
bool WriteProfileSection(const std::string& section, const std::string& path);

// List values are written comma-separated with a trailing comma: "a,b,c,".
std::string JoinProfileList(const std::vector<std::string>& items);

}  // namespace platform
