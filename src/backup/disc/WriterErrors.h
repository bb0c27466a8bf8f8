#pragma once
// The disc writer's error codes as the fixed English sentences the window shows, whatever the
// language: 1000 to 1055, and "Unknown error" for every other code.
#include <string>

std::string GetWriterErrorText(long code);
