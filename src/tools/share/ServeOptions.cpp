#include "ServeOptions.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "share/ShareAccess.h"

namespace {

// A setting's value checked and stored; why it cannot be, said after the setting's name.
using Setter = std::string (*)(const std::string& value, ServeOptions& options);

struct Key {
    const char* name;
    bool flag;    // on the command line without a value, in the file "yes" or "no"
    bool inFile;  // a setting of the configuration file too
    Setter set;
};

bool YesNo(const std::string& value, bool& out) {
    if (value == "yes")
        out = true;
    else if (value == "no")
        out = false;
    else
        return false;
    return true;
}

std::string NotEmpty(const std::string& value, std::string& out, const char* what) {
    if (value.empty())
        return std::string("needs ") + what;
    out = value;
    return std::string();
}

// A decimal number, all of value, within [low, high].
bool Number(const std::string& value, double low, double high, double& out) {
    if (value.empty())
        return false;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < low || v > high)
        return false;
    out = v;
    return true;
}

const Key kKeys[] = {
    {"root", false, true,
     [](const std::string& v, ServeOptions& o) { return NotEmpty(v, o.root, "a folder"); }},
    {"listen", false, true,
     [](const std::string& v, ServeOptions& o) {
         if (!share::ParseListenAddress(v))
             return "takes ADDRESS:PORT (127.0.0.1:7004, [::1]:7004, 0.0.0.0:7004), not " + v;
         o.listen = v;
         return std::string();
     }},
    {"token-file", false, true,
     [](const std::string& v, ServeOptions& o) { return NotEmpty(v, o.tokenFile, "a file"); }},
    {"token", false, false,
     [](const std::string& v, ServeOptions& o) {
         o.token = v;  // judged with the other sources, never repeated in a message
         return std::string();
     }},
    {"cameras", false, true,
     [](const std::string& v, ServeOptions& o) {
         double n = 0;
         if (!Number(v, 1, 64, n) || n != std::floor(n))
             return "takes a whole number from 1 to 64, not " + v;
         o.cameras = static_cast<int>(n);
         return std::string();
     }},
    {"image-idle", false, true,
     [](const std::string& v, ServeOptions& o) {
         double n = 0;
         if (!Number(v, 0, 7 * 24 * 60, n) || n <= 0)
             return "takes minutes above 0, at most a week (10080), not " + v;
         o.imageIdleMinutes = n;
         return std::string();
     }},
    {"keep-free", false, true,
     [](const std::string& v, ServeOptions& o) {
         if (!Number(v, 0, 100, o.keepFreePercent))
             return "takes a percentage from 0 to 100, not " + v;
         return std::string();
     }},
    {"tls-cert", false, true,
     [](const std::string& v, ServeOptions& o) { return NotEmpty(v, o.tlsCert, "a file"); }},
    {"tls-key", false, true,
     [](const std::string& v, ServeOptions& o) { return NotEmpty(v, o.tlsKey, "a file"); }},
    {"insecure-http", true, true,
     [](const std::string& v, ServeOptions& o) {
         return YesNo(v, o.insecureHttp) ? std::string() : "takes yes or no, not " + v;
     }},
    {"verbose", true, true,
     [](const std::string& v, ServeOptions& o) {
         return YesNo(v, o.verbose) ? std::string() : "takes yes or no, not " + v;
     }},
    {"quiet", true, false,
     [](const std::string& v, ServeOptions& o) {
         return YesNo(v, o.quiet) ? std::string() : "takes yes or no, not " + v;
     }},
};

const Key* Find(const std::string& name) {
    for (const Key& k : kKeys)
        if (name == k.name)
            return &k;
    return nullptr;
}

}  // namespace

bool IsFileKey(const std::string& key) {
    const Key* k = Find(key);
    return k && k->inFile;
}

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine cl;
    bool tokenGiven = false, tokenFileGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            cl.help = true;
            continue;
        }
        if (arg == "--version") {
            cl.version = true;
            continue;
        }
        const Key* key = arg.rfind("--", 0) == 0 ? Find(arg.substr(2)) : nullptr;
        if (!key && arg != "--config") {
            cl.problem = "unknown argument " + arg;
            return cl;
        }
        std::string value = "yes";
        if (!key || !key->flag) {
            if (i + 1 >= argc) {
                cl.problem = "missing value of " + arg;
                return cl;
            }
            value = argv[++i];
        }
        if (!key) {
            cl.config = value;
            continue;
        }
        tokenGiven |= arg == "--token";
        tokenFileGiven |= arg == "--token-file";
        cl.settings.push_back({key->name, value, arg});
    }
    if (tokenGiven && tokenFileGiven)
        cl.problem = "give the token once: --token-file FILE (or --token TOKEN, which `ps` shows)";
    else if (!cl.help && !cl.version) {
        bool verbose = false, quiet = false;
        for (const auto& s : cl.settings) {
            verbose |= s.key == "verbose";
            quiet |= s.key == "quiet";
        }
        if (verbose && quiet)
            cl.problem = "--verbose and --quiet contradict each other";
    }
    return cl;
}

std::string ApplySetting(const GivenSetting& setting, ServeOptions& options) {
    const Key* key = Find(setting.key);
    if (!key)
        return setting.where + " is no setting of quillon-share";
    const std::string problem = key->set(setting.value, options);
    return problem.empty() ? problem : setting.where + " " + problem;
}

std::string OptionsProblem(const ServeOptions& options) {
    if (options.root.empty())
        return "--root is required (or root = PATH in the configuration file)";
    const auto address = share::ParseListenAddress(options.listen);
    if (!address)
        return "cannot read the address " + options.listen;
    // Port 0 takes any free one, which leaves room below it.
    if (address->port != 0 && address->port < 3)
        return "the port of " + options.listen +
               " leaves no room for the preview's pictures, which are served on the port two "
               "below it: give 0 (any free port) or 3 to 65535";
    return std::string();
}

void HideTokenArgument(int argc, char** argv) {
    // Walked as ParseCommandLine walks it, so that only the token is hidden, not a value that
    // happens to read "--token".
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        const Key* key = arg.rfind("--", 0) == 0 ? Find(arg.substr(2)) : nullptr;
        if (arg != "--config" && (!key || key->flag))
            continue;
        ++i;
        if (arg == "--token")
            std::memset(argv[i], '*', std::strlen(argv[i]));
    }
}
