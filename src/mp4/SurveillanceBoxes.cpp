#include "mp4/SurveillanceBoxes.h"

#include <random>

#include "integrity/Sha256.h"
#include "mp4/BoxWriter.h"

namespace mp4 {
namespace {

// Seconds from 1601-01-01 and from 1904-01-01 to 1970-01-01.
constexpr std::int64_t kFileTimeEpoch = 11644473600;
constexpr std::int64_t kMp4Epoch = 2082844800;
// Our namespace for name-based UUIDs, so that the same name hashed by another program for
// another purpose gives another UUID.
constexpr std::string_view kNamespace = "quillon-backup/camera-uuid/1\n";

std::string TextProblem(std::string_view what, const std::string& text) {
    if (text.find('\0') != std::string::npos)
        return std::string(what) + " holds a NUL character, which would end it early";
    return std::string();
}

// The payload of a whole box of type, after version and flags when full; why when it is not one.
std::string BodyOf(std::string_view box, std::string_view type, bool full, std::string_view& body,
                   std::uint8_t* version = nullptr) {
    FieldReader r(box);
    std::uint64_t size = r.U32();
    const std::string_view found = r.Bytes(4);
    std::size_t header = 8;
    if (size == 1) {
        size = r.U64();
        header = 16;
    } else if (size == 0) {
        size = box.size();
    }
    if (r.failed())
        return "the box is cut short in its header";
    if (found != type)
        return "the box is '" + std::string(found) + "', not '" + std::string(type) + "'";
    if (size != box.size())
        return "box '" + std::string(type) + "' says it has " + std::to_string(size) +
               " bytes but has " + std::to_string(box.size());
    if (full) {
        const std::uint32_t vf = r.U32();
        if (r.failed())
            return "box '" + std::string(type) + "' is too short for its version and flags";
        if (version)
            *version = static_cast<std::uint8_t>(vf >> 24);
        header += 4;
    }
    body = box.substr(header);
    return std::string();
}

Uuid UuidFrom(std::string_view bytes) {
    Uuid id{};
    for (std::size_t i = 0; i < id.size() && i < bytes.size(); ++i)
        id[i] = static_cast<std::uint8_t>(bytes[i]);
    return id;
}

void PutUuid(BoxWriter& w, const Uuid& id) {
    w.Bytes(std::string_view(reinterpret_cast<const char*>(id.data()), id.size()));
}

std::string Ended(const FieldReader& r, std::string_view type) {
    if (r.failed())
        return "box '" + std::string(type) + "' is cut short";
    if (r.Left() != 0)
        return "box '" + std::string(type) + "' has " + std::to_string(r.Left()) +
               " bytes after its last field";
    return std::string();
}

}  // namespace

Uuid RandomUuid() {
    std::random_device source;
    Uuid id{};
    for (std::size_t i = 0; i < id.size(); i += 4) {
        const std::uint32_t word = source();
        for (std::size_t k = 0; k < 4; ++k)
            id[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
    id[6] = static_cast<std::uint8_t>((id[6] & 0x0f) | 0x40);
    id[8] = static_cast<std::uint8_t>((id[8] & 0x3f) | 0x80);
    return id;
}

Uuid NameUuid(std::string_view name) {
    integrity::Sha256 hash;
    hash.Update(kNamespace.data(), kNamespace.size());
    hash.Update(name.data(), name.size());
    const auto digest = hash.Final();
    Uuid id{};
    for (std::size_t i = 0; i < id.size(); ++i)
        id[i] = digest[i];
    id[6] = static_cast<std::uint8_t>((id[6] & 0x0f) | 0x80);
    id[8] = static_cast<std::uint8_t>((id[8] & 0x3f) | 0x80);
    return id;
}

std::string UuidText(const Uuid& id) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < id.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        out += hex[id[i] >> 4];
        out += hex[id[i] & 15];
    }
    return out;
}

std::uint64_t FileTimeFromUnix(std::int64_t seconds, int milliseconds) {
    return static_cast<std::uint64_t>((seconds + kFileTimeEpoch) * 10000000 +
                                      std::int64_t{milliseconds} * 10000);
}

std::uint64_t Mp4TimeFromUnix(std::int64_t seconds) {
    return static_cast<std::uint64_t>(seconds + kMp4Epoch);
}

std::string WriteSumi(const SegmentInfo& info, std::string& out) {
    // A URI's length counts its terminating NUL too: the length is that of the field after it,
    // and 0 says there is none.
    for (const std::string* uri : {&info.predecessorUri, &info.successorUri}) {
        if (std::string why = TextProblem("a segment URI", *uri); !why.empty())
            return why;
        if (uri->size() + 1 > 0xffff)
            return "a segment URI is longer than its 16-bit length allows";
    }
    BoxWriter w;
    w.Open("sumi");
    PutUuid(w, info.segment);
    PutUuid(w, info.predecessor);
    PutUuid(w, info.successor);
    w.U64(info.startFileTime);
    w.U64(info.duration);
    for (const std::string* uri : {&info.predecessorUri, &info.successorUri})
        w.U16(static_cast<std::uint16_t>(uri->empty() ? 0 : uri->size() + 1));
    for (const std::string* uri : {&info.predecessorUri, &info.successorUri})
        if (!uri->empty())
            w.CString(*uri);
    w.Close();
    out = w.Take();
    return std::string();
}

std::string WriteSuep(const ExportUnitInfo& info, std::string& out) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"the unit name", &info.unitName},
        {"the URL", &info.url},
        {"the MAC", &info.mac},
        {"the operator", &info.operatorName}};
    for (const auto& [what, text] : texts)
        if (std::string why = TextProblem(what, *text); !why.empty())
            return why;
    for (const VideoTrackInfo& track : info.video)
        for (const std::string& text : track.texts)
            if (std::string why = TextProblem("a video track's text", text); !why.empty())
                return why;
    for (const AudioTrackInfo& track : info.audio)
        for (const std::string& text : track.texts)
            if (std::string why = TextProblem("an audio track's text", text); !why.empty())
                return why;
    if (info.video.size() > 255 || info.audio.size() > 255)
        return "more than 255 video or audio tracks cannot be counted in one byte";
    BoxWriter w;
    w.OpenFull("suep", 0, 0);
    w.CString(info.unitName);
    w.CString(info.url);
    w.CString(info.mac);
    w.U64(info.exportTime);
    w.CString(info.operatorName);
    w.U8(static_cast<std::uint8_t>(info.video.size()));
    for (const VideoTrackInfo& track : info.video) {
        PutUuid(w, track.id);
        for (const std::string& text : track.texts)
            w.CString(text);
    }
    w.U8(static_cast<std::uint8_t>(info.audio.size()));
    for (const AudioTrackInfo& track : info.audio) {
        PutUuid(w, track.id);
        for (const std::string& text : track.texts)
            w.CString(text);
    }
    w.Close();
    out = w.Take();
    return std::string();
}

