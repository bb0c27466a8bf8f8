#include "mp4/ExportSignatures.h"

#include "mp4/BoxWriter.h"

namespace mp4 {

integrity::Sha256Digest SignedDigest(const integrity::Sha256& before, std::string_view meta,
                                     std::size_t iproAt, const SignatureSlot& slot) {
    std::string covered(meta.substr(0, slot.sinfEnd));
    auto* bytes = reinterpret_cast<unsigned char*>(covered.data());
    PutU32(bytes, static_cast<std::uint32_t>(slot.sinfEnd));
    PutU32(bytes + iproAt, static_cast<std::uint32_t>(slot.sinfEnd - iproAt));
    covered.replace(slot.siboAt, slot.siboLength, slot.siboLength, '\0');
    integrity::Sha256 hash;
    hash.CopyFrom(before);
    hash.Update(covered.data(), covered.size());
    return hash.Final();
}

std::string SignatureBox(std::string_view cstb, std::size_t signatureLength,
                         std::string_view certificateDer, std::size_t& siboAt) {
    BoxWriter w;
    w.Open("sinf");
    w.Open("schi");
    w.Bytes(cstb);
    w.Open("sibo");
    siboAt = w.Here();
    w.Bytes(std::string(signatureLength, '\0'));
    w.Close();
    w.Open("cert");
    w.Bytes(certificateDer);
    w.Close();
    w.Close();
    w.Close();
    return w.Take();
}

std::string SignSlot(const integrity::Sha256& before, std::string& meta, std::size_t iproAt,
                     const SignatureSlot& slot, const std::string& privatePem,
                     integrity::Sha256Digest* signedDigest) {
    const integrity::Sha256Digest digest = SignedDigest(before, meta, iproAt, slot);
    const auto signature = integrity::RsaPssSignDigest(privatePem, digest);
    if (!signature)
        return signature.error().text;
    if (signature->size() != slot.siboLength)
        return "the signature has " + std::to_string(signature->size()) + " bytes, not " +
               std::to_string(slot.siboLength);
    meta.replace(slot.siboAt, slot.siboLength, *signature);
    if (signedDigest)
        *signedDigest = digest;
    return std::string();
}

}  // namespace mp4
