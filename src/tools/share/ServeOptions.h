#pragma once
// What quillon-share is told to do: the settings of its configuration file and command line,
// one table of keys for both ("--image-idle 20" on the command line is "image-idle = 20" in the
// file), the command line's winning over the file's.
#include <string>
#include <utility>
#include <vector>

#include "share/ShareProtocol.h"

struct ServeOptions {
    std::string root;  // a drive path (C:\QorData) or a host folder
    std::string listen = "127.0.0.1:" + std::to_string(share::kDefaultPort);
    std::string tokenFile;
    std::string token;  // --token, only ever from the command line
    int cameras = 64;
    double imageIdleMinutes = 30;
    double keepFreePercent = 10;
    // Taken from the file and the command line so that a configuration names them once; this
    // server does not serve HTTPS (StartupChecks.h refuses them).
    std::string tlsCert, tlsKey;
    bool insecureHttp = false;
    bool verbose = false;  // debug lines too
    bool quiet = false;    // no line per answered request
};

// A setting as given: its key and value, and where ("--cameras", "share.conf:4").
struct GivenSetting {
    std::string key, value, where;
};

struct CommandLine {
    std::vector<GivenSetting> settings;  // in the order given
    std::string config;                  // --config FILE
    bool help = false, version = false;
    std::string problem;  // why the command line is not one quillon-share takes
};
CommandLine ParseCommandLine(int argc, char** argv);

// Whether key is a setting of the configuration file, and of the command line.
bool IsFileKey(const std::string& key);

// Sets one setting; why not, with its where before it, or "".
std::string ApplySetting(const GivenSetting& setting, ServeOptions& options);

// What the settings together lack or contradict ("" when nothing): the root is required,
// the address must be one, its port leaves room for the pictures' below it.
std::string OptionsProblem(const ServeOptions& options);

// Overwrites the value of --token in the program's arguments, so that `ps` shows it only in the
// moment before the program starts reading them.
void HideTokenArgument(int argc, char** argv);
