// HTTPS on quillon-share's server and the clients' checks of it, with certificates openssl made.
#include <openssl/ssl.h>

#include <cerrno>

#include "ShareFixture.h"
#include "share/PictureServer.h"

using share::TlsTrust;

namespace {
// A self-signed certificate for localhost and 127.0.0.1 valid only between two dates
// (YYYYMMDDHHMMSSZ), made by openssl's own signing tool, which alone takes dates in the past;
// its file, or "" when openssl failed.
std::string SelfSignedBetween(const std::string& dir, const std::string& name,
                              const std::string& from, const std::string& until) {
    const std::string base = dir + "/" + name, log = dir + "/openssl.log";
    std::ofstream(base + ".cnf") << "[ca]\ndefault_ca = own\n[own]\ndatabase = " << base
                                 << ".index\nnew_certs_dir = " << dir << "\nserial = " << base
                                 << ".serial\ndefault_md = sha256\npolicy = any\nunique_subject = "
                                    "no\ncopy_extensions = copy\n[any]\ncommonName = supplied\n";
    std::ofstream(base + ".index");
    std::ofstream(base + ".serial") << "01\n";
    const std::string request =
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=localhost "
        "-addext basicConstraints=critical,CA:FALSE -addext subjectAltName=DNS:localhost,IP:"
        "127.0.0.1 -keyout '" +
        base + ".key' -out '" + base + ".csr'";
    const std::string sign = "openssl ca -batch -config '" + base + ".cnf' -selfsign -keyfile '" +
                             base + ".key' -in '" + base + ".csr' -startdate " + from +
                             " -enddate " + until + " -out '" + base + ".pem'";
    return TlsShell(request, log) && TlsShell(sign, log) ? base + ".pem" : "";
}

// A TLS client over a RawClient that sends exactly what it is given and trusts any certificate.
class RawTlsClient {
  public:
    RawTlsClient(int port, const std::string& from) : raw_(port, from) {
        SSL_set_fd(ssl_, raw_.handle());
        ready_ = raw_.connected() && SSL_connect(ssl_) == 1;
    }
    ~RawTlsClient() {
        SSL_free(ssl_);
        SSL_CTX_free(ctx_);
    }
    bool ready() const { return ready_; }
    bool Send(const std::string& bytes) {
        return SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) ==
               static_cast<int>(bytes.size());
    }
    // What arrives within whole seconds, decrypted, until the server closes (see closed).
    std::string Receive(int seconds) {
        timeval limit{seconds, 0};
        ::setsockopt(raw_.handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string got;
        char buffer[4096];
        int n;
        errno = 0;
        while ((n = SSL_read(ssl_, buffer, sizeof buffer)) > 0)
            got.append(buffer, static_cast<std::size_t>(n));
        closed_ = errno != EAGAIN && errno != EWOULDBLOCK;
        return got;
    }
    // Whether the last Receive ended because the server closed, not because its time was up.
    bool closed() const { return closed_; }

  private:
    RawClient raw_;
    SSL_CTX* ctx_ = SSL_CTX_new(TLS_client_method());
    SSL* ssl_ = SSL_new(ctx_);
    bool ready_ = false;
    bool closed_ = false;
};
}  // namespace

TEST(TlsPolicyTest, PlainHttpOffLoopbackIsRefusedUnlessAskedFor) {
    for (const char* host : {"127.0.0.1", "127.8.9.10", "::1", "localhost"})
        EXPECT_EQ(share::PlainHttpProblem(host, false, false), "") << host;
    for (const char* host : {"0.0.0.0", "::", "192.168.1.20", "128.0.0.1"}) {
        EXPECT_HAS(share::PlainHttpProblem(host, false, false), "--insecure-http") << host;
        EXPECT_EQ(share::PlainHttpProblem(host, true, false), "") << host;
        EXPECT_EQ(share::PlainHttpProblem(host, false, true), "") << host;
    }
}

TEST(TlsPolicyTest, PinsAreReadAsTheServerPrintsThemOrAsOpensslShowsAFingerprint) {
    const std::string hex(64, 'a');
    std::string why, colons = "AA";
    for (int i = 1; i < 32; ++i)
        colons += ":AA";
    EXPECT_EQ(share::ReadPin("sha256:" + hex, &why), "sha256:" + hex);
    EXPECT_EQ(share::ReadPin("sha256:" + colons, &why), "sha256:" + hex);
    for (const std::string& bad : {hex, "sha256:" + hex.substr(1), "sha256:" + hex + "a",
                                   "sha1:" + hex, "sha256:" + hex.substr(1) + "g", std::string()}) {
        why.clear();
        EXPECT_EQ(share::ReadPin(bad, &why), "") << bad;
        EXPECT_HAS(why, "64 hex digits") << bad;
    }
}

