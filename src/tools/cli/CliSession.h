#pragma once
// What the dialog's start-up does, without a window: the program folder and language, the base
// folder, the host values, the saved schedule and its list.
#include <string>

#include "TerminalView.h"
#include "app/CQuillonApp.h"
#include "backup/BackupContext.h"

struct CliOptions {
    std::string base;  // base folder (drive or host path); "" for the program folder
    int dateType = 0;
    int cameras = 16;
    int modelCode = 0x670;
    bool progress = true;
};

class CliSession {
  public:
    explicit CliSession(const CliOptions& options);

    CQuillonApp app;
    TerminalView view;
    BackupContext ctx{app, view};
};

// A folder given on the command line as a drive path, with host paths turned into drive paths.
std::string CommandLineFolder(const std::string& text);
