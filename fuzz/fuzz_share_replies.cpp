// libFuzzer entry over everything the share client reads from a server: the image status text,
// the names it lists, job ids and the record size checks. A status that parses must format and
// parse back to the same status, and every listed name must have passed the name check.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "records/RemoteRecords.h"
#include "share/ShareReplies.h"

namespace {

void Require(bool ok) {
    if (!ok)
        std::abort();
}

bool Same(const share::JobStatus& a, const share::JobStatus& b) {
    if (a.state != b.state || a.item != b.item || a.doneKB != b.doneKB || a.totalKB != b.totalKB ||
        a.entry != b.entry || a.problem != b.problem || a.files.size() != b.files.size())
        return false;
    for (std::size_t i = 0; i < a.files.size(); ++i)
        if (a.files[i].name != b.files[i].name || a.files[i].size != b.files[i].size ||
            a.files[i].sha256 != b.files[i].sha256)
            return false;
    return true;
}

}  // namespace

// The random driver's seeds: well-formed and hostile status texts.
const std::vector<std::string>& FuzzSeeds() {
    static const std::vector<std::string> seeds = {
        "state building\nitem 201005231002N.dat\ndone 120\ntotal 4000\n",
        "state done\ndone 4000\ntotal 4000\nentry 2010_05_23=10,00~10,09\n"
        "file 1234 0000000000000000000000000000000000000000000000000000000000000000 "
        "201005231000N.dat\nfile 480000 "
        "0000000000000000000000000000000000000000000000000000000000000000 "
        "Audio/201005231000_01.wav\n",
        "state failed\nproblem no recordings in that range\n",
        "state cancelled\n",
        "state done\nentry x\nfile 1 "
        "0000000000000000000000000000000000000000000000000000000000000000 ../../etc/passwd\n",
        "state done\nentry x\nfile 1 "
        "0000000000000000000000000000000000000000000000000000000000000000 /etc/passwd\n",
        "state done\nentry x\nfile 1 "
        "0000000000000000000000000000000000000000000000000000000000000000 C:\\Windows\\x\n",
        "state done\nentry x\nfile 99999999999999 big\n",
        "12345",
        "Audio/x.wav",
    };
    return seeds;
}

const std::vector<std::string>& FuzzPieces() {
    static const std::vector<std::string> pieces = {
        "\n",           " ",      "/",         "..", "\\", ":", std::string(1, '\0'), "file ",
        "state done\n", "entry ", "9999999999"};
    return pieces;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (auto status = share::ParseJobStatus(text, &why)) {
        for (const auto& f : status->files) {
            Require(share::RemoteNameProblem(f.name).empty());
            Require(f.size >= 0 && f.size <= share::kMaxListedFileBytes);
        }
        if (status->state == share::JobState::kDone)
            Require(share::EntryProblem(status->entry).empty());
        auto again = share::ParseJobStatus(share::FormatJobStatus(*status), &why);
        Require(again && Same(*status, *again));
    } else {
        Require(!why.empty());
    }
    // A name that passes never leads out of its folder, whatever its spelling.
    if (share::RemoteNameProblem(text).empty()) {
        Require(text.find('\\') == std::string_view::npos && text.front() != '/');
        Require(text.find(':') == std::string_view::npos);
        Require(text != ".." && text.substr(0, 3) != "../" && text.find("/../") == text.npos);
    }
    if (auto id = share::ParseJobId(text))
        Require(std::to_string(*id).size() <= text.size());
    Require(share::RecordSizeProblem("index reply", size, sizeof(_INDEXREPLY)).empty() ==
            (size == sizeof(_INDEXREPLY)));
    return 0;
}