class TlsLinkTest : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        files = MakeTlsFiles(prefix());
        ASSERT_TRUE(files.ok) << ReadText(prefix() + "/openssl.log");
    }
    std::shared_ptr<share::ServerTls> Self() { return LoadTls(files.selfCert, files.selfKey); }
    share::ShareLink::Reply Ask(const TlsTrust& trust, const std::string& host = "127.0.0.1") {
        return share::ShareLink(host, server->port(), "", trust).Get("/quick", 100);
    }
    TlsFiles files;
};

TEST_F(TlsLinkTest, TheCertificateLoadsWithThePinOpensslComputesAndBadFilesAreNamed) {
    auto tls = Self();
    ASSERT_TRUE(tls);
    EXPECT_EQ(tls->pin(), OpensslPin(files.selfCert));
    EXPECT_EQ(tls->pin().size(), 7u + 64u);
    // A certificate given as its key is no key, nor a key as a certificate.
    const std::vector<std::tuple<std::string, std::string, std::string>> bad{
        {prefix() + "/none.pem", files.selfKey,
         "cannot open the TLS certificate " + prefix() + "/none.pem"},
        {files.selfCert, files.signedKey, "is not the key of the certificate"},
        {files.selfCert, files.selfCert, "holds no private key in PEM"},
        {files.selfKey, files.selfKey, "holds no certificate in PEM"}};
    for (const auto& [cert, key, says] : bad) {
        const auto loaded = share::ServerTls::Load(cert, key);
        ASSERT_FALSE(loaded) << says;
        EXPECT_HAS(loaded.error().text, says);
    }
}

// Each certificate the server shows, the trust the link gives, and what the link says: nothing
// when it is answered. A refused link reaches no handler, neither for a request nor for a file
// on the link's connection of its own.
TEST_F(TlsLinkTest, EachTrustIsAnsweredOrRefusedWithWhatWasExpectedAndWhatWasSeen) {
    const std::string expired =
        SelfSignedBetween(prefix(), "expired", "20200101000000Z", "20200301000000Z");
    const std::string early =
        SelfSignedBetween(prefix(), "early", "20990101000000Z", "20990301000000Z");
    ASSERT_FALSE(expired.empty() || early.empty()) << ReadText(prefix() + "/openssl.log");
    const std::string self = OpensslPin(files.selfCert), signedPin = OpensslPin(files.signedCert);
    const std::string ca = files.caCert, local = "127.0.0.1";
    std::string served = "none";
    // Served with cert ("" plain HTTP), asked as host with trust: says, none when answered.
    const auto check = [&](const std::string& cert, const TlsTrust& trust, const std::string& host,
                           const std::vector<std::string>& says) {
        SCOPED_TRACE(cert + " as " + host + (says.empty() ? "" : ": " + says[0]));
        if (served != cert)
            Serve({},
                  cert.empty() ? nullptr : LoadTls(cert, cert.substr(0, cert.size() - 4) + ".key"));
        served = cert;
        const int before = handled;
        const auto reply = Ask(trust, host);
        EXPECT_EQ(reply.ok(), says.empty()) << reply.linkError;
        bool headSeen = false;
        const auto fetched = share::ShareLink(host, server->port(), "", trust)
                                 .Fetch(
                                     "/file", 0, [&](const auto&) { return headSeen = true; },
                                     [](const char*, std::size_t) { return true; });
        EXPECT_EQ(fetched.complete, says.empty()) << fetched.linkError;
        for (const auto& part : says) {
            EXPECT_EQ(reply.status, 0);
            EXPECT_HAS(reply.linkError, part);
            EXPECT_HAS(fetched.linkError, part);
        }
        EXPECT_EQ(headSeen, says.empty());
        EXPECT_EQ(handled, before + (says.empty() ? 2 : 0));
    };
    // The pin alone is the trust: the self-signed chain and the name asked for do not matter.
    const std::string& s = files.selfCert;
    check(s, Trust(self), local, {});
    check(s, Trust(self), "localhost", {});
    check(s, Trust(signedPin), local,
          {"shows the certificate " + self, "not the pinned " + signedPin});
    // An authority vouches for its own certificates and their names only; with a pin, both must
    // hold; without one given, the system's, which know nothing of ours.
    const std::string& a = files.signedCert;
    check(a, Trust("", ca), local, {});
    check(a, Trust("", ca), "localhost", {});
    check(a, Trust(signedPin, ca), local, {});
    check(a, Trust(self, ca), local, {"not the pinned"});
    check(a, Trust("", files.otherCaCert), local,
          {"not trusted as 127.0.0.1 by " + files.otherCaCert,
           "unable to get local issuer certificate", signedPin});
    check(a, Trust(""), local, {"the system's certificate authorities"});
    const std::string& e = files.elsewhereCert;
    check(e, Trust("", ca), local, {"mismatch"});
    check(e, Trust("", ca), "localhost", {"mismatch"});
    check(e, Trust(OpensslPin(e)), local, {});
    check(e, Trust("", prefix() + "/no-ca.pem"), local,
          {"cannot read the certificate authority file"});
    // A pinned certificate outside its dates is refused with its dates.
    check(expired, Trust(OpensslPin(expired)), local,
          {"which expired on 2020-03-01 00:00 UTC (valid from 2020-01-01 00:00 UTC to "
           "2020-03-01 00:00 UTC): refused"});
    check(early, Trust(OpensslPin(early)), local, {"not valid before 2099-01-01 00:00 UTC"});
    // A TLS client at a plain HTTP port never falls back to it.
    check("", Trust(self), local, {"answered in plain HTTP where TLS (https://) was asked for"});
}

