#pragma once
// Turns the MP4 the encoder closed into the export's file: each camera track gets a 'meta' with
// its camera's UUID, and a file-level 'meta' (segment, exporting unit, and the signature when a
// key is given) becomes the file's last box, so that a signature over the whole file can be
// checked by hashing it to its end. The encoder's file must have its 'moov' last, after its
// media: the media then keeps its offsets, and the chunk offsets in 'moov' stay right.
#include <cstdint>
#include <string>
#include <vector>

#include "integrity/ExportSigning.h"
#include "mp4/SurveillanceBoxes.h"
#include "platform/Error.h"

namespace mp4 {

// The camera (or microphone) of a track, by the track's ID in its 'tkhd'.
struct TrackCamera {
    std::uint32_t trackId = 0;
    Uuid camera{};
};

struct FinishRequest {
    SegmentInfo segment;
    ExportUnitInfo unit;
    // Tracks given a 'meta' with a 'cami'; a track not named (the timed text) gets none.
    std::vector<TrackCamera> cameras;
    // Signs the file when set; 'cstb' then gives every track the segment's start corrected by
    // the recorder's clock offset.
    const integrity::ExportKey* signer = nullptr;
    // The recorder's clock less true time, in 100 ns ticks: 'sumi' keeps the start as the
    // recorder's clock showed it, 'cstb' (which players take last) the start less this.
    std::int64_t clockOffsetTicks = 0;
    // The file reaches the device before it takes its final name.
    bool durable = false;
};

// Writes the finished file under a temporary name beside finalPath and renames it over
// finalPath when whole (finalPath may be encodedPath itself). On failure nothing is left under
// finalPath that was not there: kNotFound when the encoded file cannot be opened, kDamaged when
// it is not a file we can finish, kRefused when the request's boxes cannot be written (a text
// holding a NUL, too many tracks), kFailed for the signing key and when the finished file cannot
// be written (its text then says whether the target is full). A signed file gets its exporter's
// signature twice (see ExportSignatures.h); signedPartHex, when given, takes the digest the first
// signs, which stays the file's while a receiving stamp replaces the second.
platform::Outcome FinishExport(const std::string& encodedPath, const std::string& finalPath,
                               const FinishRequest& request, std::string* signedPartHex = nullptr);

// The handler type of the 'hdlr' in the 'meta' boxes we write: it holds no timed data of a
// handler of its own, and a reader that mistakes it for the track's handler changes nothing.
constexpr const char* kMetaHandlerType = "null";

}  // namespace mp4
