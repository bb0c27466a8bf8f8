#include "share/LinkSetup.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string_view>

#include "share/ClientId.h"
#include "share/HttpPictureSource.h"
#include "share/HttpShareClient.h"
#include "share/TokenSource.h"

namespace share {
namespace {

// TLS: how the server of an https:// address is trusted.
TlsTrust Trust(const backup::LinkOptions& options) {
    TlsTrust trust;
    trust.on = options.https;
    trust.caFile = options.ca;
    if (!options.pin.empty())
        trust.pin = ReadPin(options.pin, &trust.problem);
    return trust;
}

platform::Error Refused(std::string text) {
    return platform::Error{platform::Error::Kind::kRefused, std::move(text), ""};
}

}  // namespace

platform::Outcome CheckLinkTls(const backup::LinkOptions& options) {
    if ((!options.ca.empty() || !options.pin.empty()) && !options.https)
        return Refused("--ca and --pin go with an https:// --remote address");
    if (std::string problem = Trust(options).problem; !problem.empty())
        return Refused(std::move(problem));
    return platform::Succeeded();
}

bool ParseLinkAddress(const std::string& whole, backup::LinkOptions& out) {
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

platform::Outcome TakeLinkToken(backup::LinkOptions& options) {
    if (!options.token.empty()) {
        if (const std::string problem = TokenTextProblem(options.token); !problem.empty())
            return Refused("the token given with --token " + problem);
        return platform::Succeeded();
    }
    FoundToken found = FindToken(options.tokenFile);
    options.token = found.value;
    if (!found.problem.empty())
        return Refused(std::move(found.problem));
    return platform::Succeeded();
}

std::unique_ptr<backup::RemoteRecorder> MakeLinkClient(const backup::LinkOptions& options,
                                                       const std::string& baseHostFolder) {
    auto client = std::make_unique<HttpShareClient>(options.token, Trust(options),
                                                    ClientIdOf(baseHostFolder));
    if (options.buildStallSeconds > 0)
        client->LimitBuildStall(std::chrono::seconds(options.buildStallSeconds));
    return client;
}

platform::Expected<RecorderDays> LinkDays(const backup::LinkOptions& options) {
    // Asked on the port given, which answers the day list as the preview's port does: a
    // firewall that lets only that port through must not keep the days from a pull.
    HttpPictureSource source(options.address, options.port, options.token, std::chrono::seconds(3),
                             Trust(options));
    RecorderDays answer{source.Days(), source.RecorderTimeZone()};
    if (answer.days.empty() && !source.LastProblem().empty())
        return platform::Error{platform::Error::Kind::kFailed, source.LastProblem(), ""};
    std::sort(answer.days.rbegin(), answer.days.rend());
    return answer;
}

}  // namespace share
