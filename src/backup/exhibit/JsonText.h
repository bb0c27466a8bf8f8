#pragma once
// JSON text written as it goes: objects and arrays opened and closed in order, strings escaped
// so that any byte of a memo or a camera name stays inside its string (invalid UTF-8 becomes
// U+FFFD), indented for people who open the file.
#include <string>

namespace exhibit {

class JsonText {
  public:
    // A member's name inside an object; the value follows.
    JsonText& Key(const std::string& name);
    JsonText& Open();   // {
    JsonText& Close();  // }
    JsonText& OpenList();
    JsonText& CloseList();
    JsonText& Value(const std::string& text);
    JsonText& Value(const char* text) { return Value(std::string(text)); }
    JsonText& Value(long long number);
    JsonText& Value(int number) { return Value(static_cast<long long>(number)); }
    JsonText& Value(double number);
    JsonText& Value(bool truth);
    const std::string& text() const { return text_; }

    // text as a JSON string, quotes included.
    static std::string Quoted(const std::string& text);

  private:
    void Before();  // the separator and indentation a new value needs
    std::string text_;
    int depth_ = 0;
    bool first_ = true;  // nothing written yet at this depth
    bool afterKey_ = false;
};

}  // namespace exhibit
