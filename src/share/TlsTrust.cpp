#include "share/TlsTrust.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace share {
namespace {

std::string Subject(const X509* certificate) {
    char text[256] = "";
    X509_NAME_oneline(X509_get_subject_name(certificate), text, sizeof text);
    return text[0] ? text : "no subject";
}

// "2026-01-05 14:03 UTC", or "an unreadable date".
std::string DateText(const ASN1_TIME* time) {
    std::tm t{};
    if (!time || ASN1_TIME_to_tm(time, &t) != 1)
        return "an unreadable date";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &t);
    return text;
}

// Why the certificate is not valid now ("" when it is): expired, or not valid yet.
std::string ValidityProblem(const X509* certificate) {
    const ASN1_TIME* from = X509_get0_notBefore(certificate);
    const ASN1_TIME* until = X509_get0_notAfter(certificate);
    const std::string dates = "valid from " + DateText(from) + " to " + DateText(until);
    // A date that cannot be compared (0) is no more trusted than one passed.
    if (X509_cmp_current_time(until) <= 0)
        return "expired on " + DateText(until) + " (" + dates + ")";
    if (X509_cmp_current_time(from) >= 0)
        return "not valid before " + DateText(from) + " (" + dates + ")";
    return "";
}

std::string LastOpenSslReason() {
    const unsigned long e = ERR_peek_last_error();
    const char* reason = e ? ERR_reason_error_string(e) : nullptr;
    return reason ? reason : "";
}

}  // namespace

std::string CertificatePin(const x509_st* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), digest, &size) != 1 || size != 32)
        return "";
    static const char* hex = "0123456789abcdef";
    std::string pin = "sha256:";
    for (unsigned int i = 0; i < size; ++i) {
        pin += hex[digest[i] >> 4];
        pin += hex[digest[i] & 15];
    }
    return pin;
}

std::string ReadPin(const std::string& text, std::string* why) {
    constexpr std::string_view kScheme = "sha256:";
    std::string digits;
    if (text.size() > kScheme.size() && text.compare(0, kScheme.size(), kScheme) == 0) {
        // Also as `openssl x509 -fingerprint -sha256` prints it: upper case, colons between.
        for (char ch : text.substr(kScheme.size()))
            if (ch != ':')
                digits += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    if (digits.size() != 64 || digits.find_first_not_of("0123456789abcdef") != std::string::npos) {
        *why =
            "a pin is sha256: and the 64 hex digits of the server's certificate (quillon-share "
            "prints it at start), not \"" +
            text.substr(0, 80) + "\"";
        return "";
    }
    return std::string(kScheme) + digits;
}

TlsTrust TrustFromEnvironment() {
    TlsTrust trust;
    const char* pin = std::getenv("QUILLON_SHARE_PIN");
    const char* ca = std::getenv("QUILLON_SHARE_CA");
    if (pin && *pin) {
        trust.on = true;
        std::string why;
        trust.pin = ReadPin(pin, &why);
        if (trust.pin.empty())
            trust.problem = "QUILLON_SHARE_PIN: " + why;
    }
    if (ca && *ca) {
        trust.on = true;
        trust.caFile = ca;
    }
    return trust;
}

TlsCheck::TlsCheck(TlsTrust trust, std::string host, int port)
    : trust_(std::move(trust)), host_(std::move(host)) {
    where_ = host_ + ":" + std::to_string(port);
    if (host_.size() > 2 && host_.front() == '[' && host_.back() == ']')
        host_ = host_.substr(1, host_.size() - 2);
}

bool TlsCheck::Prepare(ssl_ctx_st* ctx, std::string* why) {
    if (!trust_.problem.empty()) {
        *why = trust_.problem;
        return false;
    }
    ERR_clear_error();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    const bool chain = !trust_.caFile.empty() || trust_.pin.empty();
    if (!trust_.caFile.empty()) {
        // Only the authority given: the system's own are not asked.
        if (SSL_CTX_load_verify_locations(ctx, trust_.caFile.c_str(), nullptr) != 1) {
            *why = "cannot read the certificate authority file " + trust_.caFile + " (" +
                   LastOpenSslReason() + ")";
            return false;
        }
    } else if (chain && SSL_CTX_set_default_verify_paths(ctx) != 1) {
        *why = "cannot read the system's certificate authorities (" + LastOpenSslReason() + ")";
        return false;
    }
    if (chain) {
        // The certificate must name the host the client asked for, as an address or a name.
        X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str()) != 1 &&
            X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size()) != 1) {
            *why = "cannot verify certificates for the host name " + host_;
            return false;
        }
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ctx, &TlsCheck::Verify, this);
    SSL_CTX_set_msg_callback(ctx, &TlsCheck::Observe);
    SSL_CTX_set_msg_callback_arg(ctx, this);
    return true;
}

