#pragma once
// The rules of a private-profile ("ini") file's text: its lines, sections and key=value entries,
// and the values a lookup finds. Shared by the profile functions (PrivateProfile.h), which find
// files by drive path, and the drive table, which reads its own file by host path.
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Types.h"

namespace platform {

// Larger than any profile the tool reads or writes.
constexpr long long kMaxProfileBytes = 16LL << 20;

// The lines of a file (a host path): "\r\n" or "\n" ends one, and an editor's UTF-8 byte-order
// mark is not part of the first. False when it cannot be read (see ReadHostFile).
bool ReadProfileLines(const std::string& hostPath, std::vector<std::string>& lines);

// Section and key names match without regard to case.
bool ProfileNamesEqual(const std::string& a, const std::string& b);
std::string TrimProfileText(const std::string& s);
// Section name when the line opens a section.
bool ProfileSectionOf(const std::string& line, std::string& name);
// Key and value when the line is key=value (trimmed, one pair of quotes around the value
// dropped); a line starting with ';' is a comment.
bool ProfileEntryOf(const std::string& line, std::string& key, std::string& value);
// Section names in file order, each as often as it opens.
std::vector<std::string> ProfileSectionNames(const std::vector<std::string>& lines);

// The values of a file by section and key: the first section of a name counts, and in it the
// first line of a key.
using ProfileValues = std::unordered_map<std::string, std::string>;
ProfileValues ParseProfileValues(const std::vector<std::string>& lines);
// The value of key in section, or null.
const std::string* FindProfileValue(const ProfileValues& values, const std::string& section,
                                    const std::string& key);
// A value as a caller's buffer of bufferSize characters holds it (size - 1 characters).
std::string CutProfileValue(std::string value, std::size_t bufferSize);
// An integer value as the platform reads it: leading decimal digits, def when empty.
UINT ProfileIntOf(const std::string& value, int def);

}  // namespace platform
