#include "ServeToken.h"

share::FoundToken ServeToken(const ServeOptions& options) {
    if (options.token.empty())
        return share::FindToken(options.tokenFile);
    share::FoundToken found{options.token, "--token", std::string()};
    if (const std::string problem = share::TokenTextProblem(found.value); !problem.empty()) {
        found.value.clear();
        found.problem = "the token given with --token " + problem;
    }
    return found;
}
