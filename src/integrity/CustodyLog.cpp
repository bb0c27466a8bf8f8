#include "integrity/CustodyLog.h"

#include "platform/Utf8.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "integrity/Sha256.h"
#include "integrity/Signing.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/NamedLock.h"
#include "platform/Utf8.h"

namespace integrity {

// The first line follows no line: its previous-line hash is that of nothing, 64 zeros, so that
// every line has the same fields and a line put before the first one breaks the chain.
const char* const kNoPreviousLine =
    "0000000000000000000000000000000000000000000000000000000000000000";

namespace {

constexpr long long kLogLimit = 64LL << 20;

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kBase64[v & 63] : '=';
    }
    return out;
}

// The bytes of base64 text; nullopt when it is not base64.
std::optional<std::string> FromBase64(const std::string& text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=') {
            if (i + 2 < text.size() || (i + 1 < text.size() && text[i + 1] != '='))
                return std::nullopt;
            break;
        }
        const char* at = std::char_traits<char>::find(kBase64, 64, c);
        if (!at)
            return std::nullopt;
        v = (v << 6) | static_cast<unsigned>(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xff);
        }
    }
    return out;
}

// A PEM's base64 body on one line, and back: an Ed25519 public key's PEM has one line only.
std::string PemBody(const std::string& pem) {
    std::string body, line;
    for (std::size_t at = 0; at < pem.size();) {
        std::size_t end = pem.find('\n', at);
        if (end == std::string::npos)
            end = pem.size();
        line = pem.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 5, "-----") != 0)
            body += line;
        at = end + 1;
    }
    return body;
}

std::string PublicPemFromBody(const std::string& body) {
    std::string pem = "-----BEGIN PUBLIC KEY-----\n";
    for (std::size_t at = 0; at < body.size(); at += 64)
        pem += body.substr(at, 64) + "\n";
    return pem + "-----END PUBLIC KEY-----\n";
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// The fields of a line in their fixed order; those left empty are not written.
std::string FormatLine(const CustodyLine& l) {
    std::string out = "{\"line\":" + std::to_string(l.line) + ",\"prev\":" + Quoted(l.prev) +
                      ",\"time\":" + Quoted(l.time) + ",\"event\":" + Quoted(l.event) +
                      ",\"actor\":" + Quoted(l.actor);
    const auto field = [&](const char* name, const std::string& value) {
        if (!value.empty())
            out += std::string(",\"") + name + "\":" + Quoted(value);
    };
    field("manifest", l.manifest);
    field("recipient", l.recipient);
    field("organisation", l.organisation);
    field("reason", l.reason);
    field("note", l.note);
    if (l.event == kCustodySignature)
        out += ",\"covers\":" + std::to_string(l.covers);
    field("key", l.key);
    field("signature", l.signature);
    return out + "}\n";
}

// A flat JSON object of strings and whole numbers, the only kind of line the log has.
class LineReader {
  public:
    explicit LineReader(const std::string& text) : s_(text) {}

    // The fields; "" or what is wrong.
    std::string Read(std::map<std::string, std::string>& fields) {
        Space();
        if (!Take('{'))
            return "it is not a JSON object";
        Space();
        if (Take('}'))
            return End();
        for (;;) {
            std::string name, value;
            Space();
            if (!String(name))
                return "a field's name cannot be read";
            Space();
            if (!Take(':'))
                return "the field \"" + name + "\" has no value";
            Space();
            if (at_ < s_.size() && s_[at_] == '"') {
                if (!String(value))
                    return "the value of \"" + name + "\" cannot be read";
            } else if (!Number(value)) {
                return "the value of \"" + name + "\" is neither a text nor a number";
            }
            if (!fields.emplace(name, value).second)
                return "the field \"" + name + "\" is there twice";
            Space();
            if (Take('}'))
                return End();
            if (!Take(','))
                return "a ',' or '}' is missing after \"" + name + "\"";
        }
    }

  private:
    std::string End() {
        Space();
        return at_ == s_.size() ? std::string() : "something follows the object";
    }
    void Space() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\r'))
            ++at_;
    }
    bool Take(char c) {
        if (at_ >= s_.size() || s_[at_] != c)
            return false;
        ++at_;
        return true;
    }
    bool Number(std::string& out) {
        const std::size_t from = at_;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9')
            ++at_;
        out = s_.substr(from, at_ - from);
        return !out.empty() && out.size() < 19;
    }
    static int HexDigit(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }
    // A string; \uXXXX of the basic plane become UTF-8 (the log writes only control
    // characters so).
    bool String(std::string& out) {
        if (!Take('"'))
            return false;
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size())
                return false;
            const char e = s_[at_++];
            static const std::string kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
            if (const std::size_t k = kFrom.find(e); k != std::string::npos) {
                out += kTo[k];
                continue;
            }
            if (e != 'u' || at_ + 4 > s_.size())
                return false;
            unsigned v = 0;
            for (int i = 0; i < 4; ++i) {
                const int d = HexDigit(s_[at_++]);
                if (d < 0)
                    return false;
                v = v * 16 + static_cast<unsigned>(d);
            }
            if (v < 0x80) {
                out += static_cast<char>(v);
            } else if (v < 0x800) {
                out += static_cast<char>(0xc0 | (v >> 6));
                out += static_cast<char>(0x80 | (v & 0x3f));
            } else {
                out += static_cast<char>(0xe0 | (v >> 12));
                out += static_cast<char>(0x80 | ((v >> 6) & 0x3f));
                out += static_cast<char>(0x80 | (v & 0x3f));
            }
        }
        return false;
    }

    const std::string& s_;
    std::size_t at_ = 0;
};

