// The box tree as the headers give it: sizes of every form, full boxes, the containers we look
// into; a tree that does not add up is refused with where it fails, and no damage crashes it.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "mp4/BoxReader.h"
#include "mp4/BoxWriter.h"
#include "share/Has.h"

using namespace mp4;

namespace {

// A box around payload; a full box unless version is negative.
std::string Full(const std::string& type, int version, std::uint32_t flags,
                 const std::string& payload) {
    BoxWriter w;
    version < 0 ? w.Open(type) : w.OpenFull(type, static_cast<std::uint8_t>(version), flags);
    w.Bytes(payload);
    w.Close();
    return w.Take();
}

std::string Plain(const std::string& type, const std::string& payload) {
    return Full(type, -1, 0, payload);
}

std::string U32Bytes(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string Why(const std::string& bytes) {
    MemorySource source(bytes);
    std::vector<Box> top;
    const std::string why = ReadBoxTree(source, top);
    EXPECT_TRUE(why.empty() || top.empty()) << why;
    return why;
}

}  // namespace

TEST(BoxReader, ReadsEverySizeFormFullBoxesAndNestedContainers) {
    // ftyp; moov { trak { meta(full) { hdlr(full) cami } } }; mdat with a 64-bit size;
    // meta(full) { ipro(full, count) { sinf { schi { sibo } } } }; free to the end (size 0).
    std::string bytes =
        Plain("ftyp", "isom") +
        Plain("moov", Plain("trak", Full("meta", 0, 0,
                                         Full("hdlr", 1, 0x000203, std::string(20, 'h')) +
                                             Plain("cami", std::string(16, 'c')))));
    const std::uint64_t mdatAt = bytes.size();
    bytes += U32Bytes(1) + "mdat" + U32Bytes(0) + U32Bytes(16 + 5) + "media";
    bytes += Full("meta", 0, 0,
                  Full("ipro", 0, 0,
                       std::string("\0\1", 2) +
                           Plain("sinf", Plain("schi", Plain("sibo", std::string(8, 's'))))));
    const std::uint64_t freeAt = bytes.size();
    bytes += U32Bytes(0) + "free" + "anything at all";

    MemorySource source(bytes);
    std::vector<Box> top;
    ASSERT_EQ(ReadBoxTree(source, top), "");
    ASSERT_EQ(top.size(), 5u);
    EXPECT_EQ(top[0].type, "ftyp");
    const Box& meta = top[1].children.at(0).children.at(0);
    EXPECT_EQ(meta.type, "meta");
    EXPECT_TRUE(meta.full);
    ASSERT_EQ(meta.children.size(), 2u);
    const Box &hdlr = meta.children[0], &cami = meta.children[1];
    EXPECT_EQ(std::tuple(hdlr.type, hdlr.version, hdlr.flags, hdlr.PayloadSize()),
              std::tuple("hdlr", 1, 0x000203u, 20u));
    EXPECT_EQ(std::tuple(cami.type, cami.PayloadSize()), std::tuple("cami", 16u));
    EXPECT_EQ(std::tuple(top[2].type, top[2].offset, top[2].headerSize, top[2].size),
              std::tuple("mdat", mdatAt, 16u, 21u));
    const Box& sibo = top[3].Child("ipro")->Child("sinf")->Child("schi")->children.at(0);
    EXPECT_EQ(std::tuple(sibo.type, sibo.PayloadSize()), std::tuple("sibo", 8u));
    std::string siboBytes;
    ASSERT_EQ(ReadBoxBytes(source, sibo, siboBytes, 100), "");
    EXPECT_EQ(siboBytes.substr(8), std::string(8, 's'));
    EXPECT_NE(ReadBoxBytes(source, sibo, siboBytes, 10), "");
    EXPECT_EQ(std::tuple(top[4].type, top[4].offset, top[4].End()),
              std::tuple("free", freeAt, bytes.size()));
}

TEST(BoxReader, RefusesTreesThatDoNotAddUpAndSaysWhere) {
    const std::string ftyp = Plain("ftyp", "isom");
    // A child running past its parent.
    std::string past = Plain("moov", Plain("trak", "12345678"));
    past[11] = static_cast<char>(past[11] + 1);  // trak's size one more than moov holds
    EXPECT_HAS(Why(ftyp + past), "runs past the end of its parent 'moov'");
    // A size below its header, and a 64-bit size below its longer header.
    EXPECT_HAS(Why(ftyp + U32Bytes(7) + "free"), "below its header");
    EXPECT_HAS(Why(ftyp + U32Bytes(1) + "mdat" + U32Bytes(0) + U32Bytes(12)), "below its header");
    // A file cut inside a box, or inside a header.
    EXPECT_HAS(Why(ftyp + Plain("mdat", "media").substr(0, 10)), "past the end of the file");
    EXPECT_HAS(Why(ftyp + std::string(3, '\0')), "too few for a box header");
    EXPECT_HAS(Why(ftyp + U32Bytes(1) + "mdat" + "\0\0"), "64-bit size cut off");
    // A full box too short for its version and flags, ipro too short for its count.
    EXPECT_HAS(Why(Plain("meta", "")), "version and flags");
    EXPECT_HAS(Why(Plain("ipro", std::string(5, '\0'))), "count");
    // Containers nested without end.
    std::string deep = Plain("free", "");
    for (int i = 0; i < kMaxBoxDepth + 2; ++i)
        deep = Plain("moov", deep);
    EXPECT_HAS(Why(deep), "nested deeper");
    // A damaged type is shown as bytes, not printed raw.
    EXPECT_HAS(Why(U32Bytes(4) + "\x01\x02" + "ab"), "'\\x01\\x02ab'");
    // The QuickTime end mark of a user data box is no box, and not an error.
    EXPECT_EQ(Why(Plain("moov", Plain("udta", Plain("free", "") + U32Bytes(0)))), "");
    EXPECT_NE(Why(Plain("moov", Plain("trak", Plain("free", "") + U32Bytes(0)))), "");
}

TEST(BoxReader, RandomDamageNeverCrashesAndIsEitherReadOrRefused) {
    std::string file = Plain("ftyp", "isom0000") + Plain("mdat", std::string(300, 'x'));
    const std::string trak = Plain(
        "trak",
        Full("tkhd", 0, 7, std::string(80, '\0')) +
            Plain("mdia",
                  Plain("minf", Plain("stbl", Full("stco", 0, 0, U32Bytes(1) + U32Bytes(16))))));
    file += Plain("moov", trak + trak + trak);
    std::mt19937 random(25);
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = file;
        for (int n = 0; n < 3; ++n)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        MemorySource source(damaged);
        std::vector<Box> top;
        const std::string why = ReadBoxTree(source, top);
        // What is read adds up: each box lies inside its parent and the top fills the file.
        std::uint64_t end = 0;
        for (const Box& box : top) {
            EXPECT_EQ(box.offset, end);
            end = box.End();
        }
        EXPECT_TRUE(why.empty() ? end == damaged.size() : top.empty());
    }
}
