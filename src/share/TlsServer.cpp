#include "share/TlsServer.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>
#include <fstream>

#include "platform/TcpConnection.h"
#include "share/ShareAccess.h"
#include "share/TlsTrust.h"

namespace share {
namespace {

// The first error is the cause; those after it say only what failed because of it.
std::string FirstOpenSslReason() {
    const unsigned long e = ERR_peek_error();
    const char* reason = e ? ERR_reason_error_string(e) : nullptr;
    return reason ? reason : "no reason given";
}

// A server started by the system has nobody to type a passphrase: a key that needs one is
// refused rather than asked for on a terminal.
int NoPassphrase(char*, int, int, void*) {
    return 0;
}

int Clamped(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

}  // namespace

platform::Expected<std::shared_ptr<ServerTls>> ServerTls::Load(const std::string& certificateFile,
                                                               const std::string& keyFile) {
    using Kind = platform::Error::Kind;
    const auto fail = [](Kind kind, std::string why) {
        return platform::Error{kind, std::move(why), {}};
    };
    std::shared_ptr<ServerTls> tls(new ServerTls);
    ERR_clear_error();
    SSL_CTX* ctx = tls->ctx_ = SSL_CTX_new(TLS_server_method());
    if (!ctx)
        return fail(Kind::kFailed, "TLS cannot be set up (" + FirstOpenSslReason() + ")");
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // A client that renegotiates makes the server work for nothing; one that ends without a
    // close_notify has still ended.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE |
                                 SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_TICKET);
    // Writes may be partial, as the socket's are, and idle connections keep no buffers.
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                              SSL_MODE_RELEASE_BUFFERS);
    // Our clients make a new session each time: nothing to resume, no tickets to send.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_num_tickets(ctx, 0);
    if (!std::ifstream(certificateFile))
        return fail(Kind::kNotFound, "cannot open the TLS certificate " + certificateFile);
    if (SSL_CTX_use_certificate_chain_file(ctx, certificateFile.c_str()) != 1)
        return fail(Kind::kDamaged, "the TLS certificate " + certificateFile +
                                        " holds no certificate in PEM that can be used (" +
                                        FirstOpenSslReason() + ")");
    BIO* in = BIO_new_file(keyFile.c_str(), "r");
    if (!in)
        return fail(Kind::kNotFound, "cannot open the TLS key " + keyFile);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(in, nullptr, &NoPassphrase, nullptr);
    BIO_free(in);
    if (!key)
        return fail(
            Kind::kDamaged,
            "the TLS key " + keyFile +
                " holds no private key in PEM without a passphrase (a server started by the system "
                "has nobody to type one)");
    const bool matches =
        SSL_CTX_use_PrivateKey(ctx, key) == 1 && SSL_CTX_check_private_key(ctx) == 1;
    EVP_PKEY_free(key);
    if (!matches)
        return fail(Kind::kDamaged, "the TLS key " + keyFile +
                                        " is not the key of the certificate " + certificateFile);
    tls->pin_ = CertificatePin(SSL_CTX_get0_certificate(ctx));
    return {std::move(tls)};
}

ServerTls::~ServerTls() {
    SSL_CTX_free(ctx_);
}

std::string PlainHttpProblem(const std::string& host, bool tls, bool insecureHttp) {
    if (tls || insecureHttp || IsLoopback(host))
        return "";
    return "listening on " + host +
           " in plain HTTP sends the token and the recordings across the network in clear: give "
           "--tls-cert and --tls-key, or --insecure-http to do so all the same";
}

TlsSession::TlsSession(const ServerTls& tls, int socket) : ssl_(SSL_new(tls.context())) {
    if (ssl_) {
        SSL_set_fd(ssl_, socket);
        SSL_set_accept_state(ssl_);
    }
}

TlsSession::~TlsSession() {
    SSL_free(ssl_);
}

int TlsSession::Handshake() {
    if (!ssl_)
        return -1;
    ERR_clear_error();
    const int n = SSL_do_handshake(ssl_);
    if (n == 1) {
        wantsWrite_ = false;
        return 1;
    }
    return Outcome(n) == platform::TcpConnection::kNotNow ? 0 : -1;
}

long long TlsSession::Outcome(int n) {
    switch (SSL_get_error(ssl_, n)) {
        case SSL_ERROR_WANT_READ:
            wantsWrite_ = false;
            return platform::TcpConnection::kNotNow;
        case SSL_ERROR_WANT_WRITE:
            wantsWrite_ = true;
            return platform::TcpConnection::kNotNow;
        case SSL_ERROR_ZERO_RETURN:
            return 0;
        default:
            return -1;
    }
}

long long TlsSession::Receive(char* data, std::size_t size) {
    ERR_clear_error();
    const int n = SSL_read(ssl_, data, Clamped(size));
    return n > 0 ? n : Outcome(n);
}

long long TlsSession::Send(const char* data, std::size_t size) {
    ERR_clear_error();
    const int n = SSL_write(ssl_, data, Clamped(size));
    return n > 0 ? n : Outcome(n);
}

bool TlsSession::Pending() const {
    return ssl_ && SSL_pending(ssl_) > 0;
}

void TlsSession::Shutdown() {
    if (ssl_ && SSL_is_init_finished(ssl_)) {
        ERR_clear_error();
        SSL_shutdown(ssl_);
    }
}

}  // namespace share
