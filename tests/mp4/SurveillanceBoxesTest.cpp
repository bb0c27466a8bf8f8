// The segment, unit, camera and start-time boxes: every field read back as written, laid out
// byte for byte as the format has them, and refused when they cannot be written or read whole.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "mp4/SurveillanceBoxes.h"

using namespace mp4;

namespace {

Uuid Filled(std::uint8_t first) {
    Uuid id{};
    for (std::size_t i = 0; i < id.size(); ++i)
        id[i] = static_cast<std::uint8_t>(first + i);
    return id;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes)
        out += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return out;
}

std::string Bytes(const Uuid& id) {
    return std::string(id.begin(), id.end());
}

}  // namespace

TEST(TimesAndUuids, TimesCountFromTheirEpochsAndUuidsCarryTheirKind) {
    // 1970-01-01 is 11644473600 s after 1601-01-01; 2026-01-06 10:00:01.250 UTC is Unix
    // 1767693601 (worked out with another calendar than ours).
    EXPECT_EQ(FileTimeFromUnix(0, 0), 116444736000000000u);
    EXPECT_EQ(FileTimeFromUnix(1767693601, 250), 134121672012500000u);
    EXPECT_EQ(Mp4TimeFromUnix(0), 2082844800u);
    EXPECT_EQ(Mp4TimeFromUnix(1767693601), 3850538401u);

    std::set<Uuid> seen;
    for (int i = 0; i < 200; ++i) {
        const Uuid id = RandomUuid();
        EXPECT_EQ(id[6] >> 4, 4);
        EXPECT_EQ(id[8] & 0xc0, 0x80);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);

    // A camera keeps its UUID from one export (and run) to the next; another camera differs.
    const Uuid cam3 = NameUuid("recorder 12/camera 3");
    EXPECT_EQ(NameUuid("recorder 12/camera 3"), cam3);
    EXPECT_NE(NameUuid("recorder 12/camera 4"), cam3);
    EXPECT_EQ(cam3[6] >> 4, 8);
    EXPECT_EQ(cam3[8] & 0xc0, 0x80);

    EXPECT_EQ(UuidText(Filled(0xf0)), "f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff");
}

TEST(SegmentBox, FieldsAreLaidOutInOrderAndReadBack) {
    SegmentInfo info{.segment = Filled(0x10),
                     .predecessor = Filled(0x20),
                     .successor = Filled(0x30),
                     .startFileTime = 0x0102030405060708,
                     .duration = 1200000000};  // two minutes
    std::string box;
    ASSERT_EQ(WriteSumi(info, box), "");
    // size, type, three UUIDs, start, duration, two zero lengths.
    ASSERT_EQ(box.size(), 8u + 48 + 16 + 4);
    EXPECT_EQ(Hex(box.substr(0, 8)), "0000004c73756d69");
    EXPECT_EQ(box.substr(8, 16), Bytes(info.segment));
    EXPECT_EQ(box.substr(40, 16), Bytes(info.successor));
    EXPECT_EQ(Hex(box.substr(56, 20)), "01020304050607080000000047868c0000000000");

    // Read back, every field is as written: the box written again is the same.
    SegmentInfo back;
    std::string again;
    ASSERT_EQ(ReadSumi(box, back), "");
    ASSERT_EQ(WriteSumi(back, again), "");
    EXPECT_EQ(again, box);
    EXPECT_EQ(back.duration, info.duration);
    EXPECT_EQ(back.predecessorUri, "");

    // Linked segments name their neighbours' files.
    info.predecessorUri = "2026-01-06_1000-1012_cam03.mp4";
    info.successorUri = "2026-01-06_1000-1012_cam03-3.mp4";
    ASSERT_EQ(WriteSumi(info, box), "");
    EXPECT_EQ(Hex(box.substr(72, 4)), "001f0021");  // each length counts its NUL
    EXPECT_EQ(box.back(), '\0');
    ASSERT_EQ(ReadSumi(box, back), "");
    ASSERT_EQ(WriteSumi(back, again), "");
    EXPECT_EQ(again, box);
    EXPECT_EQ(back.successorUri, info.successorUri);

    // A cut box, a length running past its end and a NUL inside a URI are refused.
    EXPECT_NE(ReadSumi(box.substr(0, box.size() - 1), back), "");
    std::string shorter = box;
    shorter[3] = static_cast<char>(shorter[3] - 1);
    shorter.pop_back();
    EXPECT_NE(ReadSumi(shorter, back), "");
    info.successorUri = std::string("a\0b", 3);
    EXPECT_NE(WriteSumi(info, box), "");
}

