#pragma once
// quillon-share's configuration file (/etc/quillon/share.conf for the service): lines
// "key = value", blank lines and lines that begin with '#'. The keys are those of the command
// line without their dashes (ServeOptions.h); yes or no for the switches. A file that names a
// file by a relative path means one beside itself.
#include <string>
#include <vector>

#include "ServeOptions.h"

// The settings of the file at path, each with its "FILE:LINE: key" as where; why the file cannot
// be used ("FILE:LINE: ..." for a line that is wrong), or "".
std::string ReadConfigFile(const std::string& path, std::vector<GivenSetting>& settings);

// The settings of text as ReadConfigFile reads a file's (path names it in messages).
std::string ParseConfigText(const std::string& path, const std::string& text,
                            std::vector<GivenSetting>& settings);
