#include "mp4/ExportVerifier.h"

#include <algorithm>
#include <string_view>

#include "integrity/ExportSigning.h"
#include "integrity/Sha256.h"
#include "mp4/BoxReader.h"
#include "mp4/BoxWriter.h"
#include "mp4/ExportSignatures.h"

namespace mp4 {
namespace {

constexpr std::uint64_t kSmallBoxLimit = std::uint64_t{16} << 20;
constexpr std::uint64_t kTableLimit = std::uint64_t{1} << 30;
constexpr std::size_t kHashSlice = std::size_t{1} << 20;
constexpr std::string_view kTopLevelAllowed[] = {"ftyp", "free", "skip", "mdat", "moov", "meta"};
constexpr std::string_view kFileMetaAllowed[] = {"hdlr", "sumi", "suep", "ipro"};
constexpr std::string_view kSchiAllowed[] = {"sibo", "cert", "sigC", "auib", "cstb"};

std::string At(const Box& box) {
    return "'" + box.type + "' at offset " + std::to_string(box.offset);
}

class Checker {
  public:
    Checker(FileSource& source, const ExportCheckOptions& options, ExportCheck& out)
        : source_(source), options_(options), out_(out) {}

    std::string Run() {
        if (std::string why = ReadBoxTree(source_, top_); !why.empty())
            return "the file is malformed: " + why;
        if (top_.empty() || top_.front().type != "ftyp")
            return "the file does not start with an 'ftyp' box";
        for (const Box& box : top_)
            if (!TypeAmong(box.type, kTopLevelAllowed))
                return "the file has a top-level '" + box.type + "' box, which is not expected";
        const auto moovs = BoxesOfType(top_, "moov");
        const auto metas = BoxesOfType(top_, "meta");
        if (BoxesOfType(top_, "ftyp").size() != 1 || moovs.size() != 1)
            return "the file has not exactly one 'ftyp' and one 'moov' box";
        if (BoxesOfType(top_, "mdat").empty())
            return "the file has no 'mdat' box";
        if (metas.size() != 1 || top_.back().type != "meta")
            return "the file's 'meta' box is not its last box (or it has not exactly one)";
        if (std::string why = CheckMoov(*moovs.front()); !why.empty())
            return why;
        return CheckFileMeta(top_.back());
    }

  private:
    std::string CheckMoov(const Box& moov) {
        if (moov.Count("mvhd") != 1 || moov.Count("trak") == 0)
            return "the 'moov' has not one 'mvhd' and at least one 'trak'";
        if (const Box* mvex = moov.Child("mvex"); mvex && mvex->Count("mehd") != 1)
            return "the 'mvex' has no 'mehd'";
        for (const Box& trak : moov.children) {
            if (trak.type != "trak")
                continue;
            const Box* tkhd = trak.Child("tkhd");
            if (!tkhd || trak.Count("tkhd") != 1)
                return "the track " + At(trak) + " has not exactly one 'tkhd'";
            std::string bytes;
            if (std::string why = ReadBoxBytes(source_, *tkhd, bytes, kSmallBoxLimit); !why.empty())
                return why;
            FieldReader r(std::string_view(bytes).substr(tkhd->PayloadOffset() - tkhd->offset));
            r.Bytes(tkhd->version == 1 ? 16 : 8);
            const std::uint32_t trackId = r.U32();
            if (r.failed())
                return "the 'tkhd' " + At(*tkhd) + " is cut short";
            if (trak.Count("meta") > 1)
                return "track " + std::to_string(trackId) + " has more than one 'meta'";
            if (const Box* meta = trak.Child("meta")) {
                if (meta->Count("cami") != 1)
                    return "the 'meta' of track " + std::to_string(trackId) +
                           " has not exactly one 'cami'";
                TrackCamera camera{trackId, {}};
                if (std::string why =
                        ReadSmall(*meta->Child("cami"),
                                  [&](std::string_view b) { return ReadCami(b, camera.camera); });
                    !why.empty())
                    return why;
                out_.cameras.push_back(camera);
            }
            const Box* mdia = trak.Child("mdia");
            const Box* minf = mdia ? mdia->Child("minf") : nullptr;
            const Box* stbl = minf ? minf->Child("stbl") : nullptr;
            if (!stbl)
                return "track " + std::to_string(trackId) + " has no sample table";
            if (std::string why = CheckStbl(*stbl, trackId); !why.empty())
                return why;
        }
        return std::string();
    }

