#include "share/HttpRange.h"

#include <charconv>

namespace share {
namespace {

bool Number(std::string_view text, unsigned long long& value) {
    if (text.empty() || text.size() > 19)
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

RangeAnswer AnswerRange(std::string_view header, unsigned long long size) {
    RangeAnswer whole;
    header = Trim(header);
    constexpr std::string_view kUnit = "bytes=";
    // Anything but one well-formed byte range is not ours to serve in parts: the whole file.
    if (header.substr(0, kUnit.size()) != kUnit)
        return whole;
    const std::string_view wanted = Trim(header.substr(kUnit.size()));
    const std::size_t dash = wanted.find('-');
    if (dash == std::string_view::npos || wanted.find(',') != std::string_view::npos)
        return whole;
    const std::string_view from = Trim(wanted.substr(0, dash)), to = Trim(wanted.substr(dash + 1));
    unsigned long long first = 0, last = 0;
    RangeAnswer answer;
    answer.kind = RangeAnswer::kPart;
    if (from.empty()) {  // the last `to` bytes
        if (!Number(to, last))
            return whole;
        if (last == 0 || size == 0)
            return RangeAnswer{RangeAnswer::kUnsatisfiable};
        answer.first = last >= size ? 0 : size - last;
        answer.last = size - 1;
        return answer;
    }
    if (!Number(from, first) || (!to.empty() && (!Number(to, last) || last < first)))
        return whole;
    if (first >= size)
        return RangeAnswer{RangeAnswer::kUnsatisfiable};
    answer.first = first;
    answer.last = to.empty() || last >= size ? size - 1 : last;
    return answer;
}

}  // namespace share
