#include "mp4/ReceivingStamp.h"

#include "mp4/BoxReader.h"
#include "mp4/BoxWriter.h"
#include "mp4/CopyHashing.h"
#include "mp4/ExportSignatures.h"
#include "mp4/ExportVerifier.h"
#include "mp4/StampedVideos.h"
#include "platform/AtomicFile.h"

namespace mp4 {
namespace {

constexpr std::uint64_t kStampMetaLimit = std::uint64_t{16} << 20;

platform::Error Fail(platform::Error::Kind kind, const std::string& path, const std::string& why) {
    return platform::Error{kind, path + ": " + why, ""};
}

}  // namespace

platform::Expected<bool> StampExportFile(const std::string& path,
                                         const integrity::ExportKey& receiver) {
    using Kind = platform::Error::Kind;
    const ExportCheck check = CheckExportFile(path);
    if (!check.ok())
        return Fail(check.problem.find("cannot be opened") != std::string::npos ? Kind::kNotFound
                                                                                : Kind::kDamaged,
                    path, check.problem);
    if (!check.isSigned)
        return Fail(Kind::kRefused, path, "it is not signed, so it has no place for a stamp");
    if (check.signatures.size() != kExportSignatures)
        return Fail(Kind::kRefused, path,
                    "it carries " + std::to_string(check.signatures.size()) +
                        " signature(s): it was made without a place for a stamp");
    if (receiver.certificateDer == check.certificateDer)
        return Fail(Kind::kRefused, path,
                    "the receiving key is the one that signed it, so a stamp by it would not show");
    if (check.Stamped()) {
        if (check.signatures.back().certificateDer == receiver.certificateDer)
            return false;
        return Fail(Kind::kRefused, path,
                    "it carries the receiving stamp of " +
                        SignerText(check.signatures.back().certificateDer) +
                        " already, which a second would replace");
    }
    const std::size_t signatureLength = integrity::RsaSignatureLength(receiver.privatePem);
    if (signatureLength == 0)
        return Fail(Kind::kFailed, path, "the receiving key is not an RSA private key");

    FileSource source;
    std::vector<Box> top;
    if (!source.Open(path) || !ReadBoxTree(source, top).empty() || top.empty())
        return Fail(Kind::kDamaged, path, "it cannot be read again");
    const Box& meta = top.back();
    const Box& ipro = *meta.Child("ipro");
    const Box& first = ipro.children.front();
    // What stays: the file to the end of the exporter's signature; the stamp follows it.
    std::string metaBytes;
    if (std::string why = ReadBoxBytes(source, meta, metaBytes, kStampMetaLimit); !why.empty())
        return Fail(Kind::kDamaged, path, why);
    const std::size_t iproAt = static_cast<std::size_t>(ipro.offset - meta.offset);
    metaBytes.resize(static_cast<std::size_t>(first.End() - meta.offset));
    std::size_t siboAt = 0;
    const std::size_t stampAt = metaBytes.size();
    metaBytes += SignatureBox({}, signatureLength, receiver.certificateDer, siboAt);
    auto* bytes = reinterpret_cast<unsigned char*>(metaBytes.data());
    PutU32(bytes, static_cast<std::uint32_t>(metaBytes.size()));
    PutU32(bytes + iproAt, static_cast<std::uint32_t>(metaBytes.size() - iproAt));

    platform::AtomicFile out;
    if (const platform::Status created = out.Create(path); !created)
        return Fail(Kind::kFailed, path, "its stamped copy cannot be made beside it");
    integrity::Sha256 before;
    const CopyResult copied = CopyHashing(source, out, meta.offset, before);
    if (copied.stop == CopyResult::Stop::kRead)
        return Fail(Kind::kDamaged, path,
                    "it cannot be read at offset " + std::to_string(copied.at));
    if (copied.stop == CopyResult::Stop::kWrite)
        return Fail(Kind::kFailed, path, "its stamped copy cannot be written (is the disk full?)");
    const SignatureSlot stamp{metaBytes.size(), stampAt + siboAt, signatureLength};
    if (std::string why = SignSlot(before, metaBytes, iproAt, stamp, receiver.privatePem);
        !why.empty())
        return Fail(Kind::kFailed, path, "the stamp cannot be signed: " + why);
    if (!out.Write(metaBytes.data(), metaBytes.size()))
        return Fail(Kind::kFailed, path, "its stamped copy cannot be written (is the disk full?)");
    // The stamped copy replaces evidence: it takes the name only once both signatures hold.
    const ExportCheck stamped = CheckExportFile(out.tempHostPath());
    if (!stamped.ok() || !stamped.Stamped() ||
        stamped.signatures.front().signedHex != check.signatures.front().signedHex)
        return Fail(
            Kind::kFailed, path,
            "its stamped copy does not check (" +
                (stamped.ok() ? std::string("the signatures are not as made") : stamped.problem) +
                "); the file is left as it was");
    if (!out.Commit(true))
        return Fail(Kind::kFailed, path, "its stamped copy cannot take its name");
    return true;
}

}  // namespace mp4
