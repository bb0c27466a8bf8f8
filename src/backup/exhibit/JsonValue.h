#pragma once
// A JSON text read back (report.json of an image made earlier): objects, arrays, strings,
// numbers, true, false and null. A text that is not JSON, or nests deeper than a report does,
// is refused with where it went wrong.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace exhibit {

class JsonValue {
  public:
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool truth = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // The member of an object, or a null value when there is none (or this is no object).
    const JsonValue& operator[](const std::string& name) const;
    // The string, or "" for any other kind.
    const std::string& String() const;

    // "" and out, or what is wrong with text and where.
    static std::string Parse(const std::string& text, JsonValue& out);
};

}  // namespace exhibit
