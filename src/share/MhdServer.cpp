#include "share/MhdServer.h"

#include <microhttpd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <string_view>
#include <tuple>

#include "platform/HandleWaits.h"
#include "share/HttpMessage.h"
#include "share/HttpRange.h"

namespace share {
namespace {

constexpr const char* kComeBackIn = "5";
// Connections past the limits are still taken from the listening socket, to be told why they
// are turned away; beyond this many more the engine closes them unanswered.
constexpr unsigned kTurnedAwaySlack = 64;

// What a TLS file reply reads at a time: a few records' worth.
constexpr std::size_t kTlsFileBlock = 64 * 1024;

unsigned Seconds(std::chrono::milliseconds time) {
    return static_cast<unsigned>(std::max<long long>(1, (time.count() + 999) / 1000));
}

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

MHD_Result Collect(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* into = static_cast<std::vector<std::pair<std::string, std::string>>*>(cls);
    into->emplace_back(key ? key : "", value ? value : "");
    return MHD_YES;
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Query values as they were sent, near enough for the log: escapes where they are needed.
std::string Escaped(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace

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

namespace {

MHD_Result OnAccess(void* cls, MHD_Connection* connection, const char* url, const char* method,
                    const char* version, const char* upload, std::size_t* uploadSize,
                    void** context) {
    return static_cast<MhdServer*>(cls)->Access(connection, url, method, version, upload,
                                                uploadSize, context) != 0
               ? MHD_YES
               : MHD_NO;
}

void OnCompleted(void* cls, MHD_Connection* connection, void** context,
                 MHD_RequestTerminationCode how) {
    static_cast<MhdServer*>(cls)->Completed(connection, context, static_cast<int>(how));
}

void OnConnection(void* cls, MHD_Connection* connection, void** context,
                  MHD_ConnectionNotificationCode code) {
    static_cast<MhdServer*>(cls)->Connected(connection, context,
                                            code == MHD_CONNECTION_NOTIFY_STARTED);
}

MHD_Response* TextResponse(const HttpResponse& res, bool close) {
    MHD_Response* r = MHD_create_response_from_buffer(
        res.body.size(), const_cast<char*>(res.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!r)
        return nullptr;
    for (const auto& [name, value] : res.headers)
        MHD_add_response_header(r, name.c_str(), value.c_str());
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, res.contentType.c_str());
    if (close)
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    return r;
}

}  // namespace

MhdServer::MhdServer(HttpSite site, Limits limits, std::shared_ptr<const ServerTls> tls)
    : site_(std::move(site)), limits_(limits), tls_(std::move(tls)) {}

MhdServer::~MhdServer() {
    Stop();
}

platform::Outcome MhdServer::Start(const std::string& host, int port) {
    const auto fail = [&](const std::string& why) {
        return platform::Error{platform::Error::Kind::kFailed,
                               "cannot listen at " + host + ":" + std::to_string(port) + why,
                               {}};
    };
    if (!listener_.Listen(host, port) || !wake_.Open())
        return fail("");
    // The engine listens at nothing: connections come to it from AcceptLoop.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET |
                     MHD_USE_ITC | MHD_ALLOW_SUSPEND_RESUME;
    if (tls_) {
        flags |= MHD_USE_TLS;
    }
    const std::size_t memory = std::max<std::size_t>(32 * 1024, 2 * site_.limits.headBytes);
    MHD_OptionItem tlsOptions[] = {
        {MHD_OPTION_HTTPS_MEM_CERT, 0,
         const_cast<char*>(tls_ ? tls_->certificatePem().c_str() : "")},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(tls_ ? tls_->keyPem().c_str() : "")},
        // TLS 1.2 at least, as the clients ask for.
        {MHD_OPTION_HTTPS_PRIORITIES, 0,
         const_cast<char*>("NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2")},
        {MHD_OPTION_END, 0, nullptr}};
    MHD_OptionItem none[] = {{MHD_OPTION_END, 0, nullptr}};
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &OnAccess, this, MHD_OPTION_THREAD_POOL_SIZE,
        static_cast<unsigned>(std::max(1, limits_.workers)), MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(limits_.connections + kTurnedAwaySlack),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned>(limits_.perAddress + kTurnedAwaySlack / 8),
        MHD_OPTION_CONNECTION_TIMEOUT, Seconds(limits_.headTime),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, memory, MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, this,
        MHD_OPTION_NOTIFY_CONNECTION, &OnConnection, this, MHD_OPTION_ARRAY,
        tls_ ? tlsOptions : none, MHD_OPTION_END);
    if (!daemon_) {
        listener_.Close();
        return fail("");
    }
    port_ = listener_.port();
    sweeping_ = true;
    accepting_ = true;
    sweeper_ = std::thread([this] { Sweep(); });
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return platform::Succeeded();
}

struct MhdServer::Arrival {
    platform::TcpConnection connection;
    Peer* peer = nullptr;
    bool refused = false;  // told to ask for HTTPS; what it sends is dropped until it closes
};

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

void MhdServer::Sweep() {
    const auto every = std::clamp<std::chrono::milliseconds>(
        limits_.headTime / 4, std::chrono::milliseconds(50), std::chrono::seconds(1));
    std::unique_lock<std::mutex> lock(mutex_);
    while (!sweepWake_.wait_for(lock, every, [this] { return !sweeping_; })) {
        const auto now = std::chrono::steady_clock::now();
        for (Peer* p : peers_) {
            if (!p->proven && !p->gone && !p->cut && now - p->since >= limits_.headTime) {
                p->cut = true;
                platform::CutSocket(p->socket);
            }
        }
        for (Call* c : sending_)
            if (c->res.sending)
                c->res.sending();
    }
}

void MhdServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sweeping_ = false;
        accepting_ = false;
    }
    wake_.Wake();
    if (acceptor_.joinable())
        acceptor_.join();
    listener_.Close();
    sweepWake_.notify_all();
    if (sweeper_.joinable())
        sweeper_.join();
    // The engine ends a connection only once it runs again.
    std::deque<std::pair<MHD_Connection*, Call*>> parked;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parked.swap(parked_);
        filesSending_ += parked.size();
    }
    for (auto& [connection, call] : parked) {
        call->turn = true;
        MHD_resume_connection(connection);
    }
    if (daemon_)
        MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    // Handed on and closed by the engine before it told of them.
    std::map<int, Peer*> untold;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        untold.swap(handed_);
    }
    for (auto& [socket, peer] : untold)
        Forget(peer);
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

