#pragma once
// Text from files and recorders on the terminal: control characters shown as escapes, so that
// a memo or a name cannot move the cursor, ring the bell or restyle the terminal.
#include <string>

std::string Printable(const std::string& text);
