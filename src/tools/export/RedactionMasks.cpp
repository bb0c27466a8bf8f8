#include "export/RedactionMasks.h"

#include <cmath>
#include <initializer_list>
#include <set>

namespace {

using exhibit::JsonValue;

std::string OnlyMaskKeys(const JsonValue& v, const std::string& where,
                         std::initializer_list<const char*> keys) {
    const std::set<std::string> known(keys.begin(), keys.end());
    for (const auto& [name, value] : v.members) {
        if (!known.count(name))
            return where + ": unknown key \"" + name + "\"";
        if (value.kind == JsonValue::Kind::kNull)
            return where + "." + name + ": null (leave the key out instead)";
    }
    return std::string();
}

bool WholeNumber(const JsonValue& v) {
    return v.kind == JsonValue::Kind::kNumber && v.number == std::floor(v.number) &&
           std::fabs(v.number) < 1e9;
}

std::string MaskCamera(const JsonValue& v, const std::string& where, int& camera) {
    const JsonValue& c = v["camera"];
    if (c.kind == JsonValue::Kind::kNull)
        return where + ": no \"camera\"";
    if (!WholeNumber(c) || c.number < 1 || c.number > 64)
        return where + ".camera: a camera number 1-64";
    camera = static_cast<int>(c.number) - 1;
    return std::string();
}

// from and to as recorded readings; either may be left out.
std::string MaskRange(const JsonValue& v, const std::string& where, long long& from,
                      long long& to) {
    for (const char* name : {"from", "to"}) {
        const JsonValue& t = v[name];
        if (t.kind == JsonValue::Kind::kNull)
            continue;
        long long seconds = 0;
        if (t.kind != JsonValue::Kind::kString || !video::ParseRecordedReading(t.text, seconds))
            return where + "." + name +
                   ": a recorded time \"YYYY-MM-DD hh:mm:ss\" of the recorder's clock";
        (std::string(name) == "from" ? from : to) = seconds;
    }
    if (from > to)
        return where + ": \"from\" is after \"to\"";
    return std::string();
}

std::string MaskPointOf(const JsonValue& p, const std::string& where, video::MaskPoint& out) {
    if (p.kind != JsonValue::Kind::kArray || p.items.size() != 2 ||
        p.items[0].kind != JsonValue::Kind::kNumber || p.items[1].kind != JsonValue::Kind::kNumber)
        return where + ": a point [x, y]";
    out = {p.items[0].number, p.items[1].number};
    return std::string();
}

std::string MaskShape(const JsonValue& v, const std::string& where, video::RedactionMask& mask) {
    const JsonValue& rect = v["rect"];
    const JsonValue& polygon = v["polygon"];
    if ((rect.kind == JsonValue::Kind::kNull) == (polygon.kind == JsonValue::Kind::kNull))
        return where + ": one of \"rect\" and \"polygon\"";
    if (rect.kind != JsonValue::Kind::kNull) {
        if (rect.kind != JsonValue::Kind::kArray || rect.items.size() != 4)
            return where + ".rect: [x, y, width, height]";
        for (const JsonValue& n : rect.items)
            if (n.kind != JsonValue::Kind::kNumber)
                return where + ".rect: [x, y, width, height], numbers";
        const double x = rect.items[0].number, y = rect.items[1].number;
        const double w = rect.items[2].number, h = rect.items[3].number;
        if (w <= 0 || h <= 0)
            return where + ".rect: its width and height are more than 0";
        mask.polygon = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
        return std::string();
    }
    if (polygon.kind != JsonValue::Kind::kArray || polygon.items.size() < 3)
        return where + ".polygon: at least 3 points [x, y]";
    for (std::size_t i = 0; i < polygon.items.size(); ++i) {
        video::MaskPoint p;
        if (std::string why =
                MaskPointOf(polygon.items[i], where + ".polygon[" + std::to_string(i) + "]", p);
            !why.empty())
            return why;
        mask.polygon.push_back(p);
    }
    return std::string();
}

std::string ReadMask(const JsonValue& v, const std::string& where, video::RedactionMask& mask) {
    if (v.kind != JsonValue::Kind::kObject)
        return where + ": a mask is an object";
    if (std::string why =
            OnlyMaskKeys(v, where, {"camera", "rect", "polygon", "method", "from", "to", "size"});
        !why.empty())
        return why;
    std::string why = MaskCamera(v, where, mask.camera);
    if (why.empty())
        why = MaskShape(v, where, mask);
    if (!why.empty())
        return why;
    const JsonValue& method = v["method"];
    if (method.kind == JsonValue::Kind::kNull)
        return where + ": no \"method\" (" + video::MethodNamesText() + ")";
    if (!video::MethodNamed(method.String(), mask.method))
        return where + ".method: " + video::MethodNamesText();
    const JsonValue& size = v["size"];
    if (size.kind != JsonValue::Kind::kNull) {
        if (size.kind != JsonValue::Kind::kArray || size.items.size() != 2 ||
            !WholeNumber(size.items[0]) || !WholeNumber(size.items[1]) ||
            size.items[0].number < 1 || size.items[1].number < 1)
            return where + ".size: [width, height], whole numbers more than 0";
        mask.width = static_cast<int>(size.items[0].number);
        mask.height = static_cast<int>(size.items[1].number);
    }
    return MaskRange(v, where, mask.from, mask.to);
}

std::string ReadMute(const JsonValue& v, const std::string& where, video::AudioMute& mute) {
    if (v.kind != JsonValue::Kind::kObject)
        return where + ": a mute is an object";
    if (std::string why = OnlyMaskKeys(v, where, {"camera", "from", "to"}); !why.empty())
        return why;
    if (std::string why = MaskCamera(v, where, mute.camera); !why.empty())
        return why;
    return MaskRange(v, where, mute.from, mute.to);
}

}  // namespace

std::string ParseMaskFile(const std::string& text, MaskFile& out) {
    out = MaskFile{};
    if (std::string why = JsonValue::Parse(text, out.document); !why.empty())
        return "not JSON: " + why;
    const JsonValue& doc = out.document;
    if (doc.kind != JsonValue::Kind::kObject)
        return "the file is an object with \"masks\" and \"mute\"";
    if (std::string why = OnlyMaskKeys(doc, "the file", {"masks", "mute"}); !why.empty())
        return why;
    const JsonValue& masks = doc["masks"];
    const JsonValue& mutes = doc["mute"];
    if (masks.kind != JsonValue::Kind::kNull && masks.kind != JsonValue::Kind::kArray)
        return "masks: a list of masks";
    if (mutes.kind != JsonValue::Kind::kNull && mutes.kind != JsonValue::Kind::kArray)
        return "mute: a list of audio ranges";
    if (masks.items.empty() && mutes.items.empty())
        return "the file names no mask and no mute: nothing would be hidden";
    for (std::size_t i = 0; i < masks.items.size(); ++i) {
        video::RedactionMask mask;
        if (std::string why = ReadMask(masks.items[i], "masks[" + std::to_string(i) + "]", mask);
            !why.empty())
            return why;
        out.plan.masks.push_back(std::move(mask));
    }
    for (std::size_t i = 0; i < mutes.items.size(); ++i) {
        video::AudioMute mute;
        if (std::string why = ReadMute(mutes.items[i], "mute[" + std::to_string(i) + "]", mute);
            !why.empty())
            return why;
        out.plan.mutes.push_back(mute);
    }
    return std::string();
}