// The line's text read into a line; "" or what is wrong with it.
std::string ParseLine(const std::string& text, CustodyLine& out) {
    std::map<std::string, std::string> f;
    if (std::string bad = LineReader(text).Read(f); !bad.empty())
        return bad;
    for (const char* required : {"line", "prev", "time", "event", "actor"})
        if (!f.count(required))
            return std::string("it has no \"") + required + "\"";
    out.line = std::atoll(f["line"].c_str());
    out.prev = f["prev"];
    out.time = f["time"];
    out.event = f["event"];
    out.actor = f["actor"];
    out.manifest = f["manifest"];
    out.recipient = f["recipient"];
    out.organisation = f["organisation"];
    out.reason = f["reason"];
    out.note = f["note"];
    out.covers = std::atoll(f["covers"].c_str());
    out.key = f["key"];
    out.signature = f["signature"];
    if (out.event == kCustodySignature &&
        (!f.count("covers") || out.key.empty() || out.signature.empty()))
        return "a signature line needs \"covers\", \"key\" and \"signature\"";
    return std::string();
}

// The log's lines, each with its line end; the last one without, when the log was cut inside it.
std::vector<std::string> SplitLines(const std::string& log) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find('\n', at);
        const std::size_t next = end == std::string::npos ? log.size() : end + 1;
        lines.push_back(log.substr(at, next - at));
        at = next;
    }
    return lines;
}

std::string Lines(long long from, long long to) {
    return from == to ? "line " + std::to_string(from)
                      : "lines " + std::to_string(from) + "-" + std::to_string(to);
}

// "lines 3-5 are" or "line 3 is".
std::string LinesAre(long long from, long long to) {
    return Lines(from, to) + (from == to ? " is" : " are");
}

std::string Count(long long n) {
    return std::to_string(n) + (n == 1 ? " line" : " lines");
}

}  // namespace

std::string CustodyEventName(CustodyEvent event) {
    switch (event) {
        case CustodyEvent::kScheduled:
            return "scheduled";
        case CustodyEvent::kBackedUp:
            return "backed up";
        case CustodyEvent::kVerified:
            return "verified";
        case CustodyEvent::kWrittenToDisc:
            return "written to disc";
        case CustodyEvent::kReadBack:
            return "read back";
        case CustodyEvent::kExported:
            return "exported";
        case CustodyEvent::kEncrypted:
            return "encrypted";
        case CustodyEvent::kHandedOver:
            return "handed over";
        case CustodyEvent::kReceived:
            return "received";
        case CustodyEvent::kDestroyed:
            return "destroyed";
    }
    return "unknown";
}

