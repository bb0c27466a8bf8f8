#include "share/MhdServer.h"

#include <microhttpd.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <string_view>

#include "share/HttpMessage.h"
#include "share/HttpRange.h"
#include "share/MhdServerParts.h"

namespace share {
namespace {

// What a TLS file reply reads at a time: a few records' worth.
constexpr std::size_t kTlsFileBlock = 64 * 1024;

unsigned Seconds(std::chrono::milliseconds time) {
    return static_cast<unsigned>(std::max<long long>(1, (time.count() + 999) / 1000));
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
    if (tls_)
        flags |= MHD_USE_TLS;
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
            req.target += (i ? "&" : "?") + QueryValue(req.query[i].first) + "=" +
                          QueryValue(req.query[i].second);
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
