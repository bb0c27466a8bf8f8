// quillon-share: serves one recorder's storage to a remote Quillon Backup over HTTP.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ServeConfig.h"
#include "ServeOptions.h"
#include "ServeToken.h"
#include "StartupChecks.h"
#include "platform/DrivePaths.h"
#include "platform/Signals.h"
#include "share/PictureServer.h"
#include "share/ShareAccess.h"
#include "share/ShareLog.h"
#include "share/ShareServer.h"
#include "share/TlsServer.h"

namespace {

int Usage(const share::Log& log, const std::string& why) {
    if (!why.empty())
        log.Write(share::LogLevel::kError, why);
    std::fprintf(
        why.empty() ? stdout : stderr,
        "usage: quillon-share [--config FILE] --root PATH [--listen ADDRESS:PORT]\n"
        "                     [--token-file FILE] [--cameras N] [--image-idle MINUTES]\n"
        "                     [--keep-free PERCENT] [--tls-cert FILE --tls-key FILE |\n"
        "                     --insecure-http] [--verbose | --quiet] | --version\n"
        "  FILE     settings as lines KEY = VALUE, the keys those of the options (root,\n"
        "           listen, token-file, ...); the command line wins over it\n"
        "  PATH     the recordings: a drive path (C:\\QorData) or a host folder\n"
        "  ADDRESS  127.0.0.1:%d unless given; other than loopback needs a token, from\n"
        "           --token-file (mode 0600), QUILLON_SHARE_TOKEN or the credential \"token\"\n"
        "  MINUTES  an image nobody fetches from is removed after them (30)\n"
        "  PERCENT  of the recorder's disk an image build leaves free (10)\n"
        "  --tls-cert, --tls-key  PEM files: HTTPS on both ports; other than loopback, plain\n"
        "           HTTP needs --insecure-http\n"
        "  --verbose adds a line per file built, --quiet leaves out the answered requests\n",
        share::kDefaultPort);
    return why.empty() ? 0 : 2;
}

// The settings of the file, then those of the command line over them.
std::string GatherOptions(const CommandLine& cl, ServeOptions& options) {
    std::vector<GivenSetting> settings;
    if (!cl.config.empty())
        if (std::string problem = ReadConfigFile(cl.config, settings); !problem.empty())
            return problem;
    settings.insert(settings.end(), cl.settings.begin(), cl.settings.end());
    for (const GivenSetting& s : settings)
        if (std::string problem = ApplySetting(s, options); !problem.empty())
            return problem;
    return OptionsProblem(options);
}

// What an operator should know before the first client comes: warnings that do not stop it.
void WarnOfWeakSpots(const share::Log& log, const share::FoundToken& token,
                     const ShareService::Settings& settings, const std::string& served) {
    if (token.value.empty())
        log.Write(share::LogLevel::kWarning,
                  "no token: every user and program of this machine can fetch the recordings "
                  "through " +
                      served +
                      " (give one with --token-file, QUILLON_SHARE_TOKEN or the credential "
                      "\"token\")");
    else if (token.from == "--token")
        log.Write(share::LogLevel::kWarning,
                  "--token shows the token to every user of this machine (ps); give it with "
                  "--token-file or QUILLON_SHARE_TOKEN instead");
    else if (token.value.size() < 16)
        log.Write(share::LogLevel::kWarning, "the token from " + token.from + " has only " +
                                                 std::to_string(token.value.size()) +
                                                 " characters: one that short can be guessed");
    if (const std::string problem = RecordingsProblem(settings.storageRoot); !problem.empty())
        log.Write(share::LogLevel::kWarning, problem);
}

}  // namespace