void MhdServer::Connected(MHD_Connection* connection, void** context, bool started) {
    if (!started) {
        if (*context)
            Forget(static_cast<Peer*>(*context));
        *context = nullptr;
        return;
    }
    const MHD_ConnectionInfo* socket =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto at = socket ? handed_.find(socket->connect_fd) : handed_.end();
    if (at == handed_.end())
        return;
    *context = at->second;
    handed_.erase(at);
}

int MhdServer::Refuse(MHD_Connection* connection, Call& call, const HttpResponse& refusal) {
    // A refused request keeps its body unread, so the connection cannot carry another.
    MHD_Response* r = TextResponse(refusal, true);
    if (!r)
        return 0;
    call.answered = true;
    call.status = refusal.status;
    call.bytes = refusal.body.size();
    call.why = refusal.body.substr(0, refusal.body.find('\n'));
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(refusal.status), r);
    MHD_destroy_response(r);
    return queued == MHD_YES;
}

int MhdServer::Access(MHD_Connection* connection, const char* url, const char* method,
                      const char* version, const char* upload, std::size_t* uploadSize,
                      void** context) {
    auto* call = static_cast<Call*>(*context);
    if (!call) {
        call = new Call;
        *context = call;
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        call->peer = info ? static_cast<Peer*>(info->socket_context) : nullptr;
        HttpRequest& req = call->req;
        req.method = method;
        req.path = url;
        req.version = version;
        req.remote = call->peer ? call->peer->remote : std::string();
        std::vector<std::pair<std::string, std::string>> headers;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &Collect, &headers);
        for (auto& [name, value] : headers)
            req.headers.emplace_back(LowerCase(name), value);
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &Collect, &req.query);
        req.target = req.path;
        for (std::size_t i = 0; i < req.query.size(); ++i)
            req.target +=
                (i ? "&" : "?") + Escaped(req.query[i].first) + "=" + Escaped(req.query[i].second);
        if (call->peer && call->peer->turnedAway) {
            if (!tls_)
                return 0;  // told already
            HttpResponse busy;
            busy.Text(503, call->peer->why + "; try again later");
            busy.headers.emplace_back("Retry-After", kComeBackIn);
            return Refuse(connection, *call, busy);
        }
        // The engine keeps the head within its memory; its lines are bounded here.
        HttpResponse refusal;
        bool within = req.headers.size() <= site_.limits.headerLines;
        for (const auto& [name, value] : req.headers)
            within = within && name.size() + value.size() + 2 <= site_.limits.lineBytes;
        if (!within) {
            refusal.Text(431, "the request head is too large");
            return Refuse(connection, *call, refusal);
        }
        // The gate is asked here, before the engine takes any byte of the body.
        if (!AdmitRequest(site_, req, refusal, &call->length))
            return Refuse(connection, *call, refusal);
        call->admitted = true;
        if (call->peer)
            Prove(*call->peer);
        req.body.reserve(call->length);
        return 1;
    }
    if (call->answered)
        return call->parked ? Answer(connection, *call) : 1;
    if (*uploadSize > 0) {
        // A body sent a byte now and then is given its time as a whole, not per byte.
        if (std::chrono::steady_clock::now() - call->since > site_.bodyTime)
            return 0;
        // The engine keeps to the Content-Length, which the gate's side held within maxBody.
        const std::size_t n = std::min(*uploadSize, call->length - call->req.body.size());
        call->req.body.append(upload, n);
        *uploadSize = 0;
        return 1;
    }
    return Answer(connection, *call);
}

