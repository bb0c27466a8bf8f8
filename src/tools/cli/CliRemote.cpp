#include "CliCommands.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/DrivePaths.h"
#include "share/ClientId.h"
#include "share/HttpPictureSource.h"
#include "share/HttpShareClient.h"
#include "share/TokenSource.h"

namespace {

// TLS: how the server of an https:// address is trusted.
share::TlsTrust Trust(const RemoteOptions& options) {
    share::TlsTrust trust;
    trust.on = options.https;
    trust.caFile = options.ca;
    if (!options.pin.empty())
        trust.pin = share::ReadPin(options.pin, &trust.problem);
    return trust;
}

}  // namespace

std::string RemoteTlsProblem(const RemoteOptions& options) {
    if ((!options.ca.empty() || !options.pin.empty()) && !options.https)
        return "--ca and --pin go with an https:// --remote address";
    return Trust(options).problem;
}

bool ParseRemote(const std::string& whole, RemoteOptions& out) {
    constexpr std::string_view kHttps = "https://";
    out.https = whole.compare(0, kHttps.size(), kHttps) == 0;
    const std::string text = out.https ? whole.substr(kHttps.size()) : whole;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size())
        return false;
    const std::string port = text.substr(colon + 1);
    if (port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5)
        return false;
    const int p = std::atoi(port.c_str());
    if (p < 1 || p > 65535)
        return false;
    out.address = text.substr(0, colon);
    out.port = p;
    return true;
}

std::string TakeRemoteToken(RemoteOptions& options) {
    if (!options.token.empty()) {
        if (const std::string problem = share::TokenTextProblem(options.token); !problem.empty())
            return "the token given with --token " + problem;
        return std::string();
    }
    const share::FoundToken found = share::FindToken(options.tokenFile);
    options.token = found.value;
    return found.problem;
}

RemoteLink::RemoteLink(backup::Session& session, const RemoteOptions& options)
    : session_(session), options_(options) {
    auto client = std::make_unique<share::HttpShareClient>(
        options.token, Trust(options),
        share::ClientIdOf(platform::ResolvePath(session.BaseFolder())));
    if (options.buildStallSeconds > 0)
        client->LimitBuildStall(std::chrono::seconds(options.buildStallSeconds));
    client_ = std::move(client);
    session_.UseRemoteRecorder(options.address, options.port, client_.get());
}

RemoteLink::~RemoteLink() {
    session_.DropRemoteRecorder();
    client_.reset();
}

std::vector<std::string> RemoteLink::Days(std::string& problem, std::string* zone) const {
    // Asked on the port given, which answers the day list as the preview's port does: a
    // firewall that lets only that port through must not keep the days from a pull.
    share::HttpPictureSource source(options_.address, options_.port, options_.token,
                                    std::chrono::seconds(3), Trust(options_));
    std::vector<std::string> days = source.Days();
    if (zone)
        *zone = source.RecorderTimeZone();
    std::sort(days.rbegin(), days.rend());
    if (days.empty())
        problem = source.LastProblem();
    return days;
}
