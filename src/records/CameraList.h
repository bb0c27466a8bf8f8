#pragma once
// Cameras as the operator lists them: "all", or numbers 1-64 separated by commas ("1,2,5").
#include <string>
#include <vector>

// The numbers as given (from 1), each once; empty for "all". False with why for a list that is
// not one.
bool ParseCameraList(const std::string& text, std::vector<int>& out, std::string& why);
