// Who may hold a connection to quillon-share, and what its first bytes say: the port is
// listened at and accepted from here, so that both are decided before the engine has it.
#include <microhttpd.h>

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/HandleWaits.h"
#include "share/HttpMessage.h"
#include "share/MhdServerParts.h"

namespace share {
namespace {

// A TLS record's header and the largest body it may have.
constexpr std::size_t kTlsRecord = 5 + 16 * 1024;

// Whether the ClientHello that begins bytes offers TLS 1.2 or later: its version is the highest
// the client takes (1.3 keeps 1.2's there). A hello not whole in its first record is left to the
// engine, which refuses what it must, though without an alert.
bool OffersTls12(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() < 5)
        return true;
    const std::size_t record = (std::size_t{at(3)} << 8) | at(4);
    if (bytes.size() < 5 + record || record < 6 || at(5) != 1)
        return true;
    return ((unsigned{at(9)} << 8) | at(10)) >= 0x0303;
}

}  // namespace

void MhdServer::AcceptLoop() {
    std::vector<Arrival> waiting;
    platform::HandleWaits waits;
    for (;;) {
        waits.Clear();
        waits.Add(wake_.handle());
        waits.Add(listener_.handle());
        for (const Arrival& a : waiting)
            waits.Add(a.connection.handle());
        // Deadlines are the sweeper's: it shuts an overdue socket, which stirs it here.
        waits.Wait(-1);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!accepting_)
                break;
        }
        wake_.Drain();
        std::vector<Arrival> still;
        for (std::size_t i = 0; i < waiting.size(); ++i)
            if (!waits.Stirred(i + 2) || !Look(waiting[i]))
                still.push_back(std::move(waiting[i]));
        waiting = std::move(still);
        if (waits.Readable(1))
            for (platform::TcpConnection c = listener_.Accept(); c.IsOpen(); c = listener_.Accept())
                Arrive(std::move(c), waiting);
    }
    for (Arrival& a : waiting) {
        Forget(a.peer);
        a.connection.Close();
    }
}

void MhdServer::Arrive(platform::TcpConnection connection, std::vector<Arrival>& waiting) {
    auto peer = std::make_unique<Peer>();
    peer->remote = connection.remote();
    peer->socket = connection.handle();
    std::string why;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        peer->serial = ++accepted_;
        why = Admit(peer->remote);
        if (why.empty()) {
            ++open_;
            ++unproven_;
            ++unprovenAt_[peer->remote];
            ++perAddress_[peer->remote];
        } else {
            peer->turnedAway = true;
            peer->why = why;
            // Said once until the address is below its share again, not once a connection.
            if (site_.log && turnedAway_.insert(peer->remote).second)
                site_.log({peer->remote, nullptr, 0, 0, false, "turned away: " + why});
        }
        peers_.insert(peer.get());
    }
    if (!tls_ && peer->turnedAway) {
        // Plain, the refusal goes at once and fits the socket's buffer; the engine drains what
        // the client sends and closes. Through TLS it waits for the handshake and the request
        // (see Access).
        const std::string refusal =
            HeadRefusal(503, why + "; try again later", {{"Retry-After", kComeBackIn}});
        (void)connection.Send(refusal.data(), refusal.size());
        connection.ShutdownWrite();
        return Hand(std::move(connection), peer.release());
    }
    const auto turnedAway = std::count_if(waiting.begin(), waiting.end(),
                                          [](const Arrival& a) { return a.peer->turnedAway; });
    if (peer->turnedAway && static_cast<unsigned>(turnedAway) >= kTurnedAwaySlack) {
        Forget(peer.release());
        return;
    }
    waiting.push_back({std::move(connection), peer.release(), false});
}

