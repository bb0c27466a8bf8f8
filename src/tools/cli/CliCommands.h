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
    std::string folder;     // --folder
    std::string disc;       // --disc
    bool viewer = false;    // --viewer
    std::string key;        // --key: a public key file to trust
    std::string cert;       // --cert: a certificate file to trust for the video files
    bool deep = false;      // --deep
    bool mp4 = false;       // --mp4
    std::string out;        // --out
    std::string entry;      // --entry
    bool force = false;     // --force
    bool timeZone = false;  // --time-zone was given (and made the process's zone)
    // The options that name the session, as given: repeated in the commands printed to add an
    // entry again.
    std::vector<std::string> sessionOptions;
};

int CmdDays(CliSession& s, const CliArgs& a);
int CmdDay(CliSession& s, const CliArgs& a);
int CmdAdd(CliSession& s, const CliArgs& a);
int CmdList(CliSession& s, const CliArgs& a);
int CmdDelete(CliSession& s, const CliArgs& a);
int CmdMemo(CliSession& s, const CliArgs& a);
int CmdBackup(CliSession& s, const CliArgs& a);
// The backup, with what its pass left handed over in outcome (as it was when nothing ran).
int RunBackup(CliSession& s, const CliArgs& a, backup::PassOutcome& outcome);
int CmdErase(CliSession& s, const CliArgs& a);
// Without a session: an image checked against its manifest, and the signing key.
// partialWhole: a partial image whose listed files all check passes too (its manifest says
// what it lacks).
int CmdVerify(const CliArgs& a, bool progress, bool partialWhole = false);
int CmdKey(const CliArgs& a);
// Only in quillon-cli-video, which has the encoder.
int CmdExport(const CliArgs& a, bool progress);
// One run of a recorder of the pull configurations, with its own session.
int CmdPull(const CliArgs& a, CliOptions options);

// Thrown for a command line that cannot be understood; main prints it with the usage.
struct UsageError {
    std::string what;
};

// Says on stderr that a listed entry's information file cannot be read, when it cannot.
void NoteInfoProblem(const backup::ListedEntry& entry);
