#pragma once
// The link to a remote recorder as the front end's session holds it, one owner: the recorder's
// port (when this front end has one), where its answers go, what it was connected to, and what
// is awaited.
#include <cstdint>
#include <string>

namespace backup {

// How far the transfer of one item of a download is.
struct LinkProgress {
    std::string item;
    std::uint32_t total = 0, done = 0;
};

class LinkInbox;
class RemoteRecorder;

struct LinkState {
    RemoteRecorder* client = nullptr;
    LinkInbox* inbox = nullptr;  // where the answers go
    std::string connectedTo;     // "address:port"; "" before the first connection
    std::string lastText;        // the link's last progress or problem
    bool awaitingSize = false;   // a remote Add waits for its answer
    bool downloadShown = false;  // the progress of a download is shown
};

}  // namespace backup
