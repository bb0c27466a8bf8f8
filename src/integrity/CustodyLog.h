#pragma once
// The chain of custody of images: an append-only log in JSON Lines (docs/custody.md), one line
// per event, each holding the SHA-256 of the line before it, and signature lines that cover all
// lines before them, so that a line changed, removed, moved or cut off is found by its number.
// One log per base folder holds the events of all its images; each image root holds the log
// of its own events beside its manifest.
#include <string>
#include <vector>

#include "integrity/Manifest.h"
#include "platform/Error.h"

namespace integrity {

// The event of a signature line, which no other line uses.
constexpr const char* kCustodySignature = "signature";

enum class CustodyEvent {
    kScheduled,
    kBackedUp,
    kVerified,
    kWrittenToDisc,
    kReadBack,
    kExported,
    kEncrypted,  // an encrypted copy made to leave the site
    kHandedOver,
    kReceived,
    kDestroyed,
};
// "backed up", "handed over", ... as the log writes it.
std::string CustodyEventName(CustodyEvent event);

// What happened to an image, to be appended.
struct CustodyRecord {
    CustodyEvent event = CustodyEvent::kBackedUp;
    std::string actor;
    std::string manifest;  // hex SHA-256 of the image's SHA256SUMS bytes
    // A hand-over's: to whom, of which organisation, and why.
    std::string recipient, organisation, reason;
    std::string note;  // anything else the reader should know ("partial image")
};

// One line as read back; the fields it lacks are empty (0).
struct CustodyLine {
    long long line = 0;
    std::string prev, time, event, actor, manifest;
    std::string recipient, organisation, reason, note;
    // A signature line's: the count of lines it covers, the signer's public key (the body of
    // its PEM) and the signature, in base64.
    long long covers = 0;
    std::string key, signature;
};

// The line hash before the first line.
extern const char* const kNoPreviousLine;

// The log text with records appended as lines at time (RFC 3339 in UTC), then, when
// privatePem is not "", a signature line over everything before it. Refused when log does not
// end with a whole line (it was cut or damaged: it is left as it is for whoever checks it).
platform::Expected<std::string> AppendCustody(const std::string& log,
                                              const std::vector<CustodyRecord>& records,
                                              const std::string& privatePem,
                                              const std::string& time);

// The log's lines read back; an unreadable line has only its number.
std::vector<CustodyLine> ReadCustodyLines(const std::string& log);

struct CustodyCheck {
    long long lines = 0;
    std::vector<std::string> problems;    // "line 4: ...", in line order; none: intact
    std::vector<std::string> signatures;  // each good signature: which lines, by which key
    // Lines after the last good signature ("" when none): said, and a failure, since anyone
    // may have appended them.
    std::string unsignedTail;
    bool ok() const { return problems.empty() && unsignedTail.empty(); }
};
// The chain and the signatures of a log checked, each key as the line states it.
CustodyCheck CheckCustodyLog(const std::string& log);

// The SHA-256 of an image's manifest bytes, as its custody lines name it.
std::string ManifestHash(const std::string& manifestText);
// Now, in UTC: 2026-12-09T21:55:22Z.
std::string CustodyTimeNow();
// Who acts: $QUILLON_OPERATOR, else the user's name ($USER, $LOGNAME, $USERNAME), else
// "unknown".
std::string CustodyActor();

// Appends records (and a signature line, with privatePem) to the log file at hostPath, made
// when missing. Appends to one log wait for each other, also across processes of the user;
// the whole new file is written under a temporary name and renamed over the old one, so that
// a crash or a full disk leaves the old log whole.
platform::Outcome AppendCustodyFile(const std::string& hostPath,
                                    const std::vector<CustodyRecord>& records,
                                    const std::string& privatePem);

// The machine's signing key ("" when it has none).
std::string MachineSigningKey();

// One event of the image at imageRoot (a host path; "" for none) whose manifest hashes to
// manifest: appended, signed with the machine's key when it has one, to the image's log (when
// appendToImage, or when it already has one and is writable) and to baseLog ("" for none).
// The first error; both are tried.
platform::Outcome LogImageEvent(const std::string& imageRoot, bool appendToImage,
                                const std::string& baseLog, const CustodyRecord& record);

// The "backed up" event of the image at imageRoot whose manifest is manifestText, by actor (the
// operator the backup names; "" for this process's), in the image's log and in baseLog ("" for
// none).
platform::Outcome LogBackedUp(const std::string& imageRoot, const std::string& baseLog,
                              const std::string& manifestText, bool partial,
                              const std::string& actor = "");

// The "scheduled" event of the schedule entry named entry (its entry string), by actor ("" for
// this process's), in baseLog: no image names it yet.
platform::Outcome LogScheduled(const std::string& baseLog, const std::string& entry,
                               const std::string& actor = "");

}  // namespace integrity
