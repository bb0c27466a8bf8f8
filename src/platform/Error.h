#pragma once
// What went wrong, as it travels back to whoever asked: the kind of failure (what a caller
// decides on), the words for the operator, and the path they are about when there is one. A
// caller reads the fields; nobody parses a text back apart.
#include <string>
#include <utility>
#include <variant>

namespace platform {

struct Error {
    enum class Kind {
        kFailed,    // anything not below
        kNotFound,  // what was named is not there
        kDamaged,   // it is there but is not what it should be (short, too large, unreadable)
        kRefused,   // it may not be used (a path out of its root, a file others may change)
    };
    Kind kind = Kind::kFailed;
    std::string text;  // about path when there is one ("cannot be opened"), else whole
    std::string path;

    // As the operator reads it: "path text", or the text alone.
    std::string Said() const { return path.empty() ? text : path + " " + text; }
};

// A value, or the error that kept it from being made.
template <class T>
class Expected {
  public:
    Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Expected(Error error) : v_(std::in_place_index<1>, std::move(error)) {}
    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& operator*() { return std::get<0>(v_); }
    const T& operator*() const { return std::get<0>(v_); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    // When not ok().
    const Error& error() const { return std::get<1>(v_); }

  private:
    std::variant<T, Error> v_;
};

// The answer of an operation that makes no value: done, or its error.
struct Done {};
using Outcome = Expected<Done>;
inline Outcome Succeeded() {
    return Done{};
}

}  // namespace platform
