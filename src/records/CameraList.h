#pragma once
// Cameras as the operator lists them: "all", or numbers 1-64 separated by commas ("1,2,5").
#include <string>
#include <vector>

#include "platform/Error.h"

// The numbers as given (from 1), each once; empty for "all". Damaged for a list that is not one.
platform::Expected<std::vector<int>> ParseCameraList(const std::string& text);