platform::Expected<std::string> AppendCustody(const std::string& log,
                                              const std::vector<CustodyRecord>& records,
                                              const std::string& privatePem,
                                              const std::string& time) {
    if (!log.empty() && log.back() != '\n')
        return platform::Error{platform::Error::Kind::kDamaged,
                               "ends inside a line: it was cut off or damaged, and is left as it "
                               "is",
                               ""};
    // A line is JSON, which is UTF-8: a text that is not stays out rather than be changed.
    for (const CustodyRecord& r : records)
        for (const auto& [name, text] :
             {std::pair{"actor", &r.actor}, std::pair{"recipient", &r.recipient},
              std::pair{"organisation", &r.organisation}, std::pair{"reason", &r.reason},
              std::pair{"note", &r.note}})
            if (!platform::IsValidUtf8(*text))
                return platform::Error{
                    platform::Error::Kind::kRefused,
                    std::string("the ") + name + " given is not UTF-8 text, which the log is", ""};
    const std::vector<std::string> lines = SplitLines(log);
    std::string out = log;
    long long n = static_cast<long long>(lines.size());
    std::string prev =
        lines.empty() ? kNoPreviousLine : Sha256Hex(lines.back().data(), lines.back().size());
    const auto add = [&](CustodyLine l) {
        l.line = ++n;
        l.prev = prev;
        l.time = time;
        const std::string text = FormatLine(l);
        prev = Sha256Hex(text.data(), text.size());
        out += text;
    };
    for (const CustodyRecord& r : records)
        add({.event = CustodyEventName(r.event),
             .actor = r.actor,
             .manifest = r.manifest,
             .recipient = r.recipient,
             .organisation = r.organisation,
             .reason = r.reason,
             .note = r.note});
    if (privatePem.empty())
        return out;
    const platform::Expected<std::string> signature = Sign(privatePem, out);
    if (!signature)
        return signature.error();
    add({.event = kCustodySignature,
         .actor = records.empty() ? CustodyActor() : records.back().actor,
         .covers = n,
         .key = PemBody(PublicPemOf(privatePem)),
         .signature = Base64(*signature)});
    return out;
}

std::vector<CustodyLine> ReadCustodyLines(const std::string& log) {
    std::vector<CustodyLine> out;
    long long n = 0;
    for (std::string text : SplitLines(log)) {
        CustodyLine l;
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        if (!ParseLine(text, l).empty())
            l = CustodyLine{};
        l.line = ++n;
        out.push_back(std::move(l));
    }
    return out;
}

CustodyCheck CheckCustodyLog(const std::string& log) {
    CustodyCheck check;
    const std::vector<std::string> lines = SplitLines(log);
    check.lines = static_cast<long long>(lines.size());
    std::string prevHash = kNoPreviousLine;
    long long lastSignatureLine = 0;
    long long statedBefore = 0;  // the number the line before says it has
    std::size_t offset = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const long long n = static_cast<long long>(i) + 1;
        const std::string at = "line " + std::to_string(n) + ": ";
        std::string text = lines[i];
        const bool whole = !text.empty() && text.back() == '\n';
        CustodyLine l;
        std::string bad;
        if (whole)
            text.pop_back();
        else
            bad = "it is cut off (it has no line end): the log's last bytes are missing";
        if (bad.empty())
            bad = ParseLine(text, l);
        if (!bad.empty()) {
            check.problems.push_back(at + bad);
        } else {
            if (l.prev != prevHash)
                check.problems.push_back(
                    n == 1 ? at + "its previous-line hash is not that of nothing (64 zeros): "
                                  "lines before it were removed"
                           : at + "its previous-line hash does not match line " +
                                 std::to_string(n - 1));
            // Said where the count jumps, not again for every line after a removed one.
            if (l.line != statedBefore + 1)
                check.problems.push_back(
                    at + "it calls itself line " + std::to_string(l.line) +
                    (n == 1 ? std::string() : ", after line " + std::to_string(statedBefore)) +
                    ": lines were removed, added or moved");
            statedBefore = l.line;
            if (l.event == kCustodySignature) {
                lastSignatureLine = n;
                const std::optional<std::string> signature = FromBase64(l.signature);
                const std::optional<std::string> keyDer = FromBase64(l.key);
                const std::string pem = PublicPemFromBody(l.key);
                const std::string fingerprint = keyDer ? Fingerprint(pem) : std::string();
                if (l.covers != n - 1) {
                    check.problems.push_back(at + "the signature says it covers " +
                                             Count(l.covers) + ", not the " + Count(n - 1) +
                                             " before it");
                } else if (!signature || fingerprint.empty()) {
                    check.problems.push_back(at + "its signature or key cannot be read");
                } else if (!CheckSignature(pem, log.substr(0, offset), *signature)) {
                    check.problems.push_back(at + "signature does not verify: " +
                                             LinesAre(1, n - 1) + " not what it signed");
                } else {
                    check.signatures.push_back(at + "good signature over " + Lines(1, n - 1) +
                                               " by " + fingerprint);
                }
            }
        }
        if (!bad.empty())
            statedBefore = n;
        prevHash = Sha256Hex(lines[i].data(), lines[i].size());
        offset += lines[i].size();
    }
    if (check.lines == 0) {
        check.unsignedTail = "the log is empty";
    } else if (lastSignatureLine == 0) {
        check.unsignedTail =
            "the log has no signature: " + LinesAre(1, check.lines) + " not signed";
    } else if (lastSignatureLine < check.lines) {
        check.unsignedTail = "the log ends after line " + std::to_string(check.lines) +
                             ", but the last signature (line " + std::to_string(lastSignatureLine) +
                             ") covers only " + Lines(1, lastSignatureLine - 1) + ": " +
                             LinesAre(lastSignatureLine + 1, check.lines) + " not signed";
    }
    return check;
}