// In plain HTTP a file from an offset is ShareServerTest's and the resumed download's.
TEST_F(TlsLinkTest, AFileComesWholeAndFromAnOffsetOverTls) {
    // Far more bytes than a TLS record or the sockets' buffers hold.
    Serve({}, Self());
    share::ShareLink link("127.0.0.1", server->port(), "", Trust(OpensslPin(files.selfCert)));
    for (const long long from : {0LL, 1000001LL, 0LL}) {
        SCOPED_TRACE(from);
        std::string got;
        int status = 0;
        const auto r = link.Fetch(
            "/file", from, [&](const share::ShareLink::Head& h) { return (status = h.status); },
            [&](const char* data, std::size_t n) { return got.append(data, n), true; });
        ASSERT_TRUE(r.complete) << r.linkError;
        EXPECT_EQ(status, from ? 206 : 200);
        ASSERT_EQ(static_cast<long long>(got.size()), fileBytes - from);
        std::size_t i = 0;
        while (i < got.size() && got[i] == FileByte(static_cast<unsigned long long>(from) + i))
            ++i;
        EXPECT_EQ(i, got.size());
    }
}

// Plain HTTP at a TLS port is told so in plain HTTP (ThePictureLinkIsChecked...); what is neither
// TLS nor HTTP is dropped without a word.
TEST_F(TlsLinkTest, WhatIsNeitherTlsNorHttpAtATlsPortIsDroppedWithoutAWord) {
    Serve({}, Self());
    RawClient junk(server->port());
    ASSERT_TRUE(junk.connected());
    ASSERT_TRUE(junk.Send(std::string("\x01\x02\x03\x04", 4)));
    EXPECT_EQ(junk.Receive(3), "");
    EXPECT_TRUE(junk.ClosedWithin(0.1));
    EXPECT_EQ(handled, 0);
}

TEST_F(TlsLinkTest, OpensslsOwnClientConnectsAtTls12OrLaterAndNotBelow) {
    Serve({}, Self());
    const std::string connect =
        "openssl s_client -brief -connect 127.0.0.1:" + std::to_string(server->port());
    const std::string any = TlsOutput(connect + " </dev/null");
    EXPECT_HAS(any, "CONNECTION ESTABLISHED");
    EXPECT_HAS(any, "Protocol version: TLSv1.3");
    EXPECT_HAS(TlsOutput(connect + " -tls1_2 </dev/null"), "Protocol version: TLSv1.2");
    // A client that would take TLS 1.1 (its own security level lowered) is refused by ours.
    const std::string eleven =
        TlsOutput(connect + " -tls1_1 -cipher DEFAULT@SECLEVEL=0 </dev/null");
    EXPECT_LACKS(eleven, "CONNECTION ESTABLISHED");
    EXPECT_HAS(eleven, "alert protocol version");
}

