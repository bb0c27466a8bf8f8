#pragma once
// What the client reads from the server, and the checks that keep a hostile server from
// steering it: the image job's status text, the names of the files it lists, and the sizes of
// the binary records. The server writes the status with FormatJobStatus, so both sides agree.
//
// Status text, one "key value" a line:
//   state building|done|failed|cancelled   (required)
//   item TEXT        the file being made
//   done KB / total KB
//   entry ENTRY      the image's folder below C:\NetBackupTemp (required when done)
//   problem TEXT     why the build failed
//   lacks TEXT       what a finished image lacks because the recording lacks it (a damaged
//                    minute), one line each: the image holds the rest of the entry
//   incomplete TEXT  with lacks: the first of them in short, as the entry's outcome names it
//   file SIZE SHA256 NAME   one file of the image: its length, the SHA-256 of its bytes as
//                    the recorder wrote them (64 lower-case hex digits), NAME below the
//                    entry's day, '/' between folders. While building: the files ready to be
//                    fetched so far, which a later status may list again with other bytes;
//                    the list of the finished image is the one that holds
//
// A client that keeps the list asks "GET /v1/image/{id}?since=N", N the `list` number of the
// last status it took (0 for none), and the status then also says:
//   list N           the number of the listing now, for the next request
//   from N           the `file` and `gone` lines are the changes after N, which the client
//                    has; 0: they are the whole list (N was not one of this job's numbers)
//   gone NAME        a file listed before that is no part of the image any more (withdrawn)
// A status asked for without `since` lists every file and none of these lines.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace share {

enum class JobState { kBuilding, kDone, kFailed, kCancelled };

struct ListedFile {
    std::string name;
    long long size = 0;
    std::string sha256;  // hex, as the recorder hashed the file while it built the image
};

struct JobStatus {
    JobState state = JobState::kBuilding;
    std::string item;
    std::uint32_t doneKB = 0, totalKB = 0;
    std::string entry;
    std::string problem;
    std::vector<std::string> lacks;
    std::string incomplete;
    std::vector<ListedFile> files;
    // Given when the status was asked for with a number (see above): the listing's number now,
    // and the number after which the files and gone are the changes (0: the whole list).
    std::optional<std::uint64_t> list;
    std::uint64_t from = 0;
    std::vector<std::string> gone;
};

// Limits a listing must keep.
constexpr long long kMaxListedFileBytes = 1LL << 40;
constexpr std::size_t kMaxListedFiles = 200000;
constexpr std::size_t kMaxComponentBytes = 255;
constexpr std::size_t kMaxTextBytes = 1023;  // fits the progress record's name

const char* JobStateName(JobState state);
std::string FormatJobStatus(const JobStatus& status);
// The status, or nullopt with why set when the text is not a status this client trusts.
std::optional<JobStatus> ParseJobStatus(std::string_view text, std::string* why);

// "" when name is a relative path that stays below the folder it lands in; else what is wrong.
std::string RemoteNameProblem(std::string_view name);
// "" when entry is one plain folder name.
std::string EntryProblem(std::string_view entry);
// "" when a record of `what` has the size it must have.
std::string RecordSizeProblem(std::string_view what, std::size_t got, std::size_t expected);
// A job id as the server writes it (decimal, no sign, at most 19 digits).
std::optional<std::uint64_t> ParseJobId(std::string_view text);

}  // namespace share
