#include "mp4/BoxReader.h"

#include <cstring>
#include <string_view>

namespace mp4 {
namespace {

// Boxes that hold boxes and nothing else (meta and ipro after their version and flags, ipro
// after its count too). Sample descriptions and data references are left whole: their entries
// start with fields of their own, and nothing we check lies inside them.
constexpr std::string_view kContainers[] = {"moov", "trak", "mdia", "minf", "stbl", "dinf",
                                            "edts", "udta", "mvex", "moof", "traf", "mfra",
                                            "meta", "ipro", "sinf", "schi"};
constexpr std::string_view kFullBoxes[] = {
    "mvhd", "tkhd", "mdhd", "hdlr", "vmhd", "smhd", "nmhd", "sthd", "stsd", "stts",
    "ctts", "stss", "stsc", "stsz", "stz2", "stco", "co64", "sdtp", "elst", "dref",
    "mehd", "trex", "mfhd", "tfhd", "trun", "tfdt", "meta", "ipro", "suep", "sgpd",
    "sbgp", "subs", "saiz", "saio", "cslg", "schm", "iinf", "iloc", "pitm", "sidx"};
constexpr std::size_t kMaxBoxes = 1000000;

std::uint32_t U32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint64_t U64(const unsigned char* p) {
    return std::uint64_t{U32(p)} << 32 | U32(p + 4);
}

// A type as it can be shown: a damaged one may hold any byte.
std::string Shown(const std::string& type) {
    std::string out = "'";
    for (const unsigned char c : type) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out + "'";
}

class TreeReader {
  public:
    explicit TreeReader(ByteSource& source) : source_(source) {}

    // Reads the boxes of [start, end) of a parent (nullptr: the file) into out.
    std::string ReadRange(std::uint64_t start, std::uint64_t end, const Box* parent, int depth,
                          std::vector<Box>& out) {
        if (depth > kMaxBoxDepth)
            return "boxes are nested deeper than " + std::to_string(kMaxBoxDepth) +
                   " levels at offset " + std::to_string(start);
        const std::string where = parent ? "its parent " + Shown(parent->type) : "the file";
        std::uint64_t at = start;
        while (at < end) {
            const std::uint64_t left = end - at;
            if (left < 8) {
                unsigned char tail[8] = {};
                // A zero word ends a user data box in files of the older QuickTime kind.
                if (left == 4 && parent && parent->type == "udta" && source_.ReadAt(at, tail, 4) &&
                    U32(tail) == 0)
                    return std::string();
                return std::to_string(left) + " bytes at offset " + std::to_string(at) +
                       " at the end of " + where + " are too few for a box header";
            }
            if (++count_ > kMaxBoxes)
                return "more than " + std::to_string(kMaxBoxes) + " boxes";
            unsigned char head[32];
            if (!source_.ReadAt(at, head, 8))
                return "the box header at offset " + std::to_string(at) + " cannot be read";
            Box box;
            box.type.assign(reinterpret_cast<const char*>(head + 4), 4);
            box.offset = at;
            box.headerSize = 8;
            const std::uint32_t size32 = U32(head);
            if (size32 == 1) {
                if (left < 16)
                    return "box " + Shown(box.type) + " at offset " + std::to_string(at) +
                           " has a 64-bit size cut off by the end of " + where;
                if (!source_.ReadAt(at + 8, head + 8, 8))
                    return "the box header at offset " + std::to_string(at) + " cannot be read";
                box.size = U64(head + 8);
                box.headerSize = 16;
            } else if (size32 == 0) {
                box.size = left;  // to the end of the file (or of the parent)
            } else {
                box.size = size32;
            }
            if (box.type == "uuid")
                box.headerSize += 16;
            if (box.size < box.headerSize)
                return "box " + Shown(box.type) + " at offset " + std::to_string(at) +
                       " has size " + std::to_string(box.size) + ", below its header of " +
                       std::to_string(box.headerSize) + " bytes";
            if (box.size > left)
                return "box " + Shown(box.type) + " at offset " + std::to_string(at) + " (size " +
                       std::to_string(box.size) + ") runs past the end of " + where +
                       " at offset " + std::to_string(end);
            box.full = TypeAmong(box.type, kFullBoxes);
            if (box.full) {
                if (box.size < box.headerSize + 4u)
                    return "full box " + Shown(box.type) + " at offset " + std::to_string(at) +
                           " is too short for its version and flags";
                unsigned char vf[4];
                if (!source_.ReadAt(at + box.headerSize, vf, 4))
                    return "the box header at offset " + std::to_string(at) + " cannot be read";
                box.version = vf[0];
                box.flags = U32(vf) & 0xffffff;
            }
            if (TypeAmong(box.type, kContainers)) {
                std::uint64_t first = box.PayloadOffset();
                if (box.type == "ipro") {
                    if (box.PayloadSize() < 2)
                        return "box 'ipro' at offset " + std::to_string(at) +
                               " is too short for its count";
                    first += 2;
                }
                if (std::string why = ReadRange(first, box.End(), &box, depth + 1, box.children);
                    !why.empty())
                    return why;
            }
            at = box.End();
            out.push_back(std::move(box));
        }
        return std::string();
    }