bool MhdServer::Look(Arrival& a) {
    if (a.refused) {
        // Dropped, so that the close does not reset the connection before the reply is read;
        // bounded per look, so that one sender does not keep the others waiting.
        char sink[4096];
        for (int round = 0; round < 4; ++round) {
            const long long n = a.connection.Receive(sink, sizeof sink);
            if (n == platform::TcpConnection::kNotNow)
                return false;
            if (n <= 0)
                break;
            if (round == 3)
                return false;
        }
        Forget(a.peer);
        a.connection.Close();
        return true;
    }
    // What has come so far, at the first sign of it: only what arrived with the first byte is
    // judged here, so that a client that sends slowly takes no more looks than one.
    std::string seen(tls_ ? kTlsRecord : site_.limits.headBytes + 1, '\0');
    const long long n = a.connection.Peek(seen.data(), seen.size());
    if (n == platform::TcpConnection::kNotNow)
        return false;
    seen.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    const auto refuse = [&](int status, const std::string& why) {
        if (site_.log)
            site_.log({a.peer->remote, nullptr, status, 0, true, why});
        const std::string reply = HeadRefusal(status, why);
        // A short reply fits the socket's buffer; if not, the client loses nothing it could use.
        (void)a.connection.Send(reply.data(), reply.size());
        a.connection.ShutdownWrite();
        a.refused = true;
        return Look(a);
    };
    if (seen.empty()) {
        Forget(a.peer);
        a.connection.Close();
        return true;
    }
    const bool handshake = seen[0] == 0x16;
    if (tls_) {
        if (handshake && OffersTls12(seen)) {
            Hand(std::move(a.connection), a.peer);
            return true;
        }
        if (handshake) {
            // The engine drops such a client without a word; it is told why, as TLS says.
            if (site_.log)
                site_.log(
                    {a.peer->remote, nullptr, 0, 0, false, "refused: its TLS is older than 1.2"});
            static const char alert[] = {0x15, 0x03, 0x01, 0x00, 0x02, 0x02, 0x46};
            (void)a.connection.Send(alert, sizeof alert);
            a.connection.ShutdownWrite();
            a.refused = true;
            return Look(a);
        }
        // A client that speaks plain HTTP to a TLS port is told so in plain HTTP; anything
        // else that begins with no TLS handshake record is dropped.
        if (std::isupper(static_cast<unsigned char>(seen[0])))
            return refuse(400, "this port speaks HTTPS only: ask for https://");
        Forget(a.peer);
        a.connection.Close();
        return true;
    }
    if (handshake)
        return refuse(400, "this port speaks plain HTTP, not HTTPS");
    // A first head that breaks the rules is answered here as every head was before the engine
    // served the port: the engine closes on some of them without a word.
    std::string problem;
    int status = 0;
    const std::size_t end = HeadEnd(seen, site_.limits, &problem);
    HttpRequest req;
    if (!problem.empty())
        status = 431;
    else if (end > 0 && ParseHead(std::string_view(seen).substr(0, end), site_.limits, req, &status,
                                  &problem)) {
        // The engine's own refusal of a Content-Length it cannot read repeats its head: such a
        // head is refused here. Any other is the gate's first, then the body's rules.
        const std::string length = req.Header("content-length");
        std::size_t bodyLength = 0;
        if (req.HeaderCount("content-length") == 1 &&
            (length.empty() || length.size() > 18 ||
             length.find_first_not_of("0123456789") != std::string::npos))
            (void)BodyLength(req, site_.maxBody, &bodyLength, &status, &problem);
    }
    if (status != 0 && !problem.empty())
        return refuse(status, problem);
    Hand(std::move(a.connection), a.peer);
    return true;
}

void MhdServer::Hand(platform::TcpConnection connection, Peer* peer) {
    const std::string address = connection.rawAddress();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handed_[connection.handle()] = peer;
    }
    const int fd = connection.Release();
    // The engine closes the socket when it cannot take it.
    if (MHD_add_connection(daemon_, fd, reinterpret_cast<const sockaddr*>(address.data()),
                           static_cast<socklen_t>(address.size())) != MHD_YES) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            handed_.erase(fd);
        }
        Forget(peer);
    }
}

void MhdServer::Forget(Peer* peer) {
    std::lock_guard<std::mutex> lock(mutex_);
    peers_.erase(peer);
    if (!peer->gone && !peer->turnedAway) {
        --open_;
        if (!peer->proven) {
            --unproven_;
            --unprovenAt_[peer->remote];
        }
        if (--perAddress_[peer->remote] < limits_.perAddress)
            turnedAway_.erase(peer->remote);
    }
    if (perAddress_[peer->remote] == 0) {
        perAddress_.erase(peer->remote);
        unprovenAt_.erase(peer->remote);
    }
    delete peer;
}

std::string MhdServer::Admit(const std::string& remote) {
    // Beyond its share an address is turned away at once: a few connections serve any rightful
    // client, and the rest must not take the descriptors of others.
    const auto held = perAddress_.find(remote);
    if (held != perAddress_.end() && held->second >= limits_.perAddress)
        return "too many connections from this address";
    // Connections that sent nothing the gate let by must not keep out one that will.
    if ((open_ >= limits_.connections || unproven_ >= limits_.unproven) && !Evict())
        return "the server holds all the connections it may";
    return {};
}

bool MhdServer::Evict() {
    // One of the address that holds the most connections without a request, so that a flood
    // from a few addresses cannot push out a client that has just connected; of those the
    // oldest.
    Peer* chosen = nullptr;
    auto rank = [this](const Peer& p) { return std::tuple(unprovenAt_[p.remote], ~p.serial); };
    for (Peer* p : peers_)
        if (!p->proven && !p->gone && !p->turnedAway && (!chosen || rank(*p) > rank(*chosen)))
            chosen = p;
    if (!chosen)
        return false;
    if (evictedFrom_.size() > 1024)
        evictedFrom_.clear();
    // Said once for an address until one of its connections brings a request.
    if (site_.log && evictedFrom_.insert(chosen->remote).second)
        site_.log({chosen->remote, nullptr, 0, 0, false,
                   "closed for a newcomer: the server was full, and it had sent no request"});
    chosen->gone = true;
    --open_;
    --unproven_;
    --unprovenAt_[chosen->remote];
    --perAddress_[chosen->remote];
    // The engine sees the socket end and closes the connection on its own thread.
    platform::CutSocket(chosen->socket);
    return true;
}

void MhdServer::Prove(Peer& peer) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (peer.proven || peer.gone)
        return;
    peer.proven = true;
    --unproven_;
    --unprovenAt_[peer.remote];
    evictedFrom_.erase(peer.remote);
}

}  // namespace share
