#include "share/TlsStream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>

#include "share/TlsTrust.h"

namespace share {

TlsStream::TlsStream(TlsCheck& check) : check_(check) {}

TlsStream::~TlsStream() {
    Close();
    SSL_CTX_free(ctx_);
}

bool TlsStream::Start(int socket, std::string* why) {
    Close();
    if (!ctx_) {
        ctx_ = SSL_CTX_new(TLS_client_method());
        if (!ctx_) {
            *why = "TLS cannot be set up";
            return false;
        }
        if (!check_.Prepare(ctx_, why)) {
            SSL_CTX_free(ctx_);
            ctx_ = nullptr;
            return false;
        }
    }
    ERR_clear_error();
    check_.Reset();
    ssl_ = SSL_new(ctx_);
    if (!ssl_) {
        *why = "TLS cannot be set up";
        return false;
    }
    SSL_set_fd(ssl_, socket);
    // A file's records are read ahead into OpenSSL's buffer, many to a system read.
    SSL_set_read_ahead(ssl_, 1);
    if (SSL_connect(ssl_) != 1) {
        *why = check_.HandshakeFailure();
        Close();
        return false;
    }
    return true;
}

void TlsStream::Close() {
    SSL_free(ssl_);
    ssl_ = nullptr;
}

bool TlsStream::SendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        ERR_clear_error();
        const int n = SSL_write(ssl_, bytes.data(),
                                static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX)));
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::size_t TlsStream::Receive(char* data, std::size_t size, bool* failed) {
    std::size_t got = 0;
    // One record per read at most; those already read ahead are taken at once.
    do {
        ERR_clear_error();
        const int n = SSL_read(ssl_, data + got,
                               static_cast<int>(std::min<std::size_t>(size - got, INT_MAX)));
        if (n <= 0) {
            if (got > 0)
                break;
            *failed = SSL_get_error(ssl_, n) != SSL_ERROR_ZERO_RETURN;
            return 0;
        }
        got += static_cast<std::size_t>(n);
    } while (got < size && SSL_has_pending(ssl_));
    *failed = false;
    return got;
}

}  // namespace share
