#pragma once
// The commands of quillon-cli. Each answers the process's exit status: 0 when the whole job
// succeeded, 1 when it was refused or failed, 2 for a command line that cannot be understood,
// 130 when the operator stopped a backup.
#include <string>
#include <vector>

#include "CliSession.h"

struct CliArgs {
    std::vector<std::string> positional;
    std::string cams;  // --cams
    std::string memo;  // --memo
    bool hasMemo = false;
    std::string folder;   // --folder
    bool viewer = false;  // --viewer
};

int CmdDays(CliSession& s, const CliArgs& a);
int CmdDay(CliSession& s, const CliArgs& a);
int CmdAdd(CliSession& s, const CliArgs& a);
int CmdList(CliSession& s, const CliArgs& a);
int CmdDelete(CliSession& s, const CliArgs& a);
int CmdMemo(CliSession& s, const CliArgs& a);
int CmdBackup(CliSession& s, const CliArgs& a);

// Thrown for a command line that cannot be understood; main prints it with the usage.
struct UsageError {
    std::string what;
};
