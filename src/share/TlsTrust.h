#pragma once
// How a client of quillon-share trusts the server at an https:// address: by the file of a
// certificate authority (the chain and the host name are verified), by the pin of the server's
// own certificate (the SHA-256 of its DER must be the one given, and today within the
// certificate's dates; no chain is needed), by both, or, with neither, by the system's
// certificate authorities. A handshake that fails is told in the operator's words: the
// certificate seen and what was expected, or a server that answered in plain HTTP. Nothing falls
// back to plain HTTP.
#include <cstddef>
#include <string>

struct ssl_st;
struct ssl_ctx_st;
struct x509_st;
struct x509_store_ctx_st;

namespace share {

struct TlsTrust {
    bool on = false;      // every connection is TLS
    std::string caFile;   // PEM
    std::string pin;      // "sha256:" and 64 lowercase hex digits
    std::string problem;  // set: no connection is made, for this reason (a pin that is none)
};

// "sha256:" and the lowercase hex of SHA-256 over the certificate's DER.
std::string CertificatePin(const x509_st* certificate);
// The pin as a client compares it (hex digits in lowercase); "" with why when text is none.
std::string ReadPin(const std::string& text, std::string* why);
// The window's trust, given as its token is, in the environment: QUILLON_SHARE_PIN and
// QUILLON_SHARE_CA; TLS when either is set (the host's record has no room for an https://).
TlsTrust TrustFromEnvironment();

// One client's verification of one server, on the SSL_CTX of its connections: what the last
// handshake showed is kept to explain a refusal. Used by one thread at a time, as its client.
class TlsCheck {
  public:
    TlsCheck(TlsTrust trust, std::string host, int port);
    TlsCheck(const TlsCheck&) = delete;
    TlsCheck& operator=(const TlsCheck&) = delete;

    // Makes ctx verify as the trust says, at TLS 1.2 or later; false with why when it cannot
    // (the trust's problem, an unreadable CA file). The check must outlive ctx's connections.
    bool Prepare(ssl_ctx_st* ctx, std::string* why);
    // Forgets what the last handshake showed.
    void Reset();
    // Why the last handshake was refused: the certificate seen against the one expected, or
    // plain HTTP where TLS was expected; "" when nothing seen explains a failure.
    std::string Refusal() const;
    // Refusal, or else that the handshake failed (with OpenSSL's reason when it has one).
    std::string HandshakeFailure() const;
    const TlsTrust& trust() const { return trust_; }
    const std::string& where() const { return where_; }

  private:
    static int Verify(x509_store_ctx_st* store, void* self);
    static void Observe(int writing, int version, int type, const void* bytes, std::size_t size,
                        ssl_st* ssl, void* self);

    TlsTrust trust_;
    std::string host_;
    std::string where_;  // "host:port"
    std::string seenPin_, seenSubject_;
    std::string chainError_;
    std::string dateProblem_;  // a pinned certificate outside its dates
    bool pinMismatch_ = false;
    bool plainHttp_ = false;
    std::string alert_;  // the last alert the server sent
};

}  // namespace share