// The whole verification of the server's certificate: the pin against the leaf, then, unless
// the pin alone is the trust, the chain and the host name.
int TlsCheck::Verify(x509_store_ctx_st* store, void* self) {
    auto& check = *static_cast<TlsCheck*>(self);
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (!leaf) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_UNSPECIFIED);
        return 0;
    }
    check.seenPin_ = CertificatePin(leaf);
    check.seenSubject_ = Subject(leaf);
    if (!check.trust_.pin.empty() && check.seenPin_ != check.trust_.pin) {
        check.pinMismatch_ = true;
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
        return 0;
    }
    if (!check.trust_.pin.empty() && check.trust_.caFile.empty()) {
        // The pin names the certificate, not how long it may be used: one past its dates
        // (a key that may have leaked since, or a clock gone wrong) is refused as the chain
        // check would refuse it.
        check.dateProblem_ = ValidityProblem(leaf);
        if (check.dateProblem_.empty())
            return 1;
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_HAS_EXPIRED);
        return 0;
    }
    if (X509_verify_cert(store) == 1)
        return 1;
    check.chainError_ = X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
    return 0;
}

void TlsCheck::Observe(int writing, int, int type, const void* bytes, std::size_t size, ssl_st*,
                       void* self) {
    auto& check = *static_cast<TlsCheck*>(self);
    const auto* b = static_cast<const unsigned char*>(bytes);
    if (writing)
        return;
    // The first five bytes of what the server sent, taken for a record's header.
    if (type == SSL3_RT_HEADER && size >= 5 && std::memcmp(b, "HTTP/", 5) == 0)
        check.plainHttp_ = true;
    if (type == SSL3_RT_ALERT && size >= 2 && b[0] == SSL3_AL_FATAL)
        check.alert_ = SSL_alert_desc_string_long(b[1]);
}

void TlsCheck::Reset() {
    seenPin_.clear();
    seenSubject_.clear();
    chainError_.clear();
    dateProblem_.clear();
    alert_.clear();
    pinMismatch_ = plainHttp_ = false;
}

std::string TlsCheck::Refusal() const {
    const std::string recorder = "the recorder at " + where_;
    if (!trust_.problem.empty())
        return trust_.problem;
    if (pinMismatch_)
        return recorder + " shows the certificate " + seenPin_ + " (" + seenSubject_ +
               "), not the pinned " + trust_.pin + ": refused";
    if (!dateProblem_.empty())
        return recorder + " shows its pinned certificate (" + seenSubject_ + "), which " +
               dateProblem_ +
               ": refused; renew the server's certificate and pin the new one, or set the "
               "machine's clock right";
    if (!chainError_.empty())
        return recorder + " shows a certificate (" + seenSubject_ + ", " + seenPin_ +
               ") not trusted as " + host_ + " by " +
               (trust_.caFile.empty() ? std::string("the system's certificate authorities")
                                      : trust_.caFile) +
               ": " + chainError_ + "; refused";
    if (plainHttp_)
        return recorder + " answered in plain HTTP where TLS (https://) was asked for: refused";
    return "";
}

std::string TlsCheck::HandshakeFailure() const {
    std::string text = Refusal();
    if (!text.empty())
        return text;
    text = "the TLS handshake with the recorder at " + where_ + " failed";
    if (!alert_.empty())
        return text + ": it sent the alert \"" + alert_ + "\"";
    const std::string reason = LastOpenSslReason();
    return reason.empty() ? text : text + " (" + reason + ")";
}

}  // namespace share
