#pragma once
// What the exhibit report of an image says: who made it for which case, from which recorder and
// with what clock, what each camera of each entry holds, and every file with its digest. The
// facts are gathered from the image as written (its index files, not the recorder's), so that
// anyone can count them again in the image with sqlite3.
#include <map>
#include <string>
#include <vector>

#include "integrity/ImageHasher.h"

namespace exhibit {

// Given by the operator for the exhibit.
struct CaseDetails {
    std::string caseReference, exhibitNumber, operatorName;
};

// The recorder's clock against this machine's.
struct ClockCheck {
    // "link": measured over the link to a remote recorder; "kernel": a local recorder, whose
    // clock is this machine's, with the kernel's synchronisation state; "none": not measured.
    std::string method = "none";
    double offsetSeconds = 0;       // the recorder's clock less this machine's
    double uncertaintySeconds = 0;  // half the best round trip (link), the kernel's maximum error
    bool synchronised = false;      // kernel: the kernel says the clock is synchronised
    std::string detail;             // in words, for the report
};

struct Recorder {
    std::string name;     // "local recorder" or the remote's address
    std::string address;  // host:port of a remote recorder, "" for a local one
    std::string zone;     // IANA name of the zone its clock shows
    ClockCheck clock;
};

struct Camera {
    int number = 0;  // from 1
    std::string name;
    long long pictures = 0;
    long long firstReading = 0, lastReading = 0;  // recorder's clock, seconds as if UTC
    std::vector<int> missingMinutes;              // of the day: no picture of the camera
    std::vector<int> damagedMinutes;              // of the day: its index cannot be read
    int audioMinutes = 0;                         // minutes with an audio file of the camera
    std::string firstJpeg, lastJpeg;              // the first and last picture, as recorded
};

struct Entry {
    std::string folder;                   // its folder in the image
    std::string day;                      // YYYYMMDD
    int firstMinute = 0, lastMinute = 0;  // of the day
    std::string memo;
    std::vector<Camera> cameras;
    // Zone facts of its minutes: the offsets at the first and the last minute, and the minutes
    // the clock showed twice (a change back of the zone).
    int firstOffset = 0, lastOffset = 0;
    std::vector<int> repeatedMinutes;
    std::vector<std::string> problems;  // what the backup could not copy of it, in words
};

struct Facts {
    CaseDetails caseDetails;
    std::string machine;  // the exporting machine's name
    std::string program;  // "Quillon Backup 0.3.0"
    std::string madeUtc;  // RFC 3339
    Recorder recorder;
    std::vector<Entry> entries;
    std::map<std::string, integrity::FileDigest> files;     // as the manifest lists them
    std::vector<std::pair<std::string, std::string>> keys;  // what each signs, fingerprint
    std::vector<std::string> workingCopies;                 // the MP4 files, by path
    // Of the signed MP4 files, by path: the digest the exporter's first signature signs, which
    // a receiving stamp leaves as it is while the file's own digest changes.
    std::map<std::string, std::string> signedParts;
};

// The entries of the image below rootHost as its files show them (camera names and memo from
// each entry's information file).
std::vector<Entry> EntriesOfImage(const std::string& rootHost);

}  // namespace exhibit