TEST_F(TlsLinkTest, ClientsThatNeverEndTheirHandshakeOrHeadHoldNoWorkerAndAreLetGoInTime) {
    Serve({.workers = 1, .keptForQuick = 0, .headTime = std::chrono::milliseconds(3000)}, Self());
    // Some say nothing; some begin a ClientHello and stop within its first record.
    auto stalled = RawClients(server->port(), 24, 2, 4);
    for (std::size_t i = 1; i < stalled.size(); i += 2)
        ASSERT_TRUE(stalled[i]->Send(std::string("\x16\x03\x01\x02\x00\x01\x00\x01", 8)));
    // And some end the handshake, then send half a head and stop.
    std::vector<std::unique_ptr<RawTlsClient>> slowHeads;
    for (int i = 0; i < 4; ++i) {
        slowHeads.push_back(
            std::make_unique<RawTlsClient>(server->port(), "127.0.0." + std::to_string(6 + i)));
        ASSERT_TRUE(slowHeads.back()->ready());
        ASSERT_TRUE(slowHeads.back()->Send("GET /quick HTTP/1.1\r\nHo"));
    }
    // The one worker answers a rightful client meanwhile, handshake and all: before the head
    // time the stalled ones are given is over, while each of them is still held.
    share::ShareLink link("127.0.0.1", server->port(), "", Trust(OpensslPin(files.selfCert)));
    for (int i = 0; i < 3; ++i) {
        const auto reply = link.Get("/quick", 100);
        ASSERT_TRUE(reply.ok()) << reply.linkError;
    }
    for (auto& c : stalled)
        EXPECT_TRUE(c->OpenNow());
    // The handshake is bounded by the head's deadline: every stalled client is let go, and so
    // is a head begun over TLS and not ended in time (the engine reads heads inside TLS, and
    // has no reply for one it never had whole).
    for (auto& c : stalled)
        EXPECT_TRUE(c->ClosedWithin(4.0));
    for (auto& c : slowHeads) {
        EXPECT_EQ(c->Receive(4), "");
        EXPECT_TRUE(c->closed());
    }
    EXPECT_EQ(handled, 3);
}

// What the picture link answers over a pinned link is the program's test's; here its refusals.
TEST_F(TlsLinkTest, ThePictureLinkIsCheckedAsTheFileLinkIs) {
    share::PictureServer pictures("C:\\QorData", {}, Self());
    ASSERT_TRUE(pictures.Start("127.0.0.1", 0, ""));
    auto problem = [&](const TlsTrust& trust) {
        share::HttpPictureSource source("127.0.0.1", pictures.Port(), "", std::chrono::seconds(3),
                                        trust);
        EXPECT_EQ(source.Days(), std::vector<std::string>{});
        return source.LastProblem();
    };
    const std::string pin = OpensslPin(files.selfCert), wrong = OpensslPin(files.signedCert);
    EXPECT_HAS(problem(Trust(wrong)),
               "shows the certificate " + pin + " (/CN=localhost), not the pinned " + wrong);
    EXPECT_HAS(problem({}), "status 400: this port speaks HTTPS only");
    TlsTrust badPin = Trust("");
    badPin.problem = "QUILLON_SHARE_PIN: not a pin";
    EXPECT_EQ(problem(badPin), "QUILLON_SHARE_PIN: not a pin");
    pictures.Stop();
}

TEST_F(TlsLinkTest, TheWindowTakesItsTrustFromTheEnvironmentAndABadPinRefusesEverything) {
    const auto given = [](const char* pin, const char* ca) {  // nullptr: not set
        ScopedEnv pinned("QUILLON_SHARE_PIN", pin), authority("QUILLON_SHARE_CA", ca);
        return share::TrustFromEnvironment();
    };
    EXPECT_FALSE(given(nullptr, nullptr).on);  // plain HTTP, as before
    const std::string pin = OpensslPin(files.selfCert);
    TlsTrust trust = given(pin.c_str(), nullptr);
    EXPECT_TRUE(trust.on);
    EXPECT_EQ(trust.pin, pin);
    EXPECT_EQ(trust.problem, "");
    trust = given(nullptr, files.caCert.c_str());
    EXPECT_TRUE(trust.on);
    EXPECT_EQ(trust.caFile, files.caCert);
    // What each trust is answered is EachTrust's; a pin that is none refuses before asking.
    Serve({}, Self());
    trust = given("sha256:nothex", nullptr);
    EXPECT_TRUE(trust.on);  // still TLS: a pin that is none never means plain HTTP
    EXPECT_HAS(trust.problem, "QUILLON_SHARE_PIN");
    EXPECT_EQ(Ask(trust).linkError, trust.problem);
    EXPECT_EQ(handled, 0);
}