std::string ManifestHash(const std::string& manifestText) {
    return Sha256Hex(manifestText.data(), manifestText.size());
}

std::string CustodyTimeNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> t{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(t.hours().count()), static_cast<int>(t.minutes().count()),
                  static_cast<int>(t.seconds().count()));
    return text;
}

std::string CustodyActor() {
    for (const char* name : {"QUILLON_OPERATOR", "USER", "LOGNAME", "USERNAME"})
        if (const char* v = std::getenv(name); v && *v)
            return v;
    return "unknown";
}

platform::Outcome AppendCustodyFile(const std::string& hostPath,
                                    const std::vector<CustodyRecord>& records,
                                    const std::string& privatePem) {
    using platform::Error;
    // Each append reads the last line to chain to it: two at once would both chain to the same
    // line and one would lose its lines in the rename. The lock is named after the log's real
    // place, however the caller wrote its path.
    std::error_code ec;
    std::string real = std::filesystem::weakly_canonical(hostPath, ec).lexically_normal().string();
    if (ec || real.empty())
        real = hostPath;
    const std::string name = "custody-" + Sha256Hex(real.data(), real.size()).substr(0, 16);
    platform::NamedLock::Attempt lock = platform::NamedLock::Acquire(name, true);
    if (!lock.lock)
        return Error{Error::Kind::kFailed, "cannot be appended to: " + lock.problem, hostPath};
    std::string log;
    if (platform::FileLength(hostPath) >= 0 && !platform::ReadWholeFile(hostPath, log, kLogLimit))
        return Error{Error::Kind::kFailed, "cannot be read", hostPath};
    platform::Expected<std::string> appended =
        AppendCustody(log, records, privatePem, CustodyTimeNow());
    if (!appended)
        return Error{appended.error().kind, appended.error().text, hostPath};
    // A crash must never lose the log: the new whole file replaces it only once it is on disk.
    if (!platform::WriteTextAtomically(hostPath, *appended, true))
        return Error{Error::Kind::kFailed, "cannot be written", hostPath};
    return platform::Succeeded();
}

std::string MachineSigningKey() {
    const std::string folder = SigningKeyFolder();
    std::string pem;
    if (HasSigningKey(folder))
        platform::ReadWholeFile(PrivateKeyPath(folder), pem, 65536);
    return pem;
}

platform::Outcome LogImageEvent(const std::string& imageRoot, bool appendToImage,
                                const std::string& baseLog, const CustodyRecord& record) {
    const std::string key = MachineSigningKey();
    platform::Outcome first = platform::Succeeded();
    if (!imageRoot.empty()) {
        const std::string copy = imageRoot + "/" + kCustodyLogName;
        if (appendToImage ||
            (platform::FileLength(copy) >= 0 && platform::FolderWritable(imageRoot)))
            first = AppendCustodyFile(copy, {record}, key);
    }
    if (!baseLog.empty()) {
        const platform::Outcome base = AppendCustodyFile(baseLog, {record}, key);
        if (first && !base)
            first = base;
    }
    return first;
}

platform::Outcome LogBackedUp(const std::string& imageRoot, const std::string& baseLog,
                              const std::string& manifestText, bool partial,
                              const std::string& actor) {
    return LogImageEvent(imageRoot, true, baseLog,
                         {.event = CustodyEvent::kBackedUp,
                          .actor = actor.empty() ? CustodyActor() : actor,
                          .manifest = ManifestHash(manifestText),
                          .note = partial ? "partial image" : ""});
}

platform::Outcome LogScheduled(const std::string& baseLog, const std::string& entry,
                               const std::string& actor) {
    if (baseLog.empty())
        return platform::Succeeded();
    return LogImageEvent(std::string(), false, baseLog,
                         {.event = CustodyEvent::kScheduled,
                          .actor = actor.empty() ? CustodyActor() : actor,
                          .note = "entry " + entry});
}

}  // namespace integrity
