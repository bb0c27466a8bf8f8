#include "mp4/ExportFinisher.h"

#include <algorithm>
#include <string_view>

#include "integrity/Sha256.h"
#include "mp4/BoxReader.h"
#include "mp4/BoxWriter.h"
#include "mp4/CopyHashing.h"
#include "mp4/ExportSignatures.h"
#include "platform/AtomicFile.h"
#include "platform/Types.h"

namespace mp4 {
namespace {

// A 'moov' holds the sample tables, some bytes per picture: a gigabyte is far beyond any export.
constexpr std::uint64_t kMoovLimit = std::uint64_t{1} << 30;
// Sample groups and sub-sample tables in 'stbl' make the format's reference player reject the
// file as unexpected; the encoder writes a roll group for AAC, which only tells a decoder how far
// to start before a seek point and which players do without.
constexpr std::string_view kDroppedFromStbl[] = {"sgpd", "sbgp", "subs"};
// What may sit at the top of the encoder's file; the finisher adds the 'meta' itself.
constexpr std::string_view kTopLevelFromEncoder[] = {"ftyp", "free", "skip", "mdat", "moov"};

class MoovRewriter {
  public:
    MoovRewriter(const std::string& bytes, const Box& moov, const FinishRequest& request)
        : bytes_(bytes), base_(moov.offset), moov_(moov), request_(request) {}

    // The new 'moov' in out; why when the tracks are not as the request says.
    std::string Rewrite(std::string& out, std::vector<std::uint32_t>& trackIds) {
        std::vector<const TrackCamera*> used;
        BoxWriter w;
        w.Open("moov");
        for (const Box& child : moov_.children) {
            if (child.type != "trak") {
                w.Bytes(Of(child));
                continue;
            }
            std::uint32_t id = 0;
            if (std::string why = TrackId(child, id); !why.empty())
                return why;
            if (std::find(trackIds.begin(), trackIds.end(), id) != trackIds.end())
                return "two tracks have the ID " + std::to_string(id);
            trackIds.push_back(id);
            if (child.Count("meta") != 0)
                return "track " + std::to_string(id) + " already has a 'meta' box";
            const TrackCamera* camera = nullptr;
            for (const TrackCamera& c : request_.cameras)
                if (c.trackId == id)
                    camera = &c;
            if (camera)
                used.push_back(camera);
            WriteTrak(child, camera, w);
        }
        w.Close();
        for (const TrackCamera& c : request_.cameras)
            if (std::find(used.begin(), used.end(), &c) == used.end())
                return "there is no track " + std::to_string(c.trackId) + " for camera " +
                       UuidText(c.camera);
        out = w.Take();
        return std::string();
    }

  private:
    std::string_view Of(const Box& box) const {
        return std::string_view(bytes_).substr(box.offset - base_, box.size);
    }

    std::string TrackId(const Box& trak, std::uint32_t& id) const {
        const Box* tkhd = trak.Child("tkhd");
        if (!tkhd || trak.Count("tkhd") != 1)
            return "a track at offset " + std::to_string(trak.offset) +
                   " has not exactly one 'tkhd'";
        FieldReader r(
            std::string_view(bytes_).substr(tkhd->PayloadOffset() - base_, tkhd->PayloadSize()));
        r.Bytes(tkhd->version == 1 ? 16 : 8);  // creation and modification times
        id = r.U32();
        if (r.failed() || id == 0)
            return "the 'tkhd' at offset " + std::to_string(tkhd->offset) + " has no track ID";
        return std::string();
    }

    // The track with its camera's 'meta' before its media, where the box order of the format
    // puts it, and its sample table without the boxes the reference player refuses.
    void WriteTrak(const Box& trak, const TrackCamera* camera, BoxWriter& w) const {
        w.Open("trak");
        bool metaWritten = false;
        for (const Box& child : trak.children) {
            if (child.type == "mdia" && camera && !metaWritten) {
                WriteTrackMeta(camera->camera, w);
                metaWritten = true;
            }
            if (child.type == "mdia")
                WriteDropping(child, w);
            else
                w.Bytes(Of(child));
        }
        if (camera && !metaWritten)
            WriteTrackMeta(camera->camera, w);
        w.Close();
    }