    std::string CheckStbl(const Box& stbl, std::uint32_t trackId) {
        const std::string track = "the sample table of track " + std::to_string(trackId);
        for (const Box& child : stbl.children) {
            static constexpr std::string_view kAllowed[] = {"stsd", "stts", "stsc", "stsz", "stz2",
                                                            "stco", "co64", "stss", "ctts", "sdtp"};
            if (!TypeAmong(child.type, kAllowed))
                return track + " has a '" + child.type + "' box, which is not expected";
        }
        for (const char* one : {"stsd", "stts", "stsc"})
            if (stbl.Count(one) != 1)
                return track + " has not exactly one '" + one + "'";
        if (stbl.Count("stsz") + stbl.Count("stz2") != 1)
            return track + " has not exactly one of 'stsz' and 'stz2'";
        if (stbl.Count("stco") + stbl.Count("co64") != 1)
            return track + " has not exactly one of 'stco' and 'co64'";
        for (const char* most : {"stss", "ctts", "sdtp"})
            if (stbl.Count(most) > 1)
                return track + " has more than one '" + most + "'";
        // Every chunk must start in the media: a box moved in front of it would show here.
        const Box& offsets = stbl.Child("stco") ? *stbl.Child("stco") : *stbl.Child("co64");
        std::string bytes;
        if (std::string why = ReadBoxBytes(source_, offsets, bytes, kTableLimit); !why.empty())
            return why;
        FieldReader r(std::string_view(bytes).substr(offsets.PayloadOffset() - offsets.offset));
        const std::uint32_t count = r.U32();
        const bool wide = offsets.type == "co64";
        if (r.Left() / (wide ? 8 : 4) < count)
            return "the '" + offsets.type + "' of track " + std::to_string(trackId) +
                   " is cut short";
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t at = wide ? r.U64() : r.U32();
            bool inMedia = false;
            for (const Box* mdat : BoxesOfType(top_, "mdat"))
                inMedia |= at >= mdat->PayloadOffset() && at < mdat->End();
            if (!inMedia)
                return "chunk " + std::to_string(i + 1) + " of track " + std::to_string(trackId) +
                       " starts at offset " + std::to_string(at) + ", outside the media";
        }
        return std::string();
    }

    std::string CheckFileMeta(const Box& meta) {
        if (meta.headerSize != 8)
            return "the file's 'meta' box has a 64-bit size";
        for (const Box& child : meta.children)
            if (!TypeAmong(child.type, kFileMetaAllowed))
                return "the file's 'meta' has a '" + child.type + "' box, which is not expected";
        if (meta.Count("sumi") != 1 || meta.Count("suep") != 1)
            return "the file's 'meta' has not exactly one 'sumi' and one 'suep'";
        if (meta.Count("hdlr") > 1 || meta.Count("ipro") > 1)
            return "the file's 'meta' has more than one 'hdlr' or 'ipro'";
        if (std::string why = ReadSmall(
                *meta.Child("sumi"), [&](std::string_view b) { return ReadSumi(b, out_.segment); });
            !why.empty())
            return why;
        if (std::string why = ReadSmall(*meta.Child("suep"),
                                        [&](std::string_view b) { return ReadSuep(b, out_.unit); });
            !why.empty())
            return why;
        const Box* ipro = meta.Child("ipro");
        if (!ipro)
            return options_.requireSignature || !options_.trustedCertificateDer.empty()
                       ? "the file is not signed"
                       : std::string();
        return CheckSignatures(meta, *ipro);
    }

