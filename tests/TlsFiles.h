#pragma once
// Certificates for the TLS tests, made by the openssl program, never by our own code: a
// self-signed server certificate, an authority with a server certificate it signed, another
// authority that signed nothing of ours, and a certificate of the first authority for another
// host name. Every server certificate is for "localhost" and 127.0.0.1 unless said otherwise.
// Pins are computed by openssl too, so that a test compares our pin with an outside one.
#include <cstdlib>
#include <fstream>
#include <string>

#include "CliRunner.h"

struct TlsFiles {
    std::string selfCert, selfKey;            // self-signed
    std::string caCert;                       // the authority
    std::string signedCert, signedKey;        // signed by it
    std::string otherCaCert;                  // an authority of someone else
    std::string elsewhereCert, elsewhereKey;  // signed by caCert for recorder.invalid only
    bool ok = false;                          // openssl made them all
};

// Runs a shell command line; true when it ended well. Its output goes to `log`.
inline bool TlsShell(const std::string& command, const std::string& log) {
    return std::system((command + " >>'" + log + "' 2>&1").c_str()) == 0;
}

inline TlsFiles MakeTlsFiles(const std::string& dir) {
    TlsFiles f;
    const std::string log = dir + "/openssl.log";
    const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    auto path = [&](const std::string& name) { return dir + "/" + name; };
    auto q = [](const std::string& p) { return "'" + p + "'"; };
    // A self-signed certificate, a leaf as a server's own is.
    f.selfCert = path("self.pem");
    f.selfKey = path("self.key");
    bool ok = TlsShell("openssl req -x509 " + key + " -days 2 -subj /CN=localhost -keyout " +
                           q(f.selfKey) + " -out " + q(f.selfCert) +
                           " -addext basicConstraints=critical,CA:FALSE"
                           " -addext subjectAltName=DNS:localhost,IP:127.0.0.1",
                       log);
    // Two authorities.
    f.caCert = path("ca.pem");
    f.otherCaCert = path("other-ca.pem");
    for (const auto& [cert, name] : {std::pair{f.caCert, std::string("ca")},
                                     std::pair{f.otherCaCert, std::string("other-ca")}})
        ok = ok && TlsShell("openssl req -x509 " + key + " -days 2 -subj '/CN=Test " + name +
                                "' -keyout " + q(path(name + ".key")) + " -out " + q(cert) +
                                " -addext basicConstraints=critical,CA:TRUE"
                                " -addext keyUsage=critical,keyCertSign,cRLSign",
                            log);
    // Leaves signed by the first authority, for this host and for another.
    auto sign = [&](const std::string& name, const std::string& names, std::string& cert,
                    std::string& certKey) {
        cert = path(name + ".pem");
        certKey = path(name + ".key");
        std::ofstream(path(name + ".ext"))
            << "basicConstraints=critical,CA:FALSE\nsubjectAltName=" << names << "\n";
        return TlsShell("openssl req " + key + " -subj /CN=" + name + " -keyout " + q(certKey) +
                            " -out " + q(path(name + ".csr")),
                        log) &&
               TlsShell("openssl x509 -req -days 2 -in " + q(path(name + ".csr")) + " -CA " +
                            q(f.caCert) + " -CAkey " + q(path("ca.key")) +
                            " -CAcreateserial -extfile " + q(path(name + ".ext")) + " -out " +
                            q(cert),
                        log);
    };
    ok = ok && sign("signed", "DNS:localhost,IP:127.0.0.1", f.signedCert, f.signedKey);
    ok = ok && sign("elsewhere", "DNS:recorder.invalid", f.elsewhereCert, f.elsewhereKey);
    f.ok = ok;
    return f;
}

// What a command printed (stdout and stderr together).
inline std::string TlsOutput(const std::string& command) {
    return CommandOutput(command + " 2>&1");
}

// The pin of a certificate as openssl computes it: sha256: and the hex of its DER's SHA-256.
inline std::string OpensslPin(const std::string& cert) {
    const std::string text =
        TlsOutput("openssl x509 -in '" + cert + "' -outform DER | openssl dgst -sha256 -r");
    return text.size() >= 64 ? "sha256:" + text.substr(0, 64) : "";
}
