#pragma once
// What MhdServer's two halves share: the engine's side (MhdServer.cpp) and the accept loop with
// its admission (MhdArrivals.cpp).
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/TcpConnection.h"
#include "share/MhdServer.h"

namespace share {

// What a client turned away is told to wait, in seconds.
inline constexpr const char* kComeBackIn = "5";
// Connections past the limits are still taken from the listening socket, to be told why they
// are turned away; beyond this many more the engine closes them unanswered.
inline constexpr unsigned kTurnedAwaySlack = 64;

struct MhdServer::Peer {
    std::string remote;
    int socket = -1;
    std::uint64_t serial = 0;
    bool proven = false;
    bool turnedAway = false;
    bool gone = false;  // closed for a newcomer: no longer counted
    bool cut = false;   // its first head overdue
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
    std::string why;  // of a connection turned away
};

struct MhdServer::Call {
    HttpRequest req;
    Peer* peer = nullptr;
    std::size_t length = 0;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
    bool admitted = false;
    bool answered = false;
    int status = 0;
    bool file = false;
    unsigned long long bytes = 0;  // of a text reply's body; of a file's, handed to the engine
    std::string why;
    HttpResponse res;  // a file reply's reader lives here until the request ends
    unsigned long long first = 0;
    bool parked = false;  // a file reply waiting for its turn, its connection suspended
    bool turn = false;    // one of the file replies under way
};

struct MhdServer::Arrival {
    platform::TcpConnection connection;
    Peer* peer = nullptr;
    bool refused = false;  // told to ask for HTTPS; what it sends is dropped until it closes
};

}  // namespace share
