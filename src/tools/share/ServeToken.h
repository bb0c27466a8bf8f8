#pragma once
// The token quillon-share asks of every client, from the first source given of: --token (which
// `ps` shows; kept for the scripts that use it), the token file (--token-file, or token-file in
// the configuration), QUILLON_SHARE_TOKEN, the service's credential "token".
#include "ServeOptions.h"
#include "share/TokenSource.h"

share::FoundToken ServeToken(const ServeOptions& options);