int main(int argc, char** argv) {
    share::Log log("quillon-share");
    const CommandLine cl = ParseCommandLine(argc, argv);
    HideTokenArgument(argc, argv);
    if (!cl.problem.empty())
        return Usage(log, cl.problem);
    if (cl.help)
        return Usage(log, std::string());
    if (cl.version) {
        std::printf("quillon-share %s\n", QUILLON_VERSION);
        return 0;
    }
    ServeOptions options;
    if (const std::string problem = GatherOptions(cl, options); !problem.empty()) {
        log.Write(share::LogLevel::kError, problem);
        return 2;
    }
    log.SetMost(options.quiet     ? share::LogLevel::kNotice
                : options.verbose ? share::LogLevel::kDebug
                                  : share::LogLevel::kInfo);
    // HTTPS on both ports with the certificate given.
    std::shared_ptr<const share::ServerTls> tls;
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        log.Write(share::LogLevel::kError, "tls-cert and tls-key go together");
        return 2;
    }
    if (!options.tlsCert.empty()) {
        auto loaded = share::ServerTls::Load(options.tlsCert, options.tlsKey);
        if (!loaded) {
            log.Write(share::LogLevel::kError, loaded.error().Said());
            return 1;
        }
        tls = std::move(*loaded);
    }
    const auto address = share::ParseListenAddress(options.listen);
    const share::FoundToken token = ServeToken(options);
    if (!token.problem.empty()) {
        log.Write(share::LogLevel::kError, token.problem);
        return 1;
    }
    if (const std::string problem = share::ListenProblem(address->host, token.value);
        !problem.empty()) {
        log.Write(share::LogLevel::kError, problem);
        return 1;
    }
    if (const std::string problem = WorkingFolderProblem(); !problem.empty()) {
        log.Write(share::LogLevel::kError, problem);
        return 1;
    }

    ShareService::Settings settings;
    settings.storageRoot = StorageRoot(options.root);
    settings.cameras = options.cameras;
    settings.abandonAfter =
        std::chrono::milliseconds(static_cast<long long>(options.imageIdleMinutes * 60 * 1000));
    settings.keepFree = options.keepFreePercent / 100;

    // Every thread started from here on leaves the stop signals to the wait below.
    platform::HoldStopSignals();
    // A client that goes away mid-reply must not end the server.
    platform::IgnoreBrokenPipes();

    share::ShareServer::Options serverOptions;
    serverOptions.token = token.value;
    serverOptions.log = &log;
    serverOptions.tls = tls;
    serverOptions.insecureHttp = options.insecureHttp;
    share::ShareServer server(settings, serverOptions);
    // The preview's pictures, on the port two below, under the same token.
    share::PictureServer pictures(settings.storageRoot, {}, tls);
    pictures.SetLog([&log](const share::HttpOutcome& outcome) {
        // The preview asks for pictures many times a second while it plays.
        log.Write(share::OutcomeLevel(outcome, true), "pictures: " + share::OutcomeText(outcome));
    });
    std::string served, picturesAt;
    // Any free port (0) is another one while the one two below it is taken; a port the operator
    // gave is that port or none.
    const int attempts = address->port == 0 ? 20 : 1;
    bool started = false;
    for (int attempt = 0; attempt < attempts && !started; ++attempt) {
        if (const platform::Outcome listening = server.Start(address->host, address->port);
            !listening) {
            log.Write(share::LogLevel::kError, listening.error().Said());
            return 1;
        }
        served = address->host + ":" + std::to_string(server.port());
        picturesAt = address->host + ":" + std::to_string(server.port() - 2);
        started = pictures.Start(address->host, server.port() - 2, token.value);
        if (!started)
            server.Stop();
    }
    if (!started) {
        // The operator gave the first port: say which other one is needed and why.
        log.Write(share::LogLevel::kError,
                  "cannot serve the preview's pictures on " + picturesAt + ", the port two below " +
                      served +
                      " (is another program using it?); give --listen a port whose "
                      "neighbour two below is free");
        return 1;
    }

    std::printf("quillon-share: serving %s on %s\n", settings.storageRoot.c_str(), served.c_str());
    if (tls)  // what clients pin (--pin)
        std::printf("quillon-share: HTTPS, certificate pin %s\n", tls->pin().c_str());
    std::fflush(stdout);
    log.Write(
        share::LogLevel::kNotice,
        std::string("started (version ") + QUILLON_VERSION + "): serving " + settings.storageRoot +
            " (" + platform::ResolvePath(settings.storageRoot) + ") on " + served +
            ", the preview's pictures on " + picturesAt + ", " +
            (tls ? "HTTPS with the certificate pin " + tls->pin() : std::string("plain HTTP")) +
            "; " +
            (token.value.empty() ? std::string("no token") : "the token from " + token.from));
    WarnOfWeakSpots(log, token, settings, served);
    const std::string stopSignal = platform::WaitForStopSignal();
    log.Write(share::LogLevel::kNotice, stopSignal + ", stopping");
    pictures.Stop();
    server.Stop();
    return 0;
}
