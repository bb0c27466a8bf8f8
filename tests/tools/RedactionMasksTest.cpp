// The masks file of a redacted export as an operator writes it: what is taken, and each mistake
// refused with where it is.
#ifdef QUILLON_HAVE_VIDEO
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "export/RedactionMasks.h"

using testing::HasSubstr;

namespace {

std::string Refusal(const std::string& text) {
    MaskFile file;
    return ParseMaskFile(text, file);
}

}  // namespace

TEST(RedactionMasks, TakesRectanglesPolygonsTimesSizesAndMutes) {
    MaskFile file;
    ASSERT_EQ(ParseMaskFile(R"({"masks": [
        {"camera": 1, "rect": [10, 20, 30, 40], "method": "solid"},
        {"camera": 64, "polygon": [[0, 0], [5, 0], [5, 9]], "method": "blur",
         "from": "2010-05-23 10:00:30", "to": "2010-05-23 10:01:10", "size": [704, 576]},
        {"camera": 2, "rect": [0, 0, 1, 1], "method": "pixelate"}],
        "mute": [{"camera": 3, "from": "2024-02-29 23:59:59"}]})",
                            file),
              "");
    const video::RedactionPlan& plan = file.plan;
    ASSERT_EQ(plan.masks.size(), 3u);
    const video::RedactionMask& rect = plan.masks[0];
    EXPECT_EQ(rect.camera, 0);
    EXPECT_EQ(rect.method, video::MaskMethod::kSolid);
    ASSERT_EQ(rect.polygon.size(), 4u);
    EXPECT_EQ(rect.polygon[0].x, 10);
    EXPECT_EQ(rect.polygon[0].y, 20);
    EXPECT_EQ(rect.polygon[2].x, 40);
    EXPECT_EQ(rect.polygon[2].y, 60);
    EXPECT_EQ(rect.from, LLONG_MIN);
    EXPECT_EQ(rect.to, LLONG_MAX);
    EXPECT_EQ(rect.width, 0);
    const video::RedactionMask& polygon = plan.masks[1];
    EXPECT_EQ(polygon.camera, 63);
    EXPECT_EQ(polygon.method, video::MaskMethod::kBlur);
    EXPECT_EQ(polygon.polygon.size(), 3u);
    // Readings of the recorder's clock, counted as its pictures are stamped.
    EXPECT_EQ(polygon.from, 1274608830);
    EXPECT_EQ(polygon.to, 1274608870);
    EXPECT_EQ(polygon.width, 704);
    EXPECT_EQ(polygon.height, 576);
    EXPECT_EQ(plan.masks[2].method, video::MaskMethod::kPixelate);
    ASSERT_EQ(plan.mutes.size(), 1u);
    EXPECT_EQ(plan.mutes[0].camera, 2);
    EXPECT_EQ(plan.mutes[0].from, 1709251199);
    EXPECT_EQ(plan.mutes[0].to, LLONG_MAX);
    // Kept as read, for the copy's account of each mask as given.
    EXPECT_EQ(file.document["masks"].items[1]["size"].items[0].number, 704);
}

