#pragma once
// The boxes a video export carries beside what the encoder writes: the segment (sumi), the
// exporting unit and its tracks (suep), a track's camera (cami) and the corrected start time
// (cstb). Plain structs in, whole boxes (header included) out, and readers for the same.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mp4 {

// 16 bytes in the order of their text form (RFC 4122).
using Uuid = std::array<std::uint8_t, 16>;

// A random UUID (version 4).
Uuid RandomUuid();
// A UUID that is the same for the same name on every machine and run: the first 16 bytes of
// SHA-256 of a namespace of ours and the name, marked as a name-based UUID of the hash-of-choice
// kind (version 8), so that a camera of a recorder keeps its UUID across exports.
Uuid NameUuid(std::string_view name);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lower case.
std::string UuidText(const Uuid& id);

// 100 ns ticks since 1601-01-01 UTC of a time given as Unix seconds and milliseconds.
std::uint64_t FileTimeFromUnix(std::int64_t seconds, int milliseconds);
// Seconds since 1904-01-01 UTC, as the file's own times count.
std::uint64_t Mp4TimeFromUnix(std::int64_t seconds);

// sumi: the segment. A stand-alone file is its own predecessor and successor.
struct SegmentInfo {
    Uuid segment{}, predecessor{}, successor{};
    std::uint64_t startFileTime = 0;           // 100 ns ticks since 1601
    std::uint64_t duration = 0;                // 100 ns ticks
    std::string predecessorUri, successorUri;  // "" when there is none
};

// suep's tracks: the texts say what the track is (for a video track the export gives the
// recorder, the camera, the entry and the memo).
struct VideoTrackInfo {
    Uuid id{};
    std::array<std::string, 4> texts;
};
struct AudioTrackInfo {
    Uuid id{};
    std::array<std::string, 3> texts;
};

// suep (version 0): who exported, when, and which tracks.
struct ExportUnitInfo {
    std::string unitName, url, mac;
    std::uint64_t exportTime = 0;  // seconds since 1904
    std::string operatorName;
    std::vector<VideoTrackInfo> video;
    std::vector<AudioTrackInfo> audio;
};

// cstb's entries: a track's start time.
struct TrackStart {
    std::uint32_t trackId = 0;
    std::uint64_t startFileTime = 0;
};

// The whole box in out; "" when written, else why (a text holding a NUL, too many tracks, a URI
// too long for its length field), out then left as it was.
std::string WriteSumi(const SegmentInfo& info, std::string& out);
std::string WriteSuep(const ExportUnitInfo& info, std::string& out);
std::string WriteCami(const Uuid& camera, std::string& out);
std::string WriteCstb(const std::vector<TrackStart>& entries, std::string& out);

// Readers of a whole box (header included, as ReadBoxBytes gives it); "" when read, else why.
std::string ReadSumi(std::string_view box, SegmentInfo& info);
std::string ReadSuep(std::string_view box, ExportUnitInfo& info);
std::string ReadCami(std::string_view box, Uuid& camera);
std::string ReadCstb(std::string_view box, std::vector<TrackStart>& entries);

}  // namespace mp4