  private:
    ByteSource& source_;
    std::size_t count_ = 0;
};

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, void* out, std::size_t count) {
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        return false;
    std::memcpy(out, bytes_.data() + offset, count);
    return true;
}

bool FileSource::Open(const std::string& path) {
    if (!file_.Open(path, platform::File::kRead))
        return false;
    const long long length = file_.Length();
    if (length < 0) {
        file_.Close();
        return false;
    }
    size_ = static_cast<std::uint64_t>(length);
    return true;
}

bool FileSource::ReadAt(std::uint64_t offset, void* out, std::size_t count) {
    if (offset > size_ || count > size_ - offset)
        return false;
    auto* bytes = static_cast<unsigned char*>(out);
    while (count > 0) {
        const long long got = file_.ReadAt(bytes, count, offset);
        if (got <= 0)
            return false;
        bytes += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

const Box* Box::Child(const char* childType) const {
    for (const Box& child : children)
        if (child.type == childType)
            return &child;
    return nullptr;
}

std::size_t Box::Count(const char* childType) const {
    std::size_t n = 0;
    for (const Box& child : children)
        n += child.type == childType;
    return n;
}

std::string ReadBoxTree(ByteSource& source, std::vector<Box>& top) {
    top.clear();
    TreeReader reader(source);
    std::string why = reader.ReadRange(0, source.Size(), nullptr, 0, top);
    if (!why.empty())
        top.clear();
    return why;
}

std::string ReadBoxTree(const std::string& path, std::vector<Box>& top) {
    FileSource source;
    if (!source.Open(path)) {
        top.clear();
        return "the file " + path + " cannot be opened";
    }
    return ReadBoxTree(source, top);
}

std::string ReadBoxBytes(ByteSource& source, const Box& box, std::string& out,
                         std::uint64_t limit) {
    if (box.size > limit)
        return "box " + Shown(box.type) + " at offset " + std::to_string(box.offset) + " is " +
               std::to_string(box.size) + " bytes, more than the " + std::to_string(limit) +
               " it may have";
    out.assign(static_cast<std::size_t>(box.size), '\0');
    if (!source.ReadAt(box.offset, out.data(), out.size())) {
        out.clear();
        return "box " + Shown(box.type) + " at offset " + std::to_string(box.offset) +
               " cannot be read";
    }
    return std::string();
}

std::vector<const Box*> BoxesOfType(const std::vector<Box>& boxes, const char* type) {
    std::vector<const Box*> found;
    for (const Box& box : boxes)
        if (box.type == type)
            found.push_back(&box);
    return found;
}

}  // namespace mp4
