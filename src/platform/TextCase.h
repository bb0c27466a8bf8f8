#pragma once
// Names compared as the recorder's file system and the profile files compare them: without
// regard to the case of ASCII letters.
#include <string>
#include <string_view>

namespace platform {

// The text with its ASCII letters in lower case.
std::string FoldCase(std::string text);
// True when the two are the same but for the case of their ASCII letters.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace platform