    void WriteDropping(const Box& box, BoxWriter& w) const {
        w.Open(box.type);
        for (const Box& child : box.children) {
            if (box.type == "stbl" && TypeAmong(child.type, kDroppedFromStbl))
                continue;
            if (child.type == "minf" || child.type == "stbl")
                WriteDropping(child, w);
            else
                w.Bytes(Of(child));
        }
        w.Close();
    }

    static void WriteTrackMeta(const Uuid& camera, BoxWriter& w) {
        w.OpenFull("meta", 0, 0);
        WriteHandler(w);
        std::string cami;
        WriteCami(camera, cami);
        w.Bytes(cami);
        w.Close();
    }

  public:
    static void WriteHandler(BoxWriter& w) {
        w.OpenFull("hdlr", 0, 0);
        w.U32(0);  // pre_defined
        w.Bytes(kMetaHandlerType);
        for (int i = 0; i < 3; ++i)
            w.U32(0);
        w.CString("");
        w.Close();
    }

  private:
    const std::string& bytes_;
    std::uint64_t base_;
    const Box& moov_;
    const FinishRequest& request_;
};

// The file-level 'meta', with its signatures' places when signed (iproAt: where its 'ipro' is).
std::string WriteFileMeta(const FinishRequest& request, const std::vector<std::uint32_t>& trackIds,
                          std::size_t signatureLength, std::string& out, std::size_t& iproAt,
                          std::vector<SignatureSlot>& slots) {
    std::string sumi, suep;
    if (std::string why = WriteSumi(request.segment, sumi); !why.empty())
        return why;
    if (std::string why = WriteSuep(request.unit, suep); !why.empty())
        return why;
    BoxWriter w;
    w.OpenFull("meta", 0, 0);
    MoovRewriter::WriteHandler(w);
    w.Bytes(sumi);
    w.Bytes(suep);
    slots.clear();
    if (request.signer) {
        const std::int64_t start = static_cast<std::int64_t>(request.segment.startFileTime);
        if (request.clockOffsetTicks > start)
            return "the recorder's clock offset puts the segment's start before 1601";
        std::vector<TrackStart> starts;
        for (const std::uint32_t id : trackIds)
            starts.push_back({id, static_cast<std::uint64_t>(start - request.clockOffsetTicks)});
        std::string cstb;
        if (std::string why = WriteCstb(starts, cstb); !why.empty())
            return why;
        iproAt = w.Here();
        w.OpenFull("ipro", 0, 0);
        w.U16(kExportSignatures);
        // The corrected start goes with the exporter's signature only: a stamp says nothing of
        // the recording's time.
        for (unsigned i = 0; i < kExportSignatures; ++i) {
            std::size_t siboAt = 0;
            const std::size_t at = w.Here();
            w.Bytes(SignatureBox(i == 0 ? std::string_view(cstb) : std::string_view(),
                                 signatureLength, request.signer->certificateDer, siboAt));
            slots.push_back({w.Here(), at + siboAt, signatureLength});
        }
        w.Close();
    }
    w.Close();
    out = w.Take();
    // The reference player reads these sizes as 32 bits, and the writer gave a 64-bit one to a
    // box that outgrew them.
    if (GetU32(reinterpret_cast<const unsigned char*>(out.data())) == 1)
        return "the file's 'meta' box is larger than 4 GiB";
    return std::string();
}

std::string CheckLayout(const std::vector<Box>& top, const std::string& path) {
    const std::string file = "the encoded file " + path;
    if (top.empty() || top.front().type != "ftyp")
        return file + " does not start with an 'ftyp' box";
    const auto moovs = BoxesOfType(top, "moov");
    if (BoxesOfType(top, "ftyp").size() != 1 || moovs.size() != 1)
        return file + " has not exactly one 'ftyp' and one 'moov' box";
    const auto mdats = BoxesOfType(top, "mdat");
    if (mdats.empty())
        return file + " has no 'mdat' box";
    const Box& moov = *moovs.front();
    for (const Box* mdat : mdats)
        if (mdat->offset > moov.offset)
            return file + " has its 'moov' before the media ('mdat' at offset " +
                   std::to_string(mdat->offset) +
                   "): the encoder must write it last, since boxes added before the media " +
                   "would move it away from the chunk offsets";
    for (const Box& box : top)
        if (!TypeAmong(box.type, kTopLevelFromEncoder))
            return file + " has a top-level '" + box.type + "' box, which an export may not have";
    if (&moov != &top.back())
        return file + " has boxes after its 'moov'";
    if (moov.Count("mvhd") != 1 || moov.Count("trak") == 0)
        return file + " has not one 'mvhd' and at least one 'trak' in its 'moov'";
    if (moov.Count("mvex") != 0)
        return file + " is fragmented ('mvex' in 'moov'), which an export is not";
    return std::string();
}

std::string WriteFailure(const std::string& finalPath, const platform::Status& failed) {
    return failed.code() == platform::ERROR_DISK_FULL
               ? "the target is full: " + finalPath + " could not be written"
               : "the file " + finalPath + " could not be written";
}

}  // namespace

platform::Outcome FinishExport(const std::string& encodedPath, const std::string& finalPath,
                               const FinishRequest& request, std::string* signedPartHex) {
    using Kind = platform::Error::Kind;
    const auto fail = [](Kind kind, std::string text) {
        return platform::Error{kind, std::move(text), ""};
    };
    const auto damaged = [&](const std::string& why) {
        return fail(Kind::kDamaged, "the encoded file " + encodedPath + ": " + why);
    };
    FileSource source;
    if (!source.Open(encodedPath))
        return fail(Kind::kNotFound, "the encoded file " + encodedPath + " cannot be opened");
    std::vector<Box> top;
    if (std::string why = ReadBoxTree(source, top); !why.empty())
        return fail(Kind::kDamaged, "the encoded file " + encodedPath + " is malformed: " + why);
    if (std::string why = CheckLayout(top, encodedPath); !why.empty())
        return fail(Kind::kDamaged, why);
    const Box& moov = top.back();

    std::size_t signatureLength = 0;
    if (request.signer) {
        signatureLength = integrity::RsaSignatureLength(request.signer->privatePem);
        if (signatureLength == 0)
            return fail(Kind::kFailed,
                        "the export signing key cannot be read (not an RSA private key)");
        if (request.signer->certificateDer.empty())
            return fail(Kind::kFailed, "the export signing key has no certificate");
    }

    std::string moovBytes;
    if (std::string why = ReadBoxBytes(source, moov, moovBytes, kMoovLimit); !why.empty())
        return damaged(why);
    std::string tail;
    std::vector<std::uint32_t> trackIds;
    if (std::string why = MoovRewriter(moovBytes, moov, request).Rewrite(tail, trackIds);
        !why.empty())
        return damaged(why);
    std::string meta;
    std::size_t iproAt = 0;
    std::vector<SignatureSlot> slots;
    if (std::string why = WriteFileMeta(request, trackIds, signatureLength, meta, iproAt, slots);
        !why.empty())
        return fail(Kind::kRefused, why);

    platform::AtomicFile out;
    if (const platform::Status created = out.Create(finalPath); !created)
        return fail(Kind::kFailed, WriteFailure(finalPath, created));
    // The media is copied as it is, hashed on its way: every signature covers it.
    integrity::Sha256 hash;
    const CopyResult copied = CopyHashing(source, out, moov.offset, hash);
    if (copied.stop == CopyResult::Stop::kRead)
        return fail(Kind::kDamaged, "the encoded file " + encodedPath + " cannot be read");
    if (copied.stop == CopyResult::Stop::kWrite)
        return fail(Kind::kFailed, WriteFailure(finalPath, copied.written));
    hash.Update(tail.data(), tail.size());
    // In file order: each signature covers those before it.
    for (std::size_t i = 0; i < slots.size(); ++i) {
        integrity::Sha256Digest digest;
        if (std::string why =
                SignSlot(hash, meta, iproAt, slots[i], request.signer->privatePem, &digest);
            !why.empty())
            return fail(Kind::kFailed, why);
        if (i == 0 && signedPartHex)
            *signedPartHex = integrity::ToHex(digest.data(), digest.size());
    }
    tail += meta;
    platform::Status written = out.Write(tail.data(), tail.size());
    if (written)
        written = out.Commit(request.durable);
    if (!written)
        return fail(Kind::kFailed, WriteFailure(finalPath, written));
    return platform::Succeeded();
}

}  // namespace mp4