int MhdServer::Answer(MHD_Connection* connection, Call& call) {
    HttpRequest& req = call.req;
    HttpResponse& res = call.res;
    if (!call.parked) {
        try {
            site_.handle(req, res);
        } catch (const std::exception& e) {
            res = HttpResponse();
            res.Text(500, std::string("the server failed while answering: ") + e.what());
        }
        call.answered = true;
        call.file = res.file && res.file->IsOpen() && res.fileLength >= 0;
        if (call.file && !TakeTurn(connection, call))
            return 1;
    }
    call.parked = false;
    MHD_Response* r = nullptr;
    if (!call.file) {
        r = TextResponse(res, false);
        call.bytes = res.body.size();
        // A refusal's own words say why.
        if (res.status >= 400)
            call.why = res.body.substr(0, res.body.find('\n'));
    } else {
        const auto size = static_cast<unsigned long long>(res.fileLength);
        RangeAnswer range;
        if (req.method == "GET" && res.status == 200)
            range = AnswerRange(req.Header("range"), size);
        unsigned long long end = size;
        if (range.kind == RangeAnswer::kUnsatisfiable) {
            res.status = 416;
            res.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
            end = 0;
        } else if (range.kind == RangeAnswer::kPart) {
            res.status = 206;
            call.first = range.first;
            end = range.last + 1;
            res.headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                          std::to_string(range.last) + "/" +
                                                          std::to_string(size));
        }
        if (res.sending)
            res.sending();
        call.bytes = end - std::min(end, call.first);
        if (tls_) {
            // Through TLS the engine reads a file given as a descriptor 4 KiB at a time, each a
            // record and a system call of its own; read here, it takes records of 16 KiB.
            r = MHD_create_response_from_callback(
                call.bytes, kTlsFileBlock,
                [](void* cls, std::uint64_t at, char* data, std::size_t max) -> ssize_t {
                    auto* c = static_cast<Call*>(cls);
                    const long long got = c->res.file->ReadAt(data, max, c->first + at);
                    // A file that shrank or failed ends the reply short, and the connection.
                    return got > 0 ? static_cast<ssize_t>(got) : MHD_CONTENT_READER_END_WITH_ERROR;
                },
                &call, nullptr);
        } else {
            // Sent by sendfile from a descriptor of the engine's own, which it closes.
            platform::File twin = res.file->ReadingTwin();
            if (twin.IsOpen())
                r = MHD_create_response_from_fd_at_offset64(call.bytes, twin.handle(), call.first);
            if (r)
                (void)twin.Release();
        }
        if (r) {
            std::lock_guard<std::mutex> lock(mutex_);
            sending_.insert(&call);
        }
        if (r) {
            for (const auto& [name, value] : res.headers)
                MHD_add_response_header(r, name.c_str(), value.c_str());
            MHD_add_response_header(r, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
            MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, res.contentType.c_str());
            // A reader that reads slowly is given the stall's time, not the head's.
            MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                                      Seconds(limits_.writeStall));
        }
    }
    if (!r)
        return 0;
    call.status = res.status;
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(res.status), r);
    MHD_destroy_response(r);
    return queued == MHD_YES;
}

bool MhdServer::TakeTurn(MHD_Connection* connection, Call& call) {
    const std::size_t turns =
        static_cast<std::size_t>(std::max(1, limits_.workers - limits_.keptForQuick));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (filesSending_ < turns) {
            ++filesSending_;
            call.turn = true;
            return true;
        }
    }
    // Suspended before it is queued, so that a turn handed on always finds it suspended; a
    // turn freed meanwhile is taken at once.
    call.parked = true;
    MHD_suspend_connection(connection);
    bool now = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A server stopping must have no connection suspended: the engine aborts on one.
        if (filesSending_ < turns || !accepting_) {
            ++filesSending_;
            call.turn = now = true;
        } else {
            parked_.emplace_back(connection, &call);
        }
    }
    if (now)
        MHD_resume_connection(connection);
    return false;
}

void MhdServer::EndTurn() {
    MHD_Connection* next = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --filesSending_;
        if (!parked_.empty()) {
            ++filesSending_;
            next = parked_.front().first;
            parked_.front().second->turn = true;
            parked_.pop_front();
        }
    }
    // Outside the lock: the engine may be calling back into this server on its threads.
    if (next)
        MHD_resume_connection(next);
}

void MhdServer::Completed(MHD_Connection* connection, void** context, int how) {
    std::unique_ptr<Call> call(static_cast<Call*>(*context));
    *context = nullptr;
    if (call && call->file) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sending_.erase(call.get());
        }
        // The next head of a connection kept open is given the head's time, not the stall's.
        if (connection)
            MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                                      Seconds(limits_.headTime));
    }
    if (call && call->turn)
        EndTurn();
    if (!call || !site_.log)
        return;
    // A connection turned away was told of once for its address, not once a request.
    if (call->peer && call->peer->turnedAway)
        return;
    const bool complete = how == MHD_REQUEST_TERMINATED_COMPLETED_OK;
    if (!call->answered) {
        if (call->admitted)
            site_.log({call->req.remote, &call->req, 0, 0, false, "its body did not arrive"});
        return;
    }
    site_.log({call->req.remote, &call->req, call->status, complete || call->file ? call->bytes : 0,
               complete, call->why});
}

}  // namespace share
