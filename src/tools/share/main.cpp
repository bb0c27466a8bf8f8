// quillon-share: serves one recorder's storage to a remote Quillon Backup over HTTP.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/DrivePaths.h"
#include "platform/Signals.h"
#include "share/PictureServer.h"
#include "share/ShareAccess.h"
#include "share/ShareProtocol.h"
#include "share/ShareServer.h"
#include "share/TlsServer.h"

namespace {

int Usage(const char* why) {
    if (why)
        std::fprintf(stderr, "quillon-share: %s\n", why);
    std::fprintf(stderr,
                 "usage: quillon-share --root PATH [--listen ADDRESS:PORT] [--token TOKEN]\n"
                 "                     [--cameras N] [--image-idle MINUTES] [--keep-free PERCENT]\n"
                 "                     [--tls-cert FILE --tls-key FILE | --insecure-http]\n"
                 "                     [--verbose] | --version\n"
                 "  PATH     the recordings: a drive path (C:\\QorData) or a host folder\n"
                 "  ADDRESS  127.0.0.1:%d unless given; other than loopback needs a token\n"
                 "  MINUTES  an image nobody fetches from is removed after them (30)\n"
                 "  PERCENT  of the recorder's disk an image build leaves free (10)\n"
                 "  FILE     PEM: HTTPS on both ports; other than loopback, plain HTTP needs\n"
                 "           --insecure-http\n",
                 share::kDefaultPort);
    return 2;
}

// A drive path stays as given; a host folder becomes the drive path that reaches it.
std::string StorageRoot(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':')
        return path;
    return platform::ToDrivePath(path);
}

}  // namespace

int main(int argc, char** argv) {
    std::string root, listen = "127.0.0.1:" + std::to_string(share::kDefaultPort);
    share::ShareServer::Options options;
    int cameras = 64;
    double idleMinutes = 30, keepFreePercent = 10;
    std::string tlsCert, tlsKey;  // TLS
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--insecure-http") {  // TLS
            options.insecureHttp = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(nullptr);
            return 0;
        } else if (arg == "--version") {
            std::printf("quillon-share %s\n", QUILLON_VERSION);
            return 0;
        } else if (!(v = value())) {
            return Usage(("missing value of " + arg).c_str());
        } else if (arg == "--root") {
            root = v;
        } else if (arg == "--listen") {
            listen = v;
        } else if (arg == "--token") {
            options.token = v;
        } else if (arg == "--tls-cert") {  // TLS
            tlsCert = v;
        } else if (arg == "--tls-key") {  // TLS
            tlsKey = v;
        } else if (arg == "--cameras") {
            cameras = std::atoi(v);
            if (cameras < 1 || cameras > 64)
                return Usage("--cameras takes 1 to 64");
        } else if (arg == "--image-idle") {
            idleMinutes = std::atof(v);
            if (!(idleMinutes > 0 && idleMinutes <= 7 * 24 * 60))
                return Usage("--image-idle takes minutes above 0, at most a week");
        } else if (arg == "--keep-free") {
            keepFreePercent = std::atof(v);
            if (!(keepFreePercent >= 0 && keepFreePercent <= 100))
                return Usage("--keep-free takes a percentage from 0 to 100");
        } else {
            return Usage(("unknown argument " + arg).c_str());
        }
    }
    if (root.empty())
        return Usage("--root is required");
    auto address = share::ParseListenAddress(listen);
    if (!address)
        return Usage(("cannot read the address " + listen).c_str());
    // TLS: HTTPS on both ports with the certificate given.
    if (tlsCert.empty() != tlsKey.empty())
        return Usage("--tls-cert and --tls-key go together");
    if (!tlsCert.empty()) {
        std::string why;
        if (!(options.tls = share::ServerTls::Load(tlsCert, tlsKey, &why))) {
            std::fprintf(stderr, "quillon-share: %s\n", why.c_str());
            return 1;
        }
    }

    // Every thread started from here on leaves the stop signals to the wait below.
    platform::HoldStopSignals();
    // A client that goes away mid-reply must not end the server.
    platform::IgnoreBrokenPipes();

    ShareService::Settings settings;
    settings.storageRoot = StorageRoot(root);
    settings.cameras = cameras;
    settings.abandonAfter =
        std::chrono::milliseconds(static_cast<long long>(idleMinutes * 60 * 1000));
    settings.keepFree = keepFreePercent / 100;
    share::ShareServer server(settings, options);
    std::string why;
    if (!server.Start(address->host, address->port, &why)) {
        std::fprintf(stderr, "quillon-share: %s\n", why.c_str());
        return 1;
    }

    // The preview's pictures, on the port two below, under the same token.
    share::PictureServer pictures(settings.storageRoot, {}, options.tls);
    if (server.port() < 3 || !pictures.Start(address->host, server.port() - 2, options.token)) {
        std::fprintf(stderr, "quillon-share: cannot serve the pictures on %s:%d\n",
                     address->host.c_str(), server.port() - 2);
        server.Stop();
        return 1;
    }

    std::printf("quillon-share: serving %s on %s:%d\n", settings.storageRoot.c_str(),
                address->host.c_str(), server.port());
    if (options.tls)  // TLS: what clients pin (--pin)
        std::printf("quillon-share: HTTPS, certificate pin %s\n", options.tls->pin().c_str());
    std::fflush(stdout);
    const std::string stopSignal = platform::WaitForStopSignal();
    std::fprintf(stderr, "quillon-share: %s, stopping\n", stopSignal.c_str());
    pictures.Stop();
    server.Stop();
    return 0;
}