std::string WriteCami(const Uuid& camera, std::string& out) {
    BoxWriter w;
    w.Open("cami");
    PutUuid(w, camera);
    w.Close();
    out = w.Take();
    return std::string();
}

std::string WriteCstb(const std::vector<TrackStart>& entries, std::string& out) {
    if (entries.size() > 0x7fffffff)
        return "too many start times";
    BoxWriter w;
    w.Open("cstb");
    w.U32(static_cast<std::uint32_t>(entries.size()));
    for (const TrackStart& entry : entries) {
        if (entry.trackId > 0x7fffffff || entry.startFileTime > 0x7fffffffffffffff)
            return "a start time or track ID does not fit its signed field";
        w.U32(entry.trackId);
        w.U64(entry.startFileTime);
    }
    w.Close();
    out = w.Take();
    return std::string();
}

std::string ReadSumi(std::string_view box, SegmentInfo& info) {
    std::string_view body;
    if (std::string why = BodyOf(box, "sumi", false, body); !why.empty())
        return why;
    FieldReader r(body);
    SegmentInfo read;
    read.segment = UuidFrom(r.Bytes(16));
    read.predecessor = UuidFrom(r.Bytes(16));
    read.successor = UuidFrom(r.Bytes(16));
    read.startFileTime = r.U64();
    read.duration = r.U64();
    const std::uint16_t lengths[2] = {r.U16(), r.U16()};
    std::string* uris[2] = {&read.predecessorUri, &read.successorUri};
    for (int i = 0; i < 2; ++i) {
        if (lengths[i] == 0)
            continue;
        const std::string_view field = r.Bytes(lengths[i]);
        if (r.failed())
            break;
        if (field.back() != '\0' || field.find('\0') + 1 != field.size())
            return "a segment URI in 'sumi' is not one text ended by its NUL";
        *uris[i] = std::string(field.substr(0, field.size() - 1));
    }
    if (std::string why = Ended(r, "sumi"); !why.empty())
        return why;
    info = std::move(read);
    return std::string();
}

std::string ReadSuep(std::string_view box, ExportUnitInfo& info) {
    std::string_view body;
    std::uint8_t version = 0;
    if (std::string why = BodyOf(box, "suep", true, body, &version); !why.empty())
        return why;
    if (version != 0)
        return "box 'suep' is of version " + std::to_string(version) + ", not 0";
    FieldReader r(body);
    ExportUnitInfo read;
    read.unitName = r.CString();
    read.url = r.CString();
    read.mac = r.CString();
    read.exportTime = r.U64();
    read.operatorName = r.CString();
    const std::size_t videos = r.U8();
    for (std::size_t i = 0; i < videos && !r.failed(); ++i) {
        VideoTrackInfo& track = read.video.emplace_back();
        track.id = UuidFrom(r.Bytes(16));
        for (std::string& text : track.texts)
            text = r.CString();
    }
    const std::size_t audios = r.U8();
    for (std::size_t i = 0; i < audios && !r.failed(); ++i) {
        AudioTrackInfo& track = read.audio.emplace_back();
        track.id = UuidFrom(r.Bytes(16));
        for (std::string& text : track.texts)
            text = r.CString();
    }
    if (std::string why = Ended(r, "suep"); !why.empty())
        return why;
    info = std::move(read);
    return std::string();
}

std::string ReadCami(std::string_view box, Uuid& camera) {
    std::string_view body;
    if (std::string why = BodyOf(box, "cami", false, body); !why.empty())
        return why;
    FieldReader r(body);
    const Uuid read = UuidFrom(r.Bytes(16));
    if (std::string why = Ended(r, "cami"); !why.empty())
        return why;
    camera = read;
    return std::string();
}

std::string ReadCstb(std::string_view box, std::vector<TrackStart>& entries) {
    std::string_view body;
    if (std::string why = BodyOf(box, "cstb", false, body); !why.empty())
        return why;
    FieldReader r(body);
    const std::uint32_t count = r.U32();
    if (count > 0x7fffffff)
        return "box 'cstb' has a negative entry count";
    if (r.Left() / 12 < count)
        return "box 'cstb' is cut short";
    std::vector<TrackStart> read(count);
    for (TrackStart& entry : read) {
        entry.trackId = r.U32();
        entry.startFileTime = r.U64();
    }
    if (std::string why = Ended(r, "cstb"); !why.empty())
        return why;
    entries = std::move(read);
    return std::string();
}

}  // namespace mp4