TEST(UnitBox, EveryTextAndTrackReadsBackAndBadTextsAreRefused) {
    ExportUnitInfo info{.unitName = "Quillon Backup depot-2",
                        .url = "https://depot-2.example/",
                        .exportTime = 3850538401,
                        .operatorName = "Jo Ödegaard"};
    for (int i = 0; i < 3; ++i)
        info.video.push_back({Filled(static_cast<std::uint8_t>(0x40 + i)),
                              {"recorder 12", "camera " + std::to_string(i + 1),
                               "2026_01_06=10,00~10,12", i == 1 ? "" : "memo"}});
    info.audio.push_back({Filled(0x90), {"recorder 12", "microphone 1", "2026_01_06=10,00~10,12"}});
    std::string box;
    ASSERT_EQ(WriteSuep(info, box), "");
    EXPECT_EQ(box.substr(4, 8), std::string("suep\0\0\0\0", 8));  // version 0, no flags
    EXPECT_EQ(box.substr(12, info.unitName.size() + 1), info.unitName + '\0');

    ExportUnitInfo back;
    std::string again;
    ASSERT_EQ(ReadSuep(box, back), "");
    ASSERT_EQ(WriteSuep(back, again), "");
    EXPECT_EQ(again, box);  // every text and track as written
    ASSERT_EQ(back.video.size(), 3u);
    EXPECT_EQ(back.video[1].texts, info.video[1].texts);
    EXPECT_EQ(back.operatorName, info.operatorName);

    // Each cut of the box is refused, not read as fewer tracks.
    for (std::size_t cut = 8; cut < box.size(); ++cut) {
        std::string part = box.substr(0, cut);
        part[0] = part[1] = 0;
        part[2] = static_cast<char>(cut >> 8);
        part[3] = static_cast<char>(cut);
        EXPECT_NE(ReadSuep(part, back), "") << "cut at " << cut;
    }
    std::string version1 = box;
    version1[8] = 1;
    EXPECT_NE(ReadSuep(version1, back), "");

    ExportUnitInfo bad = info;
    bad.operatorName = std::string("Jo\0Eve", 6);
    EXPECT_NE(WriteSuep(bad, box), "");
    bad = info;
    bad.video.resize(256);
    EXPECT_NE(WriteSuep(bad, box), "");
}

TEST(CameraAndStartBoxes, ReadBackAndRefuseWhatIsCutOrCountedWrong) {
    std::string cami;
    ASSERT_EQ(WriteCami(Filled(0xa0), cami), "");
    EXPECT_EQ(Hex(cami.substr(0, 8)), "0000001863616d69");
    Uuid camera{};
    ASSERT_EQ(ReadCami(cami, camera), "");
    EXPECT_EQ(camera, Filled(0xa0));
    EXPECT_NE(ReadCami(cami.substr(0, 20), camera), "");
    EXPECT_NE(ReadCami(std::string("\0\0\0\x18sumi", 8) + cami.substr(8), camera), "");

    std::string cstb;
    ASSERT_EQ(WriteCstb({{1, 134121672012500000}, {3, 134121672000000000}}, cstb), "");
    ASSERT_EQ(cstb.size(), 8u + 4 + 2 * 12);
    EXPECT_EQ(Hex(cstb.substr(8, 16)), "000000020000000101dc7ef338fc8c20");
    std::vector<TrackStart> starts;
    ASSERT_EQ(ReadCstb(cstb, starts), "");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(std::tuple(starts[0].trackId, starts[0].startFileTime, starts[1].trackId,
                         starts[1].startFileTime),
              std::tuple(1u, 134121672012500000u, 3u, 134121672000000000u));

    // A count larger than the entries there, or entries left over, is refused.
    for (const int count : {3, 1}) {
        std::string wrong = cstb;
        wrong[11] = static_cast<char>(count);
        EXPECT_NE(ReadCstb(wrong, starts), "") << count;
    }
    EXPECT_NE(WriteCstb({{1, 0x8000000000000000}}, cstb), "");
}
