#pragma once
// Who asks the server for an image, as the server tells one client from another across its
// runs: a client that was killed while it fetched an entry and runs again takes its own image
// over at once, where another client must wait until that one has finished with it.
#include <string>

namespace share {

// The id of the client that keeps its schedule in the base folder (host path) on this machine:
// 32 lower-case hex digits. Two clients on one machine with one base folder never run at once.
std::string ClientIdOf(const std::string& baseFolder);
// "" when id is one a client sends (16 to 64 lower-case hex digits), else what is wrong.
std::string ClientIdProblem(const std::string& id);

}  // namespace share