    std::string CheckSignatures(const Box& meta, const Box& ipro) {
        if (ipro.headerSize != 8)
            return "the 'ipro' box has a 64-bit size";
        // A byte after the last signature would be signed by nothing.
        if (&ipro != &meta.children.back())
            return "the 'ipro' box is not the last box of the file's 'meta'";
        std::string metaBytes;
        if (std::string why = ReadBoxBytes(source_, meta, metaBytes, kSmallBoxLimit); !why.empty())
            return why;
        const auto in = [&](std::uint64_t offset) {
            return static_cast<std::size_t>(offset - meta.offset);
        };
        FieldReader counted(std::string_view(metaBytes).substr(in(ipro.PayloadOffset())));
        const unsigned count = counted.U16();
        if (counted.failed() || count != ipro.children.size() ||
            ipro.Count("sinf") != ipro.children.size())
            return "the 'ipro' box counts " + std::to_string(count) + " schemes but holds " +
                   std::to_string(ipro.children.size()) + " boxes";
        if (count == 0)
            return "the 'ipro' box holds no signature";
        integrity::Sha256 before;
        if (std::string why = HashRange(0, meta.offset, before); !why.empty())
            return why;
        for (const Box& sinf : ipro.children) {
            const std::string which = "signature " + std::to_string(out_.signatures.size() + 1) +
                                      " of " + std::to_string(count);
            if (sinf.children.size() != 1 || sinf.children.front().type != "schi")
                return "the 'sinf' of " + which + " does not hold exactly one 'schi'";
            const Box& schi = sinf.children.front();
            for (const Box& child : schi.children)
                if (!TypeAmong(child.type, kSchiAllowed))
                    return "the 'schi' of " + which + " has a '" + child.type +
                           "' box, which is not expected";
            for (const char* one : {"sibo", "cert"})
                if (schi.Count(one) != 1)
                    return "the 'schi' of " + which + " has not exactly one '" + one + "'";
            for (const char* most : {"sigC", "auib", "cstb"})
                if (schi.Count(most) > 1)
                    return "the 'schi' of " + which + " has more than one '" + most + "'";
            // The player takes the start of the 'cstb' it reads last.
            if (const Box* cstb = schi.Child("cstb")) {
                out_.starts.clear();
                if (std::string why = ReadCstb(Payload(metaBytes, meta, *cstb, true), out_.starts);
                    !why.empty())
                    return why;
            }
            const Box& sibo = *schi.Child("sibo");
            if (sibo.headerSize != 8)
                return "the 'sibo' of " + which + " has a 64-bit size";
            SignatureCheck signature;
            signature.certificateDer = std::string(Payload(metaBytes, meta, *schi.Child("cert")));
            signature.offset = sibo.PayloadOffset();
            signature.length = sibo.PayloadSize();
            if (out_.signatures.empty() && !options_.trustedCertificateDer.empty() &&
                signature.certificateDer != options_.trustedCertificateDer)
                return "the file is signed with a certificate that is not the trusted one";
            const SignatureSlot slot{in(sinf.End()), in(sibo.PayloadOffset()),
                                     static_cast<std::size_t>(sibo.PayloadSize())};
            const integrity::Sha256Digest digest =
                SignedDigest(before, metaBytes, in(ipro.offset), slot);
            if (const platform::Outcome checked = integrity::CheckRsaPssSignature(
                    signature.certificateDer, digest, std::string(Payload(metaBytes, meta, sibo)));
                !checked)
                return (count == 1 ? std::string("the signature") : which) +
                       " is bad: " + checked.error().text;
            signature.signedHex = integrity::ToHex(digest.data(), digest.size());
            out_.signatures.push_back(std::move(signature));
        }
        const SignatureCheck& first = out_.signatures.front();
        out_.certificateDer = first.certificateDer;
        out_.signatureOffset = first.offset;
        out_.signatureLength = first.length;
        out_.isSigned = true;
        return std::string();
    }

    // The payload of a box inside the meta whose bytes are metaBytes (with its header: whole).
    static std::string_view Payload(const std::string& metaBytes, const Box& meta, const Box& box,
                                    bool whole = false) {
        const std::uint64_t from = whole ? box.offset : box.PayloadOffset();
        return std::string_view(metaBytes).substr(static_cast<std::size_t>(from - meta.offset),
                                                  static_cast<std::size_t>(box.End() - from));
    }

    // The file's bytes [from, to) into hash.
    std::string HashRange(std::uint64_t from, std::uint64_t to, integrity::Sha256& hash) {
        std::string slice(kHashSlice, '\0');
        for (std::uint64_t at = from; at < to;) {
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(kHashSlice, to - at));
            if (!source_.ReadAt(at, slice.data(), count))
                return "the file cannot be read at offset " + std::to_string(at);
            hash.Update(slice.data(), count);
            at += count;
        }
        return std::string();
    }

    template <typename Read>
    std::string ReadSmall(const Box& box, Read read) {
        std::string bytes;
        if (std::string why = ReadBoxBytes(source_, box, bytes, kSmallBoxLimit); !why.empty())
            return why;
        if (std::string why = read(std::string_view(bytes)); !why.empty())
            return why;
        return std::string();
    }

    FileSource& source_;
    const ExportCheckOptions& options_;
    ExportCheck& out_;
    std::vector<Box> top_;
};

}  // namespace

ExportCheck CheckExportFile(const std::string& path, const ExportCheckOptions& options) {
    ExportCheck check;
    FileSource source;
    if (!source.Open(path)) {
        check.problem = "the file " + path + " cannot be opened";
        return check;
    }
    check.problem = Checker(source, options, check).Run();
    if (!check.ok())
        check.isSigned = false;
    return check;
}

}  // namespace mp4