TEST(RedactionMasks, RefusesEachMistakeSayingWhere) {
    EXPECT_THAT(Refusal("{masks: []}"), HasSubstr("not JSON"));
    EXPECT_THAT(Refusal("[]"), HasSubstr("the file is an object"));
    EXPECT_THAT(Refusal(R"({"masks": []})"), HasSubstr("no mask and no mute"));
    EXPECT_THAT(Refusal(R"({"masks": [], "mutes": []})"), HasSubstr("unknown key \"mutes\""));
    const std::string good = R"("camera": 1, "rect": [0, 0, 8, 8], "method": "solid")";
    EXPECT_EQ(Refusal(R"({"masks": [{)" + good + "}]}"), "");
    const std::pair<std::string, std::string> wrong[] = {
        {R"("camera": 1, "rect": [0, 0, 8, 8], "method": "smudge")", "masks[1].method"},
        {R"("camera": 0, "rect": [0, 0, 8, 8], "method": "solid")", "masks[1].camera"},
        {R"("camera": 65, "rect": [0, 0, 8, 8], "method": "solid")", "masks[1].camera"},
        {R"("camera": 1.5, "rect": [0, 0, 8, 8], "method": "solid")", "masks[1].camera"},
        {R"("rect": [0, 0, 8, 8], "method": "solid")", "masks[1]: no \"camera\""},
        {R"("camera": 1, "rect": [0, 0, 8, 8])", "masks[1]: no \"method\""},
        {R"("camera": 1, "polygon": [[0, 0], [4, 4]], "method": "blur")", "masks[1].polygon"},
        {R"("camera": 1, "polygon": [[0, 0], [4, 4], [4]], "method": "blur")",
         "masks[1].polygon[2]"},
        {R"("camera": 1, "rect": [0, 0, -8, 8], "method": "solid")", "masks[1].rect"},
        {R"("camera": 1, "rect": [0, 0, 8], "method": "solid")", "masks[1].rect"},
        {R"("camera": 1, "method": "solid")", "masks[1]: one of \"rect\" and \"polygon\""},
        {good + R"(, "polygon": [[0, 0], [4, 0], [4, 4]])", "masks[1]: one of"},
        {good + R"(, "size": [-704, 576])", "masks[1].size"},
        {good + R"(, "size": [704])", "masks[1].size"},
        {good + R"(, "from": "2010-05-23 10:02:00", "to": "2010-05-23 10:01:00")",
         "masks[1]: \"from\" is after \"to\""},
        {good + R"(, "from": "2010-02-30 10:00:00")", "masks[1].from"},
        {good + R"(, "to": "2010-05-23T10:00:00")", "masks[1].to"},
        {good + R"(, "to": "2010-05-23 24:00:00")", "masks[1].to"},
        {good + R"(, "colour": "red")", "masks[1]: unknown key \"colour\""},
        {good + R"(, "from": null)", "masks[1].from: null"},
    };
    for (const auto& [mask, where] : wrong) {
        SCOPED_TRACE(mask);
        // The second mask is the wrong one: the first is taken, the file still refused.
        EXPECT_THAT(Refusal(R"({"masks": [{)" + good + "}, {" + mask + "}]}"), HasSubstr(where));
    }
    EXPECT_THAT(Refusal(R"({"mute": [{"camera": 1, "rect": [0, 0, 1, 1]}]})"),
                HasSubstr("mute[0]: unknown key \"rect\""));
    EXPECT_THAT(Refusal(R"({"mute": [{"camera": 1, "from": "2010-05-23 10:00:01",
                                      "to": "2010-05-23 10:00:00"}]})"),
                HasSubstr("mute[0]: \"from\" is after"));
    EXPECT_THAT(Refusal(R"({"mute": [{"from": "2010-05-23 10:00:01"}]})"),
                HasSubstr("mute[0]: no \"camera\""));
}

TEST(RedactionMasks, EachMethodIsReadByTheNameItsAccountGives) {
    std::set<std::string> names;
    for (const video::MaskMethodName& m : video::kMaskMethodNames) {
        SCOPED_TRACE(m.name);
        EXPECT_TRUE(names.insert(m.name).second);
        MaskFile file;
        ASSERT_EQ(ParseMaskFile(R"({"masks": [{"camera": 1, "rect": [0, 0, 8, 8], "method": ")" +
                                    std::string(m.name) + "\"}]}",
                                file),
                  "");
        EXPECT_EQ(file.plan.masks[0].method, m.method);
        EXPECT_STREQ(video::NameOf(m.method), m.name);
        // Names are exact, as the account writes them.
        std::string shouted = m.name;
        for (char& c : shouted)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(Refusal(R"({"masks": [{"camera": 1, "rect": [0, 0, 8, 8], "method": ")" +
                          shouted + "\"}]}"),
                  "");
    }
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(Refusal(R"({"masks": [{"camera": 1, "rect": [0, 0, 8, 8], "method": "smudge"}]})"),
              "masks[0].method: solid, blur or pixelate");
    EXPECT_EQ(Refusal(R"({"masks": [{"camera": 1, "rect": [0, 0, 8, 8]}]})"),
              "masks[0]: no \"method\" (solid, blur or pixelate)");
}

#endif
