#pragma once
// The signatures of an export file, each in its own 'sinf' of the file-level 'meta''s 'ipro'.
// A file is signed twice as it is made, both times by its exporter: the first signature covers
// the file up to the end of its own 'sinf' (with the sizes of 'meta' and 'ipro' read as if they
// ended there), the second the whole file. The count of signatures is covered by the first and
// so cannot change later; the second is the place of a receiving stamp, which replaces it with
// the receiver's and leaves the first valid.
#include <cstddef>
#include <string>
#include <string_view>

#include "integrity/ExportSigning.h"
#include "integrity/Sha256.h"

namespace mp4 {

// The signatures every file gets: its exporter's, and the place of a receiving stamp.
constexpr unsigned kExportSignatures = 2;

// Where one signature lies, as offsets into the bytes of the file-level 'meta'.
struct SignatureSlot {
    std::size_t sinfEnd = 0;                 // the end of its 'sinf'
    std::size_t siboAt = 0, siboLength = 0;  // its 'sibo' payload
};

// The digest a signature signs. before: the file's bytes in front of its 'meta', hashed (it is
// not changed); meta: the meta's bytes, whose 'ipro' is at iproAt, holding the slot.
integrity::Sha256Digest SignedDigest(const integrity::Sha256& before, std::string_view meta,
                                     std::size_t iproAt, const SignatureSlot& slot);

// A 'sinf' for one signature: a 'schi' holding cstb (when given: a whole box), a 'sibo' of
// signatureLength zeros and a 'cert' with the DER certificate. siboAt: where the 'sibo' payload
// lies in what is returned.
std::string SignatureBox(std::string_view cstb, std::size_t signatureLength,
                         std::string_view certificateDer, std::size_t& siboAt);

// Signs the slot in meta (at its place) with key: "" or why not.
std::string SignSlot(const integrity::Sha256& before, std::string& meta, std::size_t iproAt,
                     const SignatureSlot& slot, const std::string& privatePem,
                     integrity::Sha256Digest* signedDigest = nullptr);

}  // namespace mp4
